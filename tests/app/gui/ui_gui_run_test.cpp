// Whole runs through the Qt window against the emulated handset: the operator loads an image
// through the file dialog, picks the mode on the ring, presses Start, reads the result window
// and presses its button. Also saves a picture of the main panel after a run for review.
#include "app/gui/gui_line.h"
#include "link/com_map.h"
#include "link/serial_device.h"
#include "platform/qt/ui_led.h"
#include "platform/qt/ui_wait_hook.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "tests/app/gui/ui_gui_bench.h"
#include "tests/platform/qt/ui_test_helpers.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

using guitest::GuiBench;

constexpr uint32_t kFlashBase = 0x02000000;

TEST(GuiRun, ModeOneDownloadsTheBinaryImageThroughTheWindow) {
    GuiBench bench;
    ASSERT_GT(v_Panel, 0);
    ASSERT_NE(bench.view().window(v_Panel), nullptr);
    EXPECT_TRUE(bench.view().window(v_Panel)->isVisible());
    ASSERT_NE(bench.view().menuBar(v_Panel), nullptr) << "main panel without its menu bar";

    const std::string image = bench.copyExample("sample.bin", bench.imageFile("sample.bin"));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    EXPECT_EQ(bench.widget<QPlainTextEdit>(MAIN_BIN_PATH)->toPlainText().toStdString(), image);
    EXPECT_EQ(bench.widget<QLabel>(MAIN_BIN_SIZE)->text(), "300000");
    EXPECT_TRUE(bench.logged("Software binary file loading, please wait... "));

    bench.chooseRingIndex(MAIN_MODE, 1);
    EXPECT_EQ(sg_DownloadContext.Mode, 1);
    EXPECT_FALSE(bench.control(MAIN_OGM_LOAD)->isEnabled()) << "mode 1 leaves the ogm group dimmed";
    EXPECT_FALSE(bench.control(MAIN_TFS_LOAD)->isEnabled());
    EXPECT_FALSE(bench.control(MAIN_MODEL)->isEnabled());

    bench.seen.clear();
    bench.click(MAIN_START);

    // The run: the window was locked while it went on.
    ASSERT_FALSE(bench.seen.empty());
    for (const GuiBench::Seen& s : bench.seen) {
        EXPECT_FALSE(s.menuBarShown) << "menu bar present while locked, at" << s.line;
        EXPECT_FALSE(s.startEnabled) << "Start enabled while locked, at" << s.line;
    }
    const std::vector<uint8_t> bytes = testsupport::readBytes(image);
    EXPECT_TRUE(
        bench.handset().flashEquals(kFlashBase, bytes.data(), static_cast<uint32_t>(bytes.size())));

    // Result: the success window, not modal; the flash light on; still locked until its button.
    const int success = uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(success, 0) << "no success window; log ends with "
                          << (bench.logLines().empty() ? "" : bench.logLines().back());
    ASSERT_NE(bench.view().window(success), nullptr);
    EXPECT_TRUE(bench.view().window(success)->isVisible());
    auto* flash = bench.widget<LedWidget>(MAIN_LED_FLASH);
    EXPECT_TRUE(flash->isOn());
    EXPECT_EQ(flash->text().left(7), " Flash ");
    EXPECT_EQ(bench.view().menuBar(v_Panel), nullptr);
    EXPECT_FALSE(bench.control(MAIN_START)->isEnabled());
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_TURN_ON), 0) << "turn-on window left over";

    // The picture for review.
    if (!testsupport::binaryDir().empty()) {
        const std::string png = testsupport::binaryDir() + "/main-panel.png";
        EXPECT_TRUE(bench.view().window(v_Panel)->grab().save(QString::fromStdString(png)));
        bench.view().window(success)->grab().save(
            QString::fromStdString(testsupport::binaryDir() + "/success-window.png"));
    }

    bench.click(MMI_WINDOW_OK, success);
    EXPECT_EQ(bench.view().window(success), nullptr);
    EXPECT_NE(bench.view().menuBar(v_Panel), nullptr) << "menu bar not back after the unlock";
    EXPECT_TRUE(bench.control(MAIN_START)->isEnabled());
    EXPECT_TRUE(bench.control(MAIN_MODEL)->isEnabled());
    EXPECT_FALSE(bench.control(MAIN_OGM_LOAD)->isEnabled());
    EXPECT_FALSE(flash->isOn());
    EXPECT_EQ(bench.widget<QLabel>(MAIN_ELAPSED_TIME)->text(), " ");
}

// Counts the wait hook's calls and the paints of one window done inside them.
struct WaitWatch : QObject {
    static WaitWatch* current;
    int hookCalls = 0;
    int paintsInHook = 0;
    int paints = 0;
    bool inHook = false;
    static void hook() {
        current->hookCalls++;
        current->inHook = true;
        dwl_qt_RepaintWhileWaiting();
        current->inHook = false;
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) paints++;
        if (inHook && event->type() == QEvent::Paint) paintsInHook++;
        return false;
    }
};
WaitWatch* WaitWatch::current = nullptr;

TEST(GuiRun, TheWindowRepaintsWhileTheRunWaitsOnTheHandset) {
    GuiBench bench(true);
    const std::string image = bench.copyExample("sample.bin", bench.imageFile("sample.bin"));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    bench.chooseRingIndex(MAIN_MODE, 1);

    WaitWatch watch;
    WaitWatch::current = &watch;
    for (QWidget* w : bench.view().window(v_Panel)->findChildren<QWidget*>())
        w->installEventFilter(&watch);
    // The emulated handset answers in virtual time, so the whole run is over within one of
    // the hook's usual intervals: let every wait repaint.
    dwl_qt_SetRepaintInterval(0);
    rs232_SetWaitHook(&WaitWatch::hook);
    bench.click(MAIN_START);
    rs232_SetWaitHook(nullptr);
    dwl_qt_SetRepaintInterval(-1);
    WaitWatch::current = nullptr;

    EXPECT_GT(uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS), 0);
    EXPECT_GT(watch.hookCalls, 0) << "the run never waited through the hook";
    EXPECT_GT(watch.paintsInHook, 0)
        << "nothing was repainted while the run waited " << watch.paints << " " << watch.hookCalls;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Over the cable, against dwl-handset-sim on a pseudo-terminal keeping the wire's pace: the run
// sleeps while it waits on the line, and the window is repainted all along.
TEST(GuiRun, OverTheCableTheWindowStaysLiveAndTheWaitsSleep) {
    const std::string program = testsupport::binaryDir() + "/app/dwl-handset-sim";
    if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "dwl-handset-sim not built";
    GuiBench bench;
    testsupport::ChildProcess sim(program,
                                  {"--flash", testsupport::sourceDir() + "/examples/flash.txt"});
    const std::string first = sim.readLine(5000);
    const std::string prefix = "dwl-handset-sim: ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    dwl_SetComDevice(4, first.substr(prefix.size()));
    v_SelectLineHook = &dwlgui_SelectLine;
    for (int line : {0, 1, 0}) // from the bench's emulated handset to the cable
        bench.chooseRingIndex(MAIN_LINE, line);
    ASSERT_FALSE(dwlgui_LineEmulated());
    // The bench's emulated handset keeps its virtual clock installed; a run over the cable
    // waits on the real one, as the program's does.
    ClockSource* benchClock = dwl_GetClock();
    dwl_SetClock(nullptr);
    const std::string image = bench.imageFile("one-sector.bin");
    testsupport::writeBytes(image, testsupport::sampleBytes(7, 65536));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    bench.chooseRingIndex(MAIN_MODE, 1);

    WaitWatch watch;
    WaitWatch::current = &watch;
    for (QWidget* w : bench.view().window(v_Panel)->findChildren<QWidget*>())
        w->installEventFilter(&watch);
    rs232_SetWaitHook(&WaitWatch::hook);
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    bench.click(MAIN_START);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuBefore;
    rs232_SetWaitHook(nullptr);
    WaitWatch::current = nullptr;
    v_SelectLineHook = nullptr;
    dwl_ClearComDevices();
    dwl_SetClock(benchClock);

    EXPECT_GT(uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS), 0)
        << (bench.logLines().empty() ? "" : bench.logLines().back());
    // Boot at 38400 baud, the extension module and 64 KB at 460800 baud: some 3 s.
    EXPECT_GT(wall, 2.0);
    EXPECT_LT(cpu / wall, 0.1) << cpu << " s of processor time in " << wall << " s";
    EXPECT_GT(watch.paintsInHook, 0) << "nothing was repainted while the run waited";
    // A read that waits calls the hook after every 50 ms it waited in vain.
    EXPECT_GT(watch.hookCalls, 10);
}

TEST(GuiRun, TheHandsetRingSwitchesBetweenCableAndEmulatedHandset) {
    GuiBench bench;
    dwl_SetComDevice(4, bench.imageFile("no-such-port"));
    v_SelectLineHook = &dwlgui_SelectLine;
    const std::string image = bench.copyExample("sample.bin", bench.imageFile("sample.bin"));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    bench.chooseRingIndex(MAIN_MODE, 1);

    bench.chooseRingIndex(MAIN_LINE, 0);
    bench.chooseRingIndex(MAIN_LINE, 1);
    EXPECT_TRUE(dwlgui_LineEmulated());
    EXPECT_EQ(v_LineEmulated, 1);
    bench.click(MAIN_START);
    const int success = uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(success, 0) << "no run on the emulated handset";
    bench.click(MMI_WINDOW_OK, success);

    // Back on the cable: COM4 is a device that does not exist, so the boot fails.
    bench.chooseRingIndex(MAIN_LINE, 0);
    EXPECT_FALSE(dwlgui_LineEmulated());
    EXPECT_EQ(v_LineEmulated, 0);
    bench.click(MAIN_START);
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS), 0);
    // An error window of the result display, shown on the screen.
    int errorWindow = 0;
    for (int panel : uis_LivePanels()) {
        const UiPanel* p = uis_Panel(panel);
        if (p->layoutFile.find("Utility.uir") != std::string::npos && p->visible)
            errorWindow = panel;
    }
    ASSERT_GT(errorWindow, 0) << "no error window for a port that cannot open";
    EXPECT_TRUE(bench.view().window(errorWindow)->isVisible());
    EXPECT_FALSE(uis_ControlText(errorWindow, 3).empty());
    v_SelectLineHook = nullptr;
    dwl_ClearComDevices();
}

TEST(GuiRun, StartWithoutAnImageShowsTheDownloadNotice) {
    GuiBench bench;
    guitest::ModalAnswer answer(guitest::acceptMessage);
    bench.click(MAIN_START);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.className(), "QMessageBox");
    EXPECT_EQ(answer.title(), "DOWNLOAD");
    EXPECT_EQ(answer.text(), "Please load a cla file before start");
    EXPECT_NE(bench.view().menuBar(v_Panel), nullptr);
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_TURN_ON), 0);
}

TEST(GuiRun, MenuItemsOfTheWindowReachTheirCommands) {
    GuiBench bench;
    QMenuBar* bar = bench.view().menuBar(v_Panel);
    ASSERT_NE(bar, nullptr);
    QAction* cs1 = nullptr;
    for (QAction* menu : bar->actions()) {
        if (menu->text() != "Chip select 1" || menu->menu() == nullptr) continue;
        for (QAction* item : menu->menu()->actions())
            if (item->text() == "3 wait state") cs1 = item;
    }
    ASSERT_NE(cs1, nullptr);
    cs1->trigger();
    guitest::pump();
    EXPECT_EQ(sg_DownloadContext.WaitState[1], 3);

    // The chip-select menus tick each chip select's setting as the menu opens; other menus
    // have no ticks.
    for (QAction* menu : bench.view().menuBar(v_Panel)->actions()) {
        emit menu->menu()->aboutToShow();
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator()) continue;
            const std::string what = (menu->text() + " " + item->text()).toStdString();
            const bool chip = menu->text().startsWith("Chip select ");
            EXPECT_EQ(item->isCheckable(), chip) << what;
            if (!chip) continue;
            const int cs = menu->text().back().digitValue();
            const int count = item->text().front().digitValue();
            EXPECT_EQ(item->isChecked(), sg_DownloadContext.WaitState[cs] == count) << what;
            if (cs == 1) {
                EXPECT_EQ(item->isChecked(), count == 3) << what;
            }
        }
    }
}

} // namespace
