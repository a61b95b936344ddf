// The serial ports of the operating system the program runs on. Each system has its backend in
// platform/<system>/ (platform/linux: terminals through termios2, with UUCP lock files); the
// build links the one of its system into the programs, and each defines these functions.
#pragma once

// Installs the real-port opener (rs232_SetOpener): COM port n opens the device that
// dwl_ComDevicePath(n) names (a USB-serial adapter, a built-in UART or a pseudo-terminal). Ports
// already open are closed. A device that does not open gets a log line saying why.
void dwl_InstallSerialBackend();
