// Indicator lights, the panel lock, and the result and description-file error windows.
#pragma once

#include <cstdint>

// Handles of the newest window of each kind (0 before the first one is shown).
extern int v_PanelSuccessful;
extern int v_PanelTimeout;
extern int v_PanelGenericErr;
extern int v_PanelLibPCErr;
extern int v_PanelBootErr;
extern int v_PanelCommandErr;
extern int v_PanelFlashFileErr;
extern int v_PanelConfFileErr;
extern int v_PanelTFSFileErr;

// The newest result or error window shown, as a record, for front ends that report a run as
// text (the command line). family -1 stands for the TFS description window; panel 0: none yet.
struct ShownResult {
    int panel;
    int32_t family;
    int32_t code;
};
extern ShownResult mv_LastShownResult;
// The family mv_LastShownResult holds for a run the operator stopped.
constexpr int32_t kFamilyCancelled = -2;
// Text of the window after a stopped run.
extern const char a_CancelledMessage[];

// Lights " Flash <device name>" on the first indicator light.
void dwl52_1DisplayTypeFlash(uint8_t manufacturerId, uint8_t deviceId);
// Turns the three indicator lights off.
void dwl52_4InitControls();
// Dims the selectors, the command controls and the image groups, removes the menu bar, enables
// Stop and lets pending events run once.
void dwl52_5LockDuringDownload();
// Puts the menu bar back, dims Stop, releases the selectors and command controls and the image
// groups the download mode uses, and lets pending events run once.
void dwl52_6UnlockAfterDownload();

// Shows the window of a result record. Returns the window's handle, or 0 when the family has
// no window.
int dwl52_10DisplayResult(int32_t family, int32_t code);
// The description-file and configuration error windows for a step code; return the handle.
int dwl52_11DisplayFlashFileErr(int32_t code);
int dwl52_12DisplayConfigFileErr(int32_t code);
int dwl52_13DisplayTFSFileErr(int32_t code);

// The window after a run the operator stopped (the generic error window): the flash may be
// partly written. Returns its handle.
int dwl52_14DisplayCancelled();
// Empties the progress bar, its percent and the line that names the image being written, and
// tells the progress meters that the progress of the last run is over.
void dwl52_15ResetProgress();

// Whether an image group is used by a download mode (group 0 binary, 1 ogm, 2 TFS ogm).
bool dwl52_20ModeUsesGroup(int32_t mode, int group);
// Dims or releases the four controls of each image group as the mode asks (groups the mode
// does not use are dimmed only when dimUnused is set).
void dwl52_21ApplyModeGroups(int32_t mode, bool dimUnused);
// Whether the TFS ogm start button is dimmed in a download mode.
bool dwl52_22ModeDimsTfsStart(int32_t mode);

// Forgets the result windows shown: every handle and the last result back to none.
void dwl52_ForgetWindows();
