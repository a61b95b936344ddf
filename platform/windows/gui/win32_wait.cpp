#include "platform/windows/gui/win32_wait.h"

#include "link/serial_device.h"
#include "platform/windows/gui/win32_view.h"
#include "platform/windows/serial_com_device.h"

void win32_DeliverWhileWaiting() {
    if (Win32UiView* view = Win32UiView::active()) view->deliverWhileWaiting();
}

void win32_InstallWaitHook() {
    rs232_SetWaitHook(&win32_DeliverWhileWaiting);
    dwlwin::SetWakeOnWindowMessages(true);
}

void win32_RemoveWaitHook() {
    dwlwin::SetWakeOnWindowMessages(false);
    rs232_SetWaitHook(nullptr);
}
