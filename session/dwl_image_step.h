// The image step in progress: which image a run is writing and how many of its bytes have gone
// onto the line. The image steps announce each image and its end, the transfers report the bytes
// as the line takes them, and the front ends' progress meters listen: they learn the state of
// the run from here, never from the wording of the operator log.
#pragma once

#include <cstdint>

// The images a run can write, in the order a run writes them.
enum DwlImage : uint8_t { DWL_IMAGE_BINARY, DWL_IMAGE_OGM, DWL_IMAGE_TFS_OGM };
constexpr int DWL_NB_IMAGES = 3;

enum ImageStepPhase : uint8_t {
    IMAGE_STEP_CLEARED, // a command begins: the progress of the last run is over
    IMAGE_STEP_BEGIN,   // the transfer of the image starts (Done 0)
    IMAGE_STEP_BYTES,   // Done bytes of the image have gone onto the line
    IMAGE_STEP_END,     // the transfer ended; Written tells whether the whole image is in
    IMAGE_STEP_AWAKE,   // the boot loader answered: a handset is on the line, the run is on
};

struct ImageStepEvent {
    uint8_t Phase;   // ImageStepPhase
    uint8_t Image;   // DwlImage
    uint8_t Written; // at the end: 1 when the handset took the whole image
    uint32_t Done;   // bytes of the image on the line so far (a sector sent again counts anew)
    uint32_t Total;  // bytes of the image that its transfer sends
};

// The latest event raised.
extern ImageStepEvent sg_ImageStep;

// Who hears every event: the front end that shows the progress sets it (Call nullptr: nobody).
struct ImageStepListener {
    void (*Call)(const ImageStepEvent& event, void* user);
    void* User;
};
extern ImageStepListener v_ImageStepListener;

void dwl_ImageStepBegin(uint8_t image, uint32_t total);
// Raised only when the count moved; a count beyond the total is taken as the total.
void dwl_ImageStepBytes(uint32_t done);
// For the waits on the output queue: *handed (a uint32_t) bytes of the image were given to the
// port, which still holds queued of them.
void dwl_ImageStepQueued(int queued, void* handed);
void dwl_ImageStepEnd(bool written);
void dwl_ImageStepClear();
// Raised by the boot once the handset's boot loader has announced itself; before it a run only
// waits for a handset to be switched on.
void dwl_ImageStepAwake();
