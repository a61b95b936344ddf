// Exit statuses of the dwl program. A run that reaches the handset ends with the family of its
// result record (0 success, 1 to 33 the failure families); the statuses above 33 say why a
// command never got that far, or what became of a run that was stopped.
#pragma once

namespace dwlcli {

constexpr int kExitSuccess = 0;
// 1 to 33: the result family of the run (2 flash description, 3 configuration file, 5 PC
// library, 6 boot, 8 command, 10 to 13 sector transfer, 18 TFS image size, 19 to 33 TFS).
constexpr int kExitFlashDescription = 2; // flash.txt missing or malformed
constexpr int kExitPcSide = 5;           // port, bootstrap file
constexpr int kExitTfsDescription = 40;  // the TFS description of the TFS image is missing or bad
constexpr int kExitImageMissing = 41;    // the mode needs an image that was not given
constexpr int kExitNoFlash = 42;         // boot only: the flash was not identified
constexpr int kExitUnknownResult = 50;   // the run ended without a result window
constexpr int kExitUsage = 64;           // unknown option, bad value, unknown port
constexpr int kExitNoInput = 66;         // a file, folder or serial device cannot be read
constexpr int kExitInternal = 70;        // layout files, emulated handset program, child process
// The run succeeded, but its record (--log, --trace, the --json summary) could not be written
// whole.
constexpr int kExitRecordLost = 74;
// A signal stopped the run at its next wait: 128 + the signal's number.
constexpr int kExitHangUp = 129;     // SIGHUP: the terminal went away
constexpr int kExitCancelled = 130;  // SIGINT: Ctrl-C
constexpr int kExitTerminated = 143; // SIGTERM

} // namespace dwlcli
