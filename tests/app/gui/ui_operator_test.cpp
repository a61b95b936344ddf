// The operator's window driven with real mouse and key events while a run waits on the handset:
// clicks on dimmed controls, About, Stop, files dropped on the window, and the windows that stay
// in front of the main one.
#include "app/gui/gui_aids.h"
#include "app/gui/gui_line.h"
#include "app/gui/gui_options.h"
#include "app/gui/qt/gui_operator.h"
#include "app/gui/qt/report_opener.h"
#include "app/gui/qt/station_control.h"
#include "app/gui/qt/station_window.h"
#include "flash/dwl10sectormap.h"
#include "link/com_map.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/qt/ui_led.h"
#include "platform/qt/ui_sector_map.h"
#include "platform/qt/ui_wait_hook.h"
#include "session/dwl_context.h"
#include "tests/app/gui/ui_gui_bench.h"
#include "tests/platform/qt/ui_test_helpers.h"
#include "tests/support/temp_files.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using guitest::GuiBench;

// Runs `action` inside the run's waits on the serial line (every call, with the call's number),
// then repaints as the program's own hook does.
class InsideTheWaits {
  public:
    explicit InsideTheWaits(std::function<void(int call)> action) {
        current() = this;
        action_ = std::move(action);
        dwl_qt_SetRepaintInterval(0);
        rs232_SetWaitHook(&InsideTheWaits::hook);
    }
    ~InsideTheWaits() {
        dwl_qt_InstallWaitHook();
        dwl_qt_SetRepaintInterval(-1);
        current() = nullptr;
    }
    int calls = 0;

  private:
    static InsideTheWaits*& current() {
        static InsideTheWaits* c = nullptr;
        return c;
    }
    static void hook() {
        InsideTheWaits* self = current();
        if (self == nullptr) return;
        self->action_(self->calls++);
        dwl_qt_RepaintWhileWaiting();
    }
    std::function<void(int)> action_;
};

int countLogLinesStarting(const GuiBench& bench, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : bench.logLines())
        n += line.rfind(" " + prefix, 0) == 0 ? 1 : 0;
    return n;
}

// A click and a key press that the window system still holds: they reach the widget only when
// the event loop next runs.
void holdClickAndKey(QWidget* button) {
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            button,
            new QMouseEvent(type, at, global, Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QCoreApplication::postEvent(button, new QKeyEvent(type, Qt::Key_Space, Qt::NoModifier));
}

TEST(GuiOperator, ClicksAndKeysOnTheDimmedStartDuringARunAreDropped) {
    sim::FaultConfig silent;
    silent.silentFrom = sim::Step::WakeUp;
    GuiBench bench(true, silent);
    const std::string ogm = bench.copyExample("sample.ogm", bench.imageFile("sample.ogm"));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_OGM_LOAD, ogm));
    bench.chooseRingIndex(MAIN_MODE, 2);
    QWidget* start = bench.control(MAIN_START);

    // The operator clicks Start and presses Space on it while the handset is awaited ...
    InsideTheWaits waits([&](int call) {
        if (call != 0) return;
        QTest::mouseClick(start, Qt::LeftButton);
        QTest::keyClick(start, Qt::Key_Space);
        QTest::keyClick(start, Qt::Key_Return);
    });
    // ... and once more just before the run releases the panel.
    bool held = false;
    bench.view().addChangeObserver([&](int panel, int control) {
        const UiControl* stop = uis_Control(panel, control);
        if (held || panel != v_Panel || control != MAIN_STOP || !stop->dimmed) return;
        if (countLogLinesStarting(bench, "Run ") == 0) return;
        held = true;
        holdClickAndKey(start);
    });
    bench.click(MAIN_START);
    guitest::pump();

    EXPECT_GT(waits.calls, 0);
    EXPECT_TRUE(held);
    EXPECT_EQ(countLogLinesStarting(bench, "Run "), 1) << "a second run started by itself";
    EXPECT_EQ(uis_CountPanels("mmi.uir", MMI_PANEL_TIMEOUT), 1);
    EXPECT_EQ(uis_CountPanels("mmi.uir", MMI_PANEL_TURN_ON), 1);
    EXPECT_TRUE(start->isEnabled()) << "the ogm path releases the panel at once";

    // The time-out window: in front of the main window, centred on it; Enter presses its OK.
    const int timeout = uis_FindPanel("mmi.uir", MMI_PANEL_TIMEOUT);
    PanelWindow* window = bench.view().window(timeout);
    PanelWindow* main = bench.view().window(v_Panel);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), main);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::Dialog));
    EXPECT_LE((window->frameGeometry().center() - main->frameGeometry().center()).manhattanLength(),
              4);
    QTest::keyClick(window, Qt::Key_Return);
    guitest::pump();
    EXPECT_EQ(uis_CountPanels("mmi.uir", MMI_PANEL_TIMEOUT), 0);
    EXPECT_EQ(uis_CountPanels("mmi.uir", MMI_PANEL_TURN_ON), 0) << "a turn-on window is left";
    EXPECT_EQ(countLogLinesStarting(bench, "Run "), 1);
}

// Mode 0: the bar and the percent start from 0 again for the ogm image; they do not stay on
// the binary image's 100 % until the ogm's first sector ends.
TEST(GuiOperator, TheBarStartsAgainForEachImage) {
    GuiBench bench(true);
    ASSERT_TRUE(bench.loadThroughDialog(
        MAIN_BIN_LOAD, bench.copyExample("sample.bin", bench.imageFile("sample.bin"))));
    ASSERT_TRUE(bench.loadThroughDialog(
        MAIN_OGM_LOAD, bench.copyExample("sample.ogm", bench.imageFile("sample.ogm"))));
    int ogmSeen = 0;
    int stuckAtFull = 0;
    InsideTheWaits waits([&](int) {
        const std::string status = uis_ControlText(v_Panel, MAIN_PROGRESS_STATUS);
        unsigned done = 0;
        if (std::sscanf(status.c_str(), "ogm image: %*d %%, %u of", &done) != 1 || done == 0)
            return;
        ogmSeen++;
        if (bench.widget<QLabel>(MAIN_PROGRESS_PERCENT)->text().toInt() == 100) stuckAtFull++;
    });
    bench.click(MAIN_START);
    ASSERT_GT(uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS), 0) << "the run failed";
    EXPECT_GT(ogmSeen, 0);
    EXPECT_EQ(stuckAtFull, 0);
}

TEST(GuiOperator, AboutIsDimmedDuringARunWhichGoesOnAndLightsItsSteps) {
    GuiBench bench(true);
    const std::string image = bench.copyExample("sample.bin", bench.imageFile("sample.bin"));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    bench.chooseRingIndex(MAIN_MODE, 1);
    QWidget* about = bench.control(MAIN_ABOUT);

    bool aboutEnabled = false;
    bool modalSeen = false;
    int progressAtBoot = -1;
    // A box that opens during the run would hold it: this closes it, and tells.
    auto duringRun = std::make_unique<guitest::ModalAnswer>(guitest::acceptMessage);
    bool pictureTaken = false;
    uint32_t bytesInFirstSector = 0;
    InsideTheWaits waits([&](int call) {
        if (call == 0) progressAtBoot = bench.widget<QLabel>(MAIN_PROGRESS_PERCENT)->text().toInt();
        // The progress line counts the bytes within a sector; the bar moves at its end.
        unsigned done = 0;
        int percent = 0;
        if (bench.widget<QLabel>(MAIN_PROGRESS_PERCENT)->text().toInt() == 0 &&
            std::sscanf(uis_ControlText(v_Panel, MAIN_PROGRESS_STATUS).c_str(),
                        "binary image: %d %%, %u of", &percent, &done) == 2)
            bytesInFirstSector = std::max<uint32_t>(bytesInFirstSector, done);
        // The picture of the README: the window in the middle of the binary image.
        if (!pictureTaken && !testsupport::binaryDir().empty() &&
            bench.widget<QLabel>(MAIN_PROGRESS_PERCENT)->text().toInt() >= 40) {
            pictureTaken = true;
            bench.view().mainWindow()->grab().save(
                QString::fromStdString(testsupport::binaryDir() + "/main-window.png"));
        }
        aboutEnabled = aboutEnabled || about->isEnabled();
        if (call % 50 == 0) QTest::mouseClick(about, Qt::LeftButton);
        modalSeen = modalSeen || QApplication::activeModalWidget() != nullptr;
    });
    bench.click(MAIN_START);

    EXPECT_FALSE(aboutEnabled);
    EXPECT_FALSE(modalSeen || duringRun->answered()) << "a window opened during the run";
    duringRun.reset();
    EXPECT_EQ(progressAtBoot, 0);
    const int success = uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(success, 0);
    EXPECT_TRUE(bench.widget<LedWidget>(MAIN_LED_2)->isOn()) << "Boot light";
    EXPECT_TRUE(bench.widget<LedWidget>(MAIN_LED_3)->isOn()) << "Download light";
    EXPECT_EQ(countLogLinesStarting(bench, "Run "), 1);
    EXPECT_GT(bytesInFirstSector, 8192u);
    EXPECT_LT(bytesInFirstSector, 65536u);
    // The image ends on its mean rate: the wire's, less the turnarounds.
    unsigned size = 0, rate = 0;
    const std::string status = uis_ControlText(v_Panel, MAIN_PROGRESS_STATUS);
    EXPECT_EQ(std::sscanf(status.c_str(), "binary image: 100 %%, %u bytes in 00:%*u, %u bytes/s",
                          &size, &rate),
              2)
        << status;
    EXPECT_EQ(size, 300000u);
    EXPECT_GT(rate, 40000u) << status;
    EXPECT_LE(rate, 46080u) << status;

    // The progress of this run stays until the next one begins, which empties it.
    QTest::keyClick(bench.view().window(success), Qt::Key_Enter);
    guitest::pump();
    ASSERT_TRUE(about->isEnabled());
    v_ProgramVersion = "9.8.7";
    guitest::ModalAnswer answer(guitest::acceptMessage);
    bench.click(MAIN_ABOUT);
    v_ProgramVersion = nullptr;
    EXPECT_TRUE(answer.answered());
    EXPECT_NE(answer.text().find("Version 9.8.7"), std::string::npos) << answer.text();

    // A boot only is a new command: the progress line of the run is over.
    EXPECT_NE(uis_ControlText(v_Panel, MAIN_PROGRESS_STATUS), " ");
    bench.click(MAIN_BOOT_START);
    EXPECT_TRUE(bench.logged("Booting Loader is Completed!!"));
    EXPECT_EQ(uis_ControlText(v_Panel, MAIN_PROGRESS_STATUS), " ");
}

TEST(GuiOperator, ByteSumsOfTwoToTheThirtyFirstAndMoreShowUnsigned) {
    GuiBench bench;
    const std::string image = bench.imageFile("erased.bin");
    testsupport::writeBytes(image, std::vector<uint8_t>(9u << 20, 0xFF));
    ASSERT_TRUE(bench.loadThroughDialog(MAIN_BIN_LOAD, image));
    EXPECT_EQ(bench.widget<QLabel>(MAIN_BIN_SUM)->text(), "2406481920");
}

TEST(GuiOperator, DroppedFilesLoadAsTheirLoadButtonsWould) {
    GuiBench bench;
    const std::string bin = bench.copyExample("sample.bin", bench.imageFile("sample.bin"));
    const std::string tfs = bench.copyExample("sample.tfs", bench.imageFile("sample.tfs"));
    const std::string text = bench.imageFile("notes.txt");
    testsupport::writeBytes(text, std::vector<uint8_t>{'x'});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(bin)),
                  QUrl::fromLocalFile(QString::fromStdString(tfs)),
                  QUrl::fromLocalFile(QString::fromStdString(text))});
    PanelWindow* main = bench.view().mainWindow();
    const QPoint at(40, 40);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main, &drop);
    // The files load one after the other, each once the last one's load is over.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return countLogLinesStarting(bench, "Not an image file") > 0; }, 5000));
    guitest::pump();

    // The binary image as its button loads it; in mode 0 the TFS ogm button is dimmed, so the
    // TFS image is refused as a press on it would be; a text file is no image.
    EXPECT_EQ(bench.widget<QLabel>(MAIN_BIN_SIZE)->text(), "300000");
    EXPECT_TRUE(bench.logged("Software binary file loading, please wait... "));
    EXPECT_EQ(std::string(sg_DownloadContext.ClaFile), bin);
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Data, nullptr);
    EXPECT_EQ(countLogLinesStarting(bench, "Cannot load now: "), 1);
    EXPECT_TRUE(bench.logged("Cannot load now: " + tfs + ": mode 0 takes no TFS image"));
    EXPECT_EQ(countLogLinesStarting(bench, "Not an image file"), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a file dialog opened";
}

// Stop pressed in a wait of the given kind: the run ends, says so and nothing else, and closes
// the port; the sector it interrupted shows as cancelled on the sector map.
struct StopCase {
    const char* name;
    sim::Step silentFrom; // None: the handset answers
    int mode;
    const char* image;     // the example image the run writes
    const char* pressFrom; // Stop is pressed once a log line starts so; nullptr: at once
};

class GuiStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(GuiStop, StopEndsTheRunAndSaysTheFlashMayBePartlyWritten) {
    const StopCase& c = GetParam();
    sim::FaultConfig faults;
    faults.silentFrom = c.silentFrom;
    GuiBench bench(true, faults);
    const bool binary = c.mode == 1;
    bench.copyExample("sample.cfg", bench.imageFile("sample.cfg"));
    const std::string image = bench.copyExample(c.image, bench.imageFile(c.image));
    bench.chooseRingIndex(MAIN_MODE, c.mode);
    ASSERT_TRUE(bench.loadThroughDialog(binary ? MAIN_BIN_LOAD : MAIN_TFS_LOAD, image));
    QWidget* stop = bench.control(MAIN_STOP);
    EXPECT_FALSE(stop->isEnabled()) << "Stop works only during a run";

    std::vector<int> enabledDuringRun;
    bool pressed = false;
    size_t linesBeforeStop = 0;
    InsideTheWaits waits([&](int) {
        if (pressed || (c.pressFrom != nullptr && countLogLinesStarting(bench, c.pressFrom) == 0))
            return;
        for (const UiControl& control : uis_Panel(v_Panel)->controls) {
            QWidget* w = bench.control(control.id);
            const bool operable = control.kind == UI_BUTTON || control.kind == UI_RING;
            if (w != nullptr && w->isEnabled() && operable) enabledDuringRun.push_back(control.id);
        }
        pressed = true;
        linesBeforeStop = bench.logLines().size();
        QTest::mouseClick(stop, Qt::LeftButton);
    });
    bench.click(MAIN_START);

    ASSERT_TRUE(pressed);
    EXPECT_EQ(enabledDuringRun, std::vector<int>{MAIN_STOP});
    // No time-out of the step that was waiting, no closing line of the run: the cancel alone.
    const std::vector<std::string> log = bench.logLines();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(linesBeforeStop), log.end()),
              std::vector<std::string>{" Download cancelled by the operator "});
    ASSERT_GT(v_PanelGenericErr, 0);
    EXPECT_EQ(uis_ControlText(v_PanelGenericErr, UTIL_WINDOW_TEXT),
              "Download cancelled by the operator.\nThe flash may be partly written: download "
              "again before using the handset.");
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_TIMEOUT), 0);
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_SUCCESS), 0);
    EXPECT_EQ(uis_FindPanel("mmi.uir", MMI_PANEL_TURN_ON), 0);
    EXPECT_LT(GetInQLen(sg_DownloadContext.ComPort), 0) << "the port is still open";
    EXPECT_FALSE(stop->isEnabled()) << "Stop outlives the run";
    if (binary) {
        const std::vector<uint8_t> bytes = testsupport::readBytes(image);
        EXPECT_FALSE(bench.handset().flashEquals(0x02000000, bytes.data(),
                                                 static_cast<uint32_t>(bytes.size())))
            << "the run went on to its end";
    } else {
        EXPECT_LT(bench.handset().tfs().files.size(), 10u) << "the run went on to its end";
    }
    int cancelled = 0, failed = 0;
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        cancelled += sg_SectorMap.Sector[i].State == SECTOR_CANCELLED;
        failed += sg_SectorMap.Sector[i].State == SECTOR_FAILED;
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(cancelled, std::string(c.name) == "Sectors" ? 1 : 0);

    // The binary path's window releases the panel; the TFS path releases it at once.
    EXPECT_EQ(bench.control(MAIN_START)->isEnabled(), !binary);
    QTest::keyClick(bench.view().window(v_PanelGenericErr), Qt::Key_Return);
    guitest::pump();
    EXPECT_TRUE(bench.control(MAIN_START)->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Waits, GuiStop,
    ::testing::Values(StopCase{"BootWakeUp", sim::Step::WakeUp, 1, "sample.bin", nullptr},
                      StopCase{"Sectors", sim::Step::None, 1, "sample.bin", "Download binary"},
                      StopCase{"TfsTransfer", sim::Step::None, 3, "sample.tfs",
                               "Recieved PATHDATA"}),
    [](const auto& info) { return std::string(info.param.name); });

// dwl-gui's own options are taken before Qt's; what is left must be image files.
TEST(GuiCommandLine, OwnOptionsFirstThenQtsThenImages) {
    struct Case {
        std::vector<std::string> args;
        bool help, version, emulated, station;
        std::vector<std::string> forQt, files;
    };
    const Case cases[] = {
        {{"--help"}, true, false, false, false, {}, {}},
        {{"-h", "a.bin"}, true, false, false, false, {"a.bin"}, {}},
        {{"--version"}, false, true, false, false, {}, {}},
        {{"--sim", "-style", "fusion", "a.bin"},
         false,
         false,
         true,
         false,
         {"-style", "fusion", "a.bin"},
         {}},
        {{"a.ogm", "--", "--help", "-x.bin"},
         false,
         false,
         false,
         false,
         {"a.ogm"},
         {"--help", "-x.bin"}},
        // The first --station opens the station window; a later one names the station.
        {{"--station", "-p", "1", "--station", "bench-A", "--start"},
         false,
         false,
         false,
         true,
         {"-p", "1", "--station", "bench-A", "--start"},
         {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> text = {"dwl-gui"};
        text.insert(text.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& arg : text)
            argv.push_back(arg.data());
        const GuiOptions o = dwlgui_ReadOptions(static_cast<int>(argv.size()), argv.data());
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(o.help, c.help) << what;
        EXPECT_EQ(o.version, c.version) << what;
        EXPECT_EQ(o.emulated, c.emulated) << what;
        EXPECT_EQ(o.station, c.station) << what;
        ASSERT_FALSE(o.forQt.empty()) << what;
        EXPECT_STREQ(o.forQt[0], "dwl-gui");
        EXPECT_EQ(std::vector<std::string>(o.forQt.begin() + 1, o.forQt.end()), c.forQt) << what;
        EXPECT_EQ(o.files, c.files) << what;
    }
    // Left by Qt: an option nobody knows is named (and dwl-gui stops); files pass.
    EXPECT_EQ(dwlgui_UnknownOption({"a.bin", "--halp", "-x"}), "--halp");
    EXPECT_EQ(dwlgui_UnknownOption({"a.bin", "-", "b.tfs"}), "");
    EXPECT_NE(std::string(dwlgui_Usage()).find("--sim"), std::string::npos);
}

// The sector map opens beside the main window, on whichever side has room, narrower when it
// must; with no room beside it, below; else at the screen's right edge.
TEST(SectorMap, OpensBesideTheMainWindow) {
    const QRect screen(0, 0, 1280, 900);
    const QSize decorations(2, 24);
    const auto height = [](int width) { return 20000 / width; };
    struct Case {
        const char* where;
        QRect main;
        int x, width; // of the frame placed
        bool below;
    };
    const Case cases[] = {
        {"right, whole", QRect(0, 0, 600, 700), 608, 402, false},
        {"right, narrower", QRect(260, 100, 762, 700), 1030, 250, false},
        {"left", QRect(500, 100, 762, 700), 90, 402, false},
        {"below", QRect(100, 0, 1100, 600), 100, 402, true},
        {"right edge", QRect(0, 0, 1280, 880), 878, 402, false},
    };
    for (const Case& c : cases) {
        const QRect frame = dwl_qt_PlaceBeside(c.main, screen, 400, 232, decorations, height);
        EXPECT_EQ(frame.x(), c.x) << c.where;
        EXPECT_EQ(frame.width(), c.width) << c.where;
        EXPECT_EQ(frame.height(), height(c.width - 2) + 24) << c.where;
        EXPECT_EQ(frame.top() > c.main.bottom(), c.below) << c.where;
        EXPECT_TRUE(screen.contains(frame)) << c.where;
        if (std::string(c.where) != "right edge") {
            EXPECT_FALSE(frame.intersects(c.main)) << c.where;
        }
    }

    // A 1024x768 screen with the main window in its middle: the main window moves aside so far
    // as the map needs (to the screen's edge at most), and nothing of it is covered.
    const QRect small(0, 0, 1024, 768);
    const struct {
        const char* where;
        QRect main;
        int wanted, moved, x, width;
    } moves[] = {
        {"to the left edge", QRect(132, 50, 762, 690), 400, -132, 770, 254},
        {"part of the way", QRect(132, 50, 762, 690), 240, -120, 782, 242},
        {"not at all: too wide", QRect(100, 50, 900, 690), 400, 0, 1024 - 402, 402},
    };
    for (const auto& m : moves) {
        QPoint moved(1, 1);
        const QRect frame =
            dwl_qt_PlaceBeside(m.main, small, m.wanted, 232, decorations, height, &moved);
        EXPECT_EQ(moved, QPoint(m.moved, 0)) << m.where;
        EXPECT_EQ(frame.x(), m.x) << m.where;
        EXPECT_EQ(frame.width(), m.width) << m.where;
        EXPECT_TRUE(small.contains(frame)) << m.where;
        if (m.moved != 0) {
            EXPECT_FALSE(frame.intersects(m.main.translated(moved))) << m.where;
        }
    }
    // Without leave to move it, the map goes over the main window as before.
    EXPECT_TRUE(dwl_qt_PlaceBeside(moves[0].main, small, 400, 232, decorations, height)
                    .intersects(moves[0].main));
}

// Identified flash: the map comes up; its own button closes it, window manager or not.
TEST(SectorMap, ComesUpWithTheFlashAndHasItsOwnClose) {
    GuiBench bench;
    dwl_qt_InstallSectorMap();
    SectorMapWidget* map = dwl_qt_SectorMap();
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(map->isVisible());
    bench.click(MAIN_BOOT_START);
    ASSERT_TRUE(bench.logged("Booting Loader is Completed!!"));
    map->follow();
    EXPECT_TRUE(map->isVisible());
    EXPECT_GE(map->height(), map->heightForWidth(map->width()));
    auto* close = map->findChild<QPushButton*>(QStringLiteral("sectorMapClose"));
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(map->rect().contains(close->geometry()));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(map->isVisible());
    // Closed, it comes back from the Service menu before the next run.
    v_SectorMapHook = &dwl_qt_ShowSectorMap;
    QAction* entry = nullptr;
    for (QAction* menu : bench.view().menuBar(v_Panel)->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->text() == "Sector map") entry = item;
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    guitest::pump();
    EXPECT_TRUE(map->isVisible());
    v_SectorMapHook = nullptr;
    dwl_qt_RemoveSectorMap();
    EXPECT_EQ(dwl_qt_SectorMap(), nullptr);
}

// The title names the line in use the moment the Handset ring switches it.
TEST(GuiOperator, TheTitleFollowsTheHandsetRingAtOnce) {
    GuiBench bench;
    v_SelectLineHook = &dwlgui_SelectLine;
    dwlgui_InstallOperatorAids(bench.view());
    const QWidget* main = bench.view().mainWindow();
    const QString device = QString::fromStdString("COM4  " + dwl_ComDevicePath(4));
    for (int emulated : {0, 1, 0}) {
        bench.chooseRingIndex(MAIN_LINE, emulated);
        EXPECT_EQ(dwlgui_LineEmulated(), emulated == 1);
        const QString title = main->windowTitle();
        EXPECT_TRUE(
            title.endsWith(emulated == 1 ? QStringLiteral("COM4  emulated handset") : device))
            << title.toStdString();
    }
    // ... and the COM number each time the COM ring turns, not one choice late.
    for (int index : {0, 2, 3}) {
        bench.chooseRingIndex(MAIN_COM_PORT, index);
        const int com = index + 1;
        EXPECT_EQ(sg_DownloadContext.ComPort, com);
        const QString title = main->windowTitle();
        EXPECT_TRUE(title.endsWith(
            QString::fromStdString("COM" + std::to_string(com) + "  " + dwl_ComDevicePath(com))))
            << title.toStdString();
    }
    dwlgui_RemoveOperatorAids();
    EXPECT_EQ(v_SelectLineHook, &dwlgui_SelectLine);
    v_SelectLineHook = nullptr;
}

// From the menu, the station window opens whole on the screen with its buttons on it; where the
// screen has room for both, beside the main window (which moves to the left edge for it).
TEST(GuiOperator, TheStationWindowOpensOnTheScreenBesideTheMainWindow) {
    const struct {
        QRect screen;
        bool beside;
    } screens[] = {{QRect(0, 0, 1024, 768), false},
                   {QRect(0, 0, 1280, 800), false},
                   {QRect(0, 0, 1920, 1080), true}};
    for (const auto& c : screens) {
        const std::string what =
            std::to_string(c.screen.width()) + "x" + std::to_string(c.screen.height());
        QWidget main;
        main.setGeometry(
            QRect(QPoint(0, 0), QSize(762, 690)).translated(c.screen.center() - QPoint(381, 345)));
        StationWindow station;
        station.resize(1280, 800);
        dwlgui_PlaceStationWindow(station, main, c.screen);
        EXPECT_TRUE(c.screen.contains(station.geometry())) << what;
        for (QPushButton* b : {station.startButton(), station.stopButton(), station.closeButton()})
            EXPECT_TRUE(station.rect().contains(
                b->geometry().translated(b->parentWidget()->mapTo(&station, QPoint(0, 0)))))
                << what << " " << b->text().toStdString();
        EXPECT_EQ(station.geometry().intersects(main.geometry()), !c.beside) << what;
        EXPECT_TRUE(c.screen.contains(main.geometry())) << what;
    }
}

TEST(GuiOperator, ThePortPickerMapsTheComNumberAndItsChoiceComesBackAtTheNextStart) {
    GuiBench bench;
    testsupport::TempDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("dwl-test"));
    guitest::ModalAnswer answer([](QWidget* dialog) {
        dialog->findChild<QComboBox*>(QStringLiteral("devices"))
            ->setEditText(QStringLiteral("/dev/ttyTEST7"));
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    bench.click(MAIN_CHOOSE_PORT);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(dwl_ComDevicePath(4), "/dev/ttyTEST7");
    EXPECT_EQ(uis_ControlText(v_Panel, MAIN_COM_PORT), "COM4  /dev/ttyTEST7");
    EXPECT_TRUE(bench.view().mainWindow()->windowTitle().endsWith("COM4  /dev/ttyTEST7"));

    // The next start: the remembered device, unless the environment names one for that number.
    QSettings().setValue(QStringLiteral("ports/COM2"), QStringLiteral("/dev/ttyACM3"));
    dwl_ClearComDevices();
    setenv("DWL_COM2", "/dev/ttyS1", 1);
    dwlgui_RestorePortChoices();
    EXPECT_EQ(dwl_ComDevicePath(4), "/dev/ttyTEST7");
    EXPECT_EQ(dwl_ComDevicePath(2), "/dev/ttyS1");
    EXPECT_EQ(dwl_ComDevicePath(1), "/dev/ttyUSB0");
    unsetenv("DWL_COM2");
    dwl_ClearComDevices();
    QSettings().clear();
}

// Service -> Open report: dimmed until the station's settings name a results file.
TEST(GuiOperator, TheServiceMenuOffersTheReportOnceAResultsFileIsSet) {
    GuiBench bench;
    testsupport::TempDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("dwl-test"));
    QSettings().clear();
    dwlgui_InstallOperatorAids(bench.view());
    QMenu* service = nullptr;
    QAction* entry = nullptr;
    for (QAction* menu : bench.view().menuBar(v_Panel)->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->text() == "Open report") {
                entry = item;
                service = menu->menu();
            }
    ASSERT_NE(entry, nullptr);
    emit service->aboutToShow();
    EXPECT_EQ(entry->isVisible(), dwlgui_BrowserAvailable());
    EXPECT_FALSE(entry->isEnabled());
    StationSettings kept;
    kept.results = settings.path() + "/line.sqlite";
    dwlgui_KeepStationSettings(kept);
    emit service->aboutToShow();
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_EQ(v_ReportHook, &dwlgui_OpenStationReport);
    dwlgui_RemoveOperatorAids();
    EXPECT_EQ(v_ReportHook, nullptr);
    QSettings().clear();
}

} // namespace
