// Serial link set-up and file helpers of the PC link library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// PC-side baud rates by speed index (the handset's divider for the same index is
// a_SpeedParameters of the command layer).
extern const long a_PCSpeedValue[9];

// Opens (or reopens with new settings) COM port `port`: 8 data bits, 1 stop bit, queues of
// 65536 bytes, no handshake, queues emptied, DTR dropped, read/write time-out in seconds.
// 1, or the negative error of OpenComConfig.
int dwl12_0UartInit(int port, long baud, int parity, unsigned int timeoutSeconds);
// Drops DTR and closes the port; results ignored.
void dwl12_1UartStop(uint8_t port);
// Builds the name of COM port `port` into name, cut to nameSize: "COM" + port, or the name of
// the device given for it (link/com_map.h: dwl_ComPortName).
void dwl12_3ComName(int port, char* name, unsigned nameSize);

// 1 and the file's size in bytes, or 2 when the file's information is not available.
int dwl12_2CalculateLengthOfFile(const char* path, long* size);
// Opens a file that is read whole ("rb"): nullptr with errno set when it cannot be, and for
// what is not a regular file (a folder: EISDIR; a pipe or a device: EINVAL), which is refused
// before it is opened: opening a pipe waits for a writer, reading a device never ends.
FILE* dwl12_10OpenWholeFile(const char* path);
// "not a regular file" for EINVAL, else the system's text of the error.
const char* dwl12_11OpenErrorText(int error);

// Size of the buffer that holds a bootstrap image.
constexpr uint32_t DWL_SPM_BUFFER_SIZE = 65536;
// Loads dwl87.spm (product type 1 or 2) or dwl88.spm (255) from the working directory (or the
// data folder, see link/dwl12datafiles.h) into
// buffer (DWL_SPM_BUFFER_SIZE bytes). *count must be 0 on entry; on success it is the file size
// plus one, the last byte being 0xFF. 1, 3 (no file) or 4 (65535 bytes or more).
int dwl12_4LoadSpmFile(uint32_t* count, uint8_t* buffer, int productType);
// Why dwl12_4LoadSpmFile found no file, for the operator log: the file, the system's reason and
// the folders looked in ("dwl87.spm: No such file or directory, looked for in /home/bench").
std::string dwl12_9SpmProblem(int productType);
