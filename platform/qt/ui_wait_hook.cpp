#include "platform/qt/ui_wait_hook.h"

#include "link/serial_device.h"
#include "platform/qt/ui_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace {
// Often enough for a window that does not look frozen, seldom enough to cost nothing.
constexpr int kRepaintIntervalMsecs = 30;
int repaintInterval = kRepaintIntervalMsecs;

QElapsedTimer& lastRun() {
    static QElapsedTimer timer;
    return timer;
}
bool running = false;
} // namespace

void dwl_qt_RepaintWhileWaiting() {
    if (running || QCoreApplication::instance() == nullptr) return;
    QElapsedTimer& last = lastRun();
    if (last.isValid() && last.elapsed() < repaintInterval) return;
    running = true;
    QtUiView* view = QtUiView::active();
    if (view != nullptr) view->suspendDispatch();
    // Input too: a click on a dimmed control must meet it dimmed and be dropped now, not be held
    // back and delivered once the run has released the panel. Actions on controls that are
    // enabled (Stop, the windows' buttons) are posted and run at the next event-pump point.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (view != nullptr) view->resumeDispatch();
    last.start();
    running = false;
}

void dwl_qt_SetRepaintInterval(int msecs) {
    repaintInterval = msecs < 0 ? kRepaintIntervalMsecs : msecs;
}

void dwl_qt_InstallWaitHook() {
    rs232_SetWaitHook(&dwl_qt_RepaintWhileWaiting);
}

void dwl_qt_RemoveWaitHook() {
    rs232_SetWaitHook(nullptr);
}
