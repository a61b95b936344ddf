// The Qt view of the user-interface services on a layout of its own: every control kind as its
// widget, state changes reaching the widgets, operator actions reaching the callbacks, the menu
// bar, windows and pop-ups.
#include "link/serial_device.h"
#include "platform/qt/ui_led.h"
#include "platform/qt/ui_popups.h"
#include "platform/qt/ui_view.h"
#include "platform/qt/ui_wait_hook.h"
#include "tests/platform/qt/ui_test_helpers.h"
#include "tests/support/temp_files.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Call {
    int panel, control, event;
};
std::vector<Call> calls;
std::vector<int> menuCalls;
int quitOnControl = -1;

int recordCtrl(int panel, int control, int event, void*, int, int) {
    calls.push_back({panel, control, event});
    if (control == quitOnControl) QuitUserInterface(7);
    return 0;
}
void recordMenu(int, int item, void*, int) {
    menuCalls.push_back(item);
}

const CallbackBinding kBindings[] = {
    {"t_ctrl", recordCtrl, nullptr},
    {"t_close", recordCtrl, nullptr},
    {"t_menu", nullptr, recordMenu},
};

const std::vector<std::string> kLayout = {
    "panel 1 \"View test\" 400 300 close=t_close",
    "  ring 1 \"Ring\" 10 20 120 24 callback=t_ctrl items=\"A:10|B:20|C:30\" value=20",
    "  button 2 \"Press\" 10 60 80 28 callback=t_ctrl",
    "  textbox 3 \"Path\" 140 20 200 40",
    "  numeric 4 \"Size\" 140 80 80 24",
    "  string 5 \"Entry\" 230 80 100 24 callback=t_ctrl",
    "  textmsg 6 \"Caption\" 10 100 200 20 value=\"hello\"",
    "  led 7 \" Flash \" 10 130 150 20",
    "  listbox 8 \"Log\" 10 170 200 100",
    "  progress 9 \"Progress\" 220 170 150 20",
    "  button 10 \"Dim\" 220 200 80 28 callback=t_ctrl dimmed=1",
    "panel 2 \"Result\" 200 100",
    "  textmsg 3 \"\" 10 10 180 40 value=\"Done\"",
    "  button 2 \"OK\" 60 60 80 28 callback=t_ctrl",
    "menubar 1",
    "  menu \"File\"",
    "    item 1 \"Quit\" callback=t_menu",
    "    separator",
    "    item 2 \"Other\" callback=t_menu",
};

class QtView : public ::testing::Test {
  protected:
    void SetUp() override {
        uis_Reset();
        calls.clear();
        menuCalls.clear();
        quitOnControl = -1;
        testsupport::writeCrLfFile(dir.file("view.uir"), kLayout);
        uis_SetLayoutDirectory(dir.path().c_str());
        uis_SetCallbackTable(kBindings, sizeof kBindings / sizeof kBindings[0]);
        view.install();
        panel = LoadPanel(0, "view.uir", 1);
        ASSERT_GT(panel, 0) << uis_LastError();
        DisplayPanel(panel);
        guitest::pump();
    }
    void TearDown() override {
        uis_Reset();
        uis_SetView(nullptr);
        uis_SetLayoutDirectory(nullptr);
        guitest::pump();
    }
    template <class W> W* widget(int control, int p = 0) {
        return qobject_cast<W*>(view.controlWidget(p != 0 ? p : panel, control));
    }

    testsupport::TempDir dir;
    QtUiView view;
    int panel = 0;
};

TEST_F(QtView, EveryKindBecomesItsWidgetAtTheLayoutPosition) {
    PanelWindow* w = view.window(panel);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "View test");
    EXPECT_EQ(w->canvas()->size(), QSize(400, 300));

    auto* ring = widget<QComboBox>(1);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->geometry(), QRect(10, 20, 120, 24));
    EXPECT_EQ(ring->count(), 3);
    EXPECT_EQ(ring->currentText(), "B");
    ASSERT_NE(widget<QPushButton>(2), nullptr);
    EXPECT_EQ(widget<QPushButton>(2)->text(), "Press");
    ASSERT_NE(widget<QPlainTextEdit>(3), nullptr);
    EXPECT_TRUE(widget<QPlainTextEdit>(3)->isReadOnly());
    ASSERT_NE(widget<QLabel>(4), nullptr);
    EXPECT_EQ(widget<QLabel>(4)->text(), "0");
    // The number's frame lies whole inside the field: all four of its lines show.
    EXPECT_EQ(widget<QLabel>(4)->frameRect(), widget<QLabel>(4)->rect());
    ASSERT_NE(widget<QLineEdit>(5), nullptr);
    ASSERT_NE(widget<QLabel>(6), nullptr);
    EXPECT_EQ(widget<QLabel>(6)->text(), "hello");
    ASSERT_NE(widget<LedWidget>(7), nullptr);
    EXPECT_FALSE(widget<LedWidget>(7)->isOn());
    EXPECT_EQ(widget<LedWidget>(7)->text(), " Flash ");
    ASSERT_NE(widget<QListWidget>(8), nullptr);
    ASSERT_NE(widget<QProgressBar>(9), nullptr);
    EXPECT_EQ(widget<QProgressBar>(9)->geometry(), QRect(220, 170, 150, 20));

    // Captions sit above the controls that carry one.
    auto* caption = w->canvas()->findChild<QLabel*>("caption1");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), "Ring");
    EXPECT_LE(caption->geometry().bottom(), ring->geometry().top());
}

TEST_F(QtView, DimmedControlsAreDisabledWidgets) {
    EXPECT_FALSE(widget<QPushButton>(10)->isEnabled());
    EXPECT_TRUE(widget<QPushButton>(2)->isEnabled());

    SetCtrlAttribute(panel, 1, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, 10, ATTR_DIMMED, 0);
    EXPECT_FALSE(widget<QComboBox>(1)->isEnabled());
    EXPECT_FALSE(view.window(panel)->canvas()->findChild<QLabel*>("caption1")->isEnabled());
    EXPECT_TRUE(widget<QPushButton>(10)->isEnabled());

    // A click on a dimmed button reaches no callback.
    SetCtrlAttribute(panel, 2, ATTR_DIMMED, 1);
    QTest::mouseClick(widget<QPushButton>(2), Qt::LeftButton);
    guitest::pump();
    EXPECT_TRUE(calls.empty());
}

TEST_F(QtView, StateChangesReachTheWidgets) {
    SetCtrlVal(panel, 4, 123456);
    EXPECT_EQ(widget<QLabel>(4)->text(), "123456");

    // A text message shows its value or its label, whichever was set last.
    SetCtrlVal(panel, 6, "Elapsed time : 12 s");
    EXPECT_EQ(widget<QLabel>(6)->text(), "Elapsed time : 12 s");
    SetCtrlAttribute(panel, 6, ATTR_LABEL_TEXT, "0 min 3 sec");
    EXPECT_EQ(widget<QLabel>(6)->text(), "0 min 3 sec");
    SetCtrlAttribute(panel, 6, ATTR_DIMMED, 1); // other changes keep what is shown
    EXPECT_EQ(widget<QLabel>(6)->text(), "0 min 3 sec");
    SetCtrlVal(panel, 6, "again");
    EXPECT_EQ(widget<QLabel>(6)->text(), "again");

    SetCtrlAttribute(panel, 7, ATTR_LABEL_TEXT, " Flash 28F640J3");
    SetCtrlVal(panel, 7, 1);
    EXPECT_TRUE(widget<LedWidget>(7)->isOn());
    EXPECT_EQ(widget<LedWidget>(7)->text(), " Flash 28F640J3");
    SetCtrlAttribute(panel, 7, ATTR_ON_TEXT, "ON");
    EXPECT_EQ(widget<LedWidget>(7)->text(), "ON");
    SetCtrlVal(panel, 7, 0);
    EXPECT_EQ(widget<LedWidget>(7)->text(), " Flash 28F640J3");

    SetCtrlVal(panel, 9, 57);
    EXPECT_EQ(widget<QProgressBar>(9)->value(), 57);
    EXPECT_EQ(widget<QProgressBar>(9)->text(), "57%");
    SetCtrlVal(panel, 9, 250); // out of range: shown as full, not as an error
    EXPECT_EQ(widget<QProgressBar>(9)->value(), 100);
    SetCtrlVal(panel, 9, -3);
    EXPECT_EQ(widget<QProgressBar>(9)->value(), 0);

    ResetTextBox(panel, 3, "/images/a.bin");
    EXPECT_EQ(widget<QPlainTextEdit>(3)->toPlainText(), "/images/a.bin");
    InsertTextBoxLine(panel, 3, 0, "first");
    EXPECT_EQ(widget<QPlainTextEdit>(3)->toPlainText(), "first\n/images/a.bin");
    ResetTextBox(panel, 3, "");
    EXPECT_EQ(widget<QPlainTextEdit>(3)->toPlainText(), "");

    SetCtrlIndex(panel, 1, 2);
    EXPECT_EQ(widget<QComboBox>(1)->currentText(), "C");
    InsertListItem(panel, 1, 0, "Z", 99);
    EXPECT_EQ(widget<QComboBox>(1)->count(), 4);
    EXPECT_EQ(widget<QComboBox>(1)->itemText(0), "Z");
    EXPECT_EQ(widget<QComboBox>(1)->currentText(), "C"); // the selection follows its item
}

TEST_F(QtView, TheLogKeepsItsSelectedLineInView) {
    auto* list = widget<QListWidget>(8);
    for (int i = 0; i < 60; i++) {
        const std::string line = " line " + std::to_string(i) + " ";
        InsertListItem(panel, 8, i, line.c_str(), 0);
        SetCtrlIndex(panel, 8, i);
    }
    guitest::pump();
    ASSERT_EQ(list->count(), 60);
    EXPECT_EQ(list->currentRow(), 59);
    EXPECT_EQ(list->item(59)->text(), " line 59 ");
    const QRect shown = list->visualItemRect(list->item(59));
    EXPECT_TRUE(list->viewport()->rect().contains(shown)) << "newest line scrolled out of view";

    // An insertion in the middle rebuilds the list in the services' order.
    InsertListItem(panel, 8, 0, " top ", 0);
    EXPECT_EQ(list->count(), 61);
    EXPECT_EQ(list->item(0)->text(), " top ");
    EXPECT_EQ(list->item(60)->text(), " line 59 ");

    // A line wider than the log can be scrolled to its end, and its tooltip shows it whole.
    const std::string wide = " Run 2026-12-08 00:32:48 COM4 " + std::string(300, 'x') + ".ogm ";
    InsertListItem(panel, 8, -1, wide.c_str(), 0);
    guitest::pump();
    QListWidgetItem* last = list->item(list->count() - 1);
    EXPECT_EQ(last->toolTip().toStdString(), wide.substr(1, wide.size() - 2));
    const int wholeWidth = list->fontMetrics().horizontalAdvance(last->text());
    EXPECT_GE(list->visualItemRect(last).width(), wholeWidth);
    EXPECT_GE(list->horizontalScrollBar()->maximum() + list->viewport()->width(), wholeWidth);
}

TEST_F(QtView, ButtonsRingsAndEntriesReachTheirCallbacksFromTheEventLoop) {
    QTest::mouseClick(widget<QPushButton>(2), Qt::LeftButton);
    guitest::pump();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].control, 2);
    EXPECT_EQ(calls[0].event, EVENT_COMMIT);

    calls.clear();
    auto* ring = widget<QComboBox>(1);
    ring->setFocus();
    QTest::keyClick(ring, Qt::Key_Down);
    guitest::pump();
    int value = 0;
    GetCtrlVal(panel, 1, &value);
    EXPECT_EQ(value, 30);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].control, 1);
    EXPECT_EQ(calls[0].event, EVENT_VAL_CHANGED);

    calls.clear();
    auto* entry = widget<QLineEdit>(5);
    entry->setFocus();
    QTest::keyClicks(entry, "abc");
    QTest::keyClick(entry, Qt::Key_Return);
    guitest::pump();
    char text[32] = {};
    GetCtrlVal(panel, 5, text, sizeof text);
    EXPECT_STREQ(text, "abc");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].event, EVENT_VAL_CHANGED);
}

TEST_F(QtView, MenuBarIsShownOnlyWhileAttached) {
    EXPECT_EQ(view.menuBar(panel), nullptr);
    int bar = LoadMenuBar(panel, "view.uir", 1);
    ASSERT_GT(bar, 0);
    QMenuBar* menuBar = view.menuBar(panel);
    ASSERT_NE(menuBar, nullptr);
    ASSERT_EQ(menuBar->actions().size(), 1);
    QMenu* file = menuBar->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->title(), "File");
    ASSERT_EQ(file->actions().size(), 3);
    EXPECT_TRUE(file->actions()[1]->isSeparator());

    file->actions()[2]->trigger();
    guitest::pump();
    EXPECT_EQ(menuCalls, std::vector<int>{2});

    const int canvasTop = view.window(panel)->canvas()->mapTo(view.window(panel), QPoint()).y();
    DiscardMenuBar(bar);
    guitest::pump();
    EXPECT_EQ(view.menuBar(panel), nullptr);
    // Its place stays, greyed, so that the panel below does not move.
    ASSERT_EQ(view.window(panel)->findChildren<QMenuBar*>().size(), 1);
    EXPECT_FALSE(view.window(panel)->shownMenuBar()->isEnabled());
    EXPECT_EQ(view.window(panel)->canvas()->mapTo(view.window(panel), QPoint()).y(), canvasTop);

    // Loaded again, twice in a row: exactly one menu bar.
    LoadMenuBar(panel, "view.uir", 1);
    LoadMenuBar(panel, "view.uir", 1);
    guitest::pump();
    EXPECT_EQ(view.window(panel)->findChildren<QMenuBar*>().size(), 1);
}

TEST_F(QtView, WindowsFollowThePanels) {
    const int result = LoadPanel(0, "view.uir", 2);
    ASSERT_GT(result, 0);
    ASSERT_NE(view.window(result), nullptr);
    EXPECT_FALSE(view.window(result)->isVisible());
    DisplayPanel(result);
    EXPECT_TRUE(view.window(result)->isVisible());
    EXPECT_EQ(widget<QLabel>(3, result)->text(), "Done");

    // Not modal: the main window still takes clicks.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    QTest::mouseClick(widget<QPushButton>(2), Qt::LeftButton);
    guitest::pump();
    EXPECT_EQ(calls.size(), 1u);

    // A window without a close callback stays when its frame is closed.
    view.window(result)->close();
    guitest::pump();
    ASSERT_NE(view.window(result), nullptr);
    EXPECT_TRUE(view.window(result)->isVisible());

    HidePanel(result);
    EXPECT_FALSE(view.window(result)->isVisible());
    DiscardPanel(result);
    EXPECT_EQ(view.window(result), nullptr);

    // The main window's frame runs its close callback; the window stays until discarded.
    calls.clear();
    view.window(panel)->close();
    guitest::pump();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].control, 0);
    EXPECT_EQ(calls[0].event, EVENT_CLOSE);
    EXPECT_TRUE(view.window(panel)->isVisible());
}

TEST_F(QtView, PanelsLoadedBeforeTheViewGetWindows) {
    uis_SetView(nullptr);
    const int early = LoadPanel(0, "view.uir", 2);
    DisplayPanel(early);
    QtUiView second;
    second.install();
    ASSERT_NE(second.window(early), nullptr);
    EXPECT_TRUE(second.window(early)->isVisible());
    uis_SetView(nullptr);
    view.install();
}

TEST_F(QtView, RunUserInterfaceDispatchesUntilQuit) {
    const int result = LoadPanel(0, "view.uir", 2);
    quitOnControl = 2;
    // Posted before the loop runs: dispatched by it.
    ASSERT_EQ(uis_OperateCommit(result, 2), 0);
    EXPECT_EQ(RunUserInterface(), 7);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].panel, result);
}

TEST_F(QtView, MessagePopupIsAModalMessageBox) {
    guitest::ModalAnswer answer(guitest::acceptMessage);
    MessagePopup("DOWNLOAD", "Please load a cla file before start");
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.className(), "QMessageBox");
    EXPECT_EQ(answer.title(), "DOWNLOAD");
    EXPECT_EQ(answer.text(), "Please load a cla file before start");
}

TEST_F(QtView, FileSelectOpensInTheImagesFolderAndReturnsTheChoice) {
    testsupport::TempDir images;
    const std::string file = images.file("a.bin");
    testsupport::writeBytes(file, std::string("abc"));
    setenv("DWL_IMAGES_DIR", images.path().c_str(), 1);

    std::string opened;
    guitest::ModalAnswer answer([&](QWidget* w) {
        if (auto* d = qobject_cast<QFileDialog*>(w))
            opened = d->directory().absolutePath().toStdString();
        guitest::chooseFile(w, file);
    });
    char path[260] = "unchanged";
    const int status =
        FileSelectPopup("c:/images", "*.bin", "", "select bin file", "Load", 0, 0, 1, 0, path);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.title(), "select bin file");
    EXPECT_EQ(opened, QDir(QString::fromStdString(images.path())).absolutePath().toStdString());
    EXPECT_EQ(status, VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(std::string(path), file);

    // Cancelled: no file, the caller's buffer untouched.
    guitest::ModalAnswer cancel([](QWidget* w) { guitest::chooseFile(w, ""); });
    char kept[260] = "kept";
    EXPECT_EQ(
        FileSelectPopup("c:/images", "*.bin", "", "select bin file", "Load", 0, 0, 1, 0, kept),
        VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(kept, "kept");
    unsetenv("DWL_IMAGES_DIR");
}

TEST(QtImagesFolder, MapsTheBenchFolderToOneOfOurs) {
    testsupport::TempDir home, images, work;
    testsupport::WorkingDirectory cwd(work.path());
    const std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("DWL_IMAGES_DIR");
    const auto canonical = [](const std::string& p) {
        return QDir(QString::fromStdString(p)).canonicalPath().toStdString();
    };

    // Neither set nor ~/images: the working directory.
    EXPECT_EQ(canonical(dwl_qt_ImagesFolder("c:/images")), canonical(work.path()));
    // ~/images once it exists.
    QDir(QString::fromStdString(home.path())).mkdir("images");
    EXPECT_EQ(canonical(dwl_qt_ImagesFolder("c:/images")), canonical(home.file("images")));
    // The environment first.
    setenv("DWL_IMAGES_DIR", images.path().c_str(), 1);
    EXPECT_EQ(dwl_qt_ImagesFolder("C:\\images"), images.path());
    // A folder of this machine is taken as it is; a missing one maps like the bench folder.
    EXPECT_EQ(canonical(dwl_qt_ImagesFolder(work.path().c_str())), canonical(work.path()));
    EXPECT_EQ(dwl_qt_ImagesFolder("/no/such/folder"), images.path());
    EXPECT_EQ(dwl_qt_ImagesFolder(nullptr), images.path());

    unsetenv("DWL_IMAGES_DIR");
    setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(QtView, WaitingRepaintsButRunsNoOperatorAction) {
    QTest::qWait(40); // past the hook's interval
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    ASSERT_EQ(uis_OperateCommit(panel, 2), 0);
    view.scheduleDispatch();

    dwl_qt_InstallWaitHook();
    rs232_CallWaitHook();
    dwl_qt_RemoveWaitHook();
    EXPECT_TRUE(timerRan) << "the wait ran no pending events";
    EXPECT_TRUE(calls.empty()) << "an operator action ran inside a wait on the line";

    guitest::pump();
    EXPECT_EQ(calls.size(), 1u);
}

} // namespace
