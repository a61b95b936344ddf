#include "session/dwl_image_step.h"

ImageStepEvent sg_ImageStep = {IMAGE_STEP_CLEARED, DWL_IMAGE_BINARY, 0, 0, 0};
ImageStepListener v_ImageStepListener = {nullptr, nullptr};

namespace {

void raise(uint8_t phase) {
    sg_ImageStep.Phase = phase;
    if (v_ImageStepListener.Call != nullptr)
        v_ImageStepListener.Call(sg_ImageStep, v_ImageStepListener.User);
}

} // namespace

void dwl_ImageStepBegin(uint8_t image, uint32_t total) {
    sg_ImageStep.Image = image;
    sg_ImageStep.Written = 0;
    sg_ImageStep.Done = 0;
    sg_ImageStep.Total = total;
    raise(IMAGE_STEP_BEGIN);
}

void dwl_ImageStepBytes(uint32_t done) {
    if (done > sg_ImageStep.Total) done = sg_ImageStep.Total;
    if (done == sg_ImageStep.Done) return;
    sg_ImageStep.Done = done;
    raise(IMAGE_STEP_BYTES);
}

void dwl_ImageStepQueued(int queued, void* handed) {
    const uint32_t given = *static_cast<const uint32_t*>(handed);
    const uint32_t held = queued > 0 ? static_cast<uint32_t>(queued) : 0u;
    dwl_ImageStepBytes(given > held ? given - held : 0u);
}

void dwl_ImageStepEnd(bool written) {
    sg_ImageStep.Written = written ? 1 : 0;
    if (written) sg_ImageStep.Done = sg_ImageStep.Total;
    raise(IMAGE_STEP_END);
}

void dwl_ImageStepClear() {
    sg_ImageStep = {IMAGE_STEP_CLEARED, DWL_IMAGE_BINARY, 0, 0, 0};
    raise(IMAGE_STEP_CLEARED);
}

void dwl_ImageStepAwake() {
    sg_ImageStep = {IMAGE_STEP_AWAKE, DWL_IMAGE_BINARY, 0, 0, 0};
    raise(IMAGE_STEP_AWAKE);
}
