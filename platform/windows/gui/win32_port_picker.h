// The port picker of dwl-gui.exe: the machine's COM ports with their friendly names ("COM5
// (USB Serial Port)"; a USB adapter is usually COM5 or above), and a field to type any other.
#pragma once

#include <functional>
#include <string>
#include <vector>

class Win32UiView;

struct Win32ComPort {
    std::string name;     // "COM5"
    std::string friendly; // "USB Serial Port (COM5)", empty when the system names none
};

// The COM ports present, by number: the ports class of the device manager (SetupAPI), the
// serial ports the system lists in the registry (HARDWARE\DEVICEMAP\SERIALCOMM; under wine the
// mapped ones), and any other COM1 to COM32 that opens.
std::vector<Win32ComPort> win32_ListComPorts();
// One line of the picker's list: "COM5  (USB Serial Port)".
std::string win32_PortLabel(const Win32ComPort& port);
// The device a line of the list or a typed text stands for (\\.\COM5, or the text as typed).
std::string win32_PortDevice(const std::string& chosen, const std::vector<Win32ComPort>& ports);

// Modal dialog, centred on the main window, for the device behind COM number comPort, starting
// on current. Returns the chosen device, or an empty text when the operator cancels.
std::string win32_PickPort(Win32UiView& view, int comPort, const std::string& current);
// The tests answer the picker: given the lines it would list, the text chosen ("" cancels).
using Win32PortAnswer = std::function<std::string(int comPort, const std::vector<std::string>&)>;
void win32_SetPortPickerAnswer(Win32PortAnswer answer);
