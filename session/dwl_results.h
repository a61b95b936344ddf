// The result vocabulary: which window shows a result record and with which message.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t DWL_MESSAGE_SIZE = 100;

// Family 8: a flash format whose replies were not all right. Above every byte the handset can
// send (0 to 255), so that no received byte reads as this failure.
constexpr int32_t DWL_CODE_FORMAT_FAILED = 0x116;
// Family 5: an image file that holds no byte; it is refused where it is loaded.
constexpr int32_t DWL_CODE_EMPTY_FILE = 6;

struct ResultWindow {
    const char* layoutFile; // "mmi.uir" or "Utility.uir"; nullptr: no window
    int panel;              // panel resource number in that file
    bool hasMessage;        // the message goes into control 3 of the window
    char message[DWL_MESSAGE_SIZE];
};

// Window and message for a result record. tfsTotalSize fills the family-18 message.
ResultWindow dwl_ResultWindow(int32_t family, int32_t code, uint32_t tfsTotalSize);

// Messages of the description-file windows by step code (default message for other codes).
const char* dwl_FlashFileMessage(int32_t code);  // family 2, table A
const char* dwl_ConfigFileMessage(int32_t code); // family 3
const char* dwl_TfsFileMessage(int32_t code);    // the TFS description window
