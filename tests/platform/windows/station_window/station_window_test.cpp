// The Win32 station window under wine, running the stand-in for `dwl station` (FAKE_STATION):
// what its tiles, totals and status show, what Stop once and twice, Unlock and a close send the
// station, and its room at 1024x768 and 1920x1080. The model's own reading of the lines is
// tested with the Qt window (tests/app/gui).
#include "link/child_process.h"
#include "platform/windows/gui/station_child.h"
#include "platform/windows/gui/station_window.h"
#include "tests/support/temp_files.h"

#include <windows.h>

#include <io.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using dwlwin::StationWindow;

// The stand-in's path as this system names it (a build on Linux compiles in a Unix path).
std::string fakeStation() {
    std::string path = FAKE_STATION;
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

std::string com1(const std::string& event, const std::string& fields = "") {
    return R"({"event":")" + event + R"(","time":"2026-03-01T08:00:00Z","port":"COM1",)" +
           R"("device":"\\\\.\\COM1")" + (fields.empty() ? "" : "," + fields) + "}";
}
const std::string kStarted = com1("run_started", R"("run_id":"u-1")");
const std::string kStationStarted =
    R"({"event":"station_started","time":"t","station":"line-3","ports":["COM1","COM2"],)"
    R"("mode":"binary","baud":302325,"images":[{"kind":"binary","path":"C:\\img\\sw.bin",)"
    R"("size":488000,"byte_sum":3054}],"results":"C:\\r.sqlite"})";

// Clicks a button as the operator would: only an enabled one.
bool click(HWND button) {
    if (!IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    return true;
}

std::string textOf(HWND hwnd) {
    wchar_t text[1024];
    GetWindowTextW(hwnd, text, 1024);
    return dwlwin::utf8(text);
}

// Answers the next questions with the button whose text begins so; keeps what they asked.
class Answer {
  public:
    explicit Answer(std::string button) : button_(std::move(button)) {
        dwlwin::setQuestionObserver([this](HWND question) {
            asked_ += textOf(FindWindowExW(question, nullptr, L"STATIC", nullptr));
            struct Find {
                const std::string* prefix;
                HWND found;
            } find{&button_, nullptr};
            EnumChildWindows(
                question,
                [](HWND child, LPARAM l) -> BOOL {
                    auto* f = reinterpret_cast<Find*>(l);
                    if (textOf(child).rfind(*f->prefix, 0) != 0) return TRUE;
                    f->found = child;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&find));
            if (find.found != nullptr)
                PostMessageW(question, WM_COMMAND, GetDlgCtrlID(find.found),
                             reinterpret_cast<LPARAM>(find.found));
        });
    }
    ~Answer() { dwlwin::setQuestionObserver(nullptr); }
    const std::string& asked() const { return asked_; }

  private:
    std::string button_;
    std::string asked_;
};

class Win32StationTest : public ::testing::Test {
  protected:
    void make(const std::vector<std::string>& script, StationSettings settings = {}) {
        writeScript(script);
        if (settings.ports.empty()) settings.ports = {"COM1", "COM2"};
        station = std::make_unique<StationWindow>(nullptr, fakeStation(), settings, false);
        ShowWindow(station->hwnd(), SW_SHOWNOACTIVATE);
    }
    void writeScript(const std::vector<std::string>& script) {
        std::ofstream out(dir.file("script"));
        for (const std::string& line : script)
            out << line << "\n";
        SetEnvironmentVariableW(L"FAKE_STATION_SCRIPT", dwlwin::wide(dir.file("script")).c_str());
    }
    void TearDown() override {
        station.reset();
        SetEnvironmentVariableW(L"FAKE_STATION_SCRIPT", nullptr);
    }
    // Handles the window's messages until it shows what is asked; false past the deadline. It
    // sleeps until a message comes.
    bool waitFor(const std::function<bool()>& shown, DWORD msecs = 20000) {
        const ULONGLONG deadline = GetTickCount64() + msecs;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (shown()) return true;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                      QS_ALLINPUT);
        }
    }
    const StationTileLook& tile(int i) { return station->run().model.ports[i].look; }
    bool stopped() { return station->run().phase == STATION_IDLE; }
    std::string shown(StationWindow::Control c) { return station->text(c); }
    HWND button(StationWindow::Control c) { return station->control(c); }
    bool readOnly(StationWindow::Control c) {
        return (GetWindowLongW(station->control(c), GWL_STYLE) & ES_READONLY) != 0;
    }

    testsupport::TempDir dir;
    std::unique_ptr<StationWindow> station;
};

TEST_F(Win32StationTest, RunsTheStationAndDrawsItsLines) {
    testsupport::writeBytes(dir.file("local.bin"), std::vector<uint8_t>{1, 2, 3});
    StationSettings settings;
    settings.ports = {"COM1", "COM2"};
    settings.bin = dir.file("local.bin");
    settings.mode = 1;
    settings.results = "C:\\runs\\r.sqlite";
    make({"!args", kStationStarted, com1("waiting"), kStarted,
          com1("progress", R"("stage":"writing","image":"binary","percent":60)"),
          com1("run_ended", R"("passed":true,"cancelled":false,"duration_s":12.64)"),
          R"({"event":"run_ended","port":"COM2","device":"\\\\.\\COM2","passed":false,)"
          R"("cancelled":false,"duration_s":3,"result":{"result":{"message":"No answer"}}})",
          R"({"event":"totals","pass":1,"fail":1,"yield_percent":50,"median_s":7.8,)"
          R"("per_hour":240})",
          "!err [COM2] COM2: cannot open: Access is denied", "!int",
          R"({"event":"station_stopped","reason":"interrupted"})"},
         settings);
    EXPECT_EQ(shown(StationWindow::BIN_TEXT), "local.bin: 3 bytes, sum 0x00000006");
    EXPECT_FALSE(readOnly(StationWindow::PORTS));
    EXPECT_EQ(shown(StationWindow::STATUS),
              "Not running. Start begins production on the ports named.");

    ASSERT_TRUE(click(button(StationWindow::START)));
    ASSERT_TRUE(
        waitFor([&] { return shown(StationWindow::TIMES).find("240") != std::string::npos; }));
    EXPECT_EQ(shown(StationWindow::FIGURES), "PASS 1   FAIL 1   yield 50.0 %");
    EXPECT_EQ(shown(StationWindow::TIMES), "median 7.8 s   240 handsets per hour");
    EXPECT_EQ(shown(StationWindow::STATUS), "Running on 2 ports. Station line-3.");
    EXPECT_EQ(shown(StationWindow::RESULTS_TEXT), "Runs recorded in C:\\r.sqlite");
    // The station got the settings shown; the fields show what it runs with, locked.
    const std::deque<std::string>& log = station->run().model.log;
    const auto args = std::find_if(log.begin(), log.end(),
                                   [](const std::string& l) { return l.rfind("args:", 0) == 0; });
    ASSERT_NE(args, log.end());
    EXPECT_EQ(*args, "args: station --json-lines --port COM1 --port COM2 --bin " +
                         dir.file("local.bin") + " --mode binary --results C:\\runs\\r.sqlite");
    EXPECT_EQ(shown(StationWindow::BIN), "C:\\img\\sw.bin");
    EXPECT_EQ(shown(StationWindow::BIN_TEXT), "sw.bin: 488000 bytes, sum 0x00000BEE");
    EXPECT_TRUE(readOnly(StationWindow::PORTS));
    EXPECT_TRUE(readOnly(StationWindow::BIN));
    EXPECT_FALSE(IsWindowEnabled(button(StationWindow::MODE)));
    EXPECT_FALSE(IsWindowEnabled(button(StationWindow::START)));
    EXPECT_EQ(tile(0).light, LIGHT_PASS);
    EXPECT_EQ(tile(1).light, LIGHT_FAIL);

    // A click on a tile shows its port's log, its error lines with it.
    const RECT second = station->tileRect(1);
    SendMessageW(station->control(StationWindow::TILES), WM_LBUTTONUP, 0,
                 MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2));
    ASSERT_NE(station->logWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(station->logWindow()));
    EXPECT_EQ(textOf(station->logWindow()), "Log of COM2  \\\\.\\COM2");
    EXPECT_NE(station->logText().find("Access is denied"), std::string::npos);
    EXPECT_NE(station->logText().find("FAIL after 3.0 s: No answer"), std::string::npos);

    // Stop once: the runs in progress finish; the station stops by itself.
    ASSERT_TRUE(click(button(StationWindow::STOP)));
    EXPECT_EQ(textOf(button(StationWindow::STOP)), "Cancel runs");
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_EQ(shown(StationWindow::STATUS), "Stopped: the station ended with exit status 0.");
    EXPECT_EQ(tile(0).note, "Stopped");
    EXPECT_TRUE(IsWindowEnabled(button(StationWindow::START)));
    EXPECT_FALSE(IsWindowEnabled(button(StationWindow::STOP)));
    // The settings stay those of the production until they are unlocked.
    EXPECT_TRUE(readOnly(StationWindow::PORTS));
    {
        Answer no("No");
        ASSERT_TRUE(click(button(StationWindow::UNLOCK)));
        EXPECT_EQ(no.asked().rfind("These are the settings", 0), 0u);
    }
    EXPECT_TRUE(readOnly(StationWindow::PORTS));
    {
        Answer yes("Yes");
        ASSERT_TRUE(click(button(StationWindow::UNLOCK)));
    }
    EXPECT_FALSE(readOnly(StationWindow::PORTS));
    EXPECT_TRUE(IsWindowEnabled(button(StationWindow::MODE)));
}

TEST_F(Win32StationTest, StopTwiceCancelsAndAClosingAsks) {
    make({kStationStarted, kStarted, "!int",
          com1("progress", R"("stage":"writing","image":"binary","percent":50)"), "!int",
          com1("run_ended", R"("passed":false,"cancelled":true,"result":{"exit_status":130})"),
          R"({"event":"station_stopped","reason":"cancelled"})", "!exit 130"});
    ASSERT_TRUE(click(button(StationWindow::START)));
    ASSERT_TRUE(waitFor([&] { return tile(0).light == LIGHT_RUNNING; }));
    ASSERT_TRUE(click(button(StationWindow::STOP)));
    // The stand-in answers the first interrupt; the run goes on.
    ASSERT_TRUE(waitFor([&] { return tile(0).percent == 50; }));
    EXPECT_EQ(station->run().phase, STATION_STOPPING);
    ASSERT_TRUE(click(button(StationWindow::STOP)));
    EXPECT_EQ(station->run().phase, STATION_CANCELLING);
    EXPECT_FALSE(IsWindowEnabled(button(StationWindow::STOP)));
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_EQ(tile(0).state, "CANCELLED");
    EXPECT_EQ(tile(0).cancelled, 1);
    EXPECT_EQ(shown(StationWindow::STATUS), "Stopped: the station ended with exit status 130.");

    // Closing while production runs asks; cancelling sends both interrupts, and the window
    // stays with the verdicts until it is closed again.
    writeScript({kStationStarted, kStarted, "!int", "!int",
                 com1("run_ended", R"("passed":false,"cancelled":true,"result":{})"),
                 R"({"event":"station_stopped","reason":"cancelled"})"});
    bool closed = false;
    station->setClosedObserver([&closed] { closed = true; });
    ASSERT_TRUE(click(button(StationWindow::START)));
    ASSERT_TRUE(waitFor([&] { return tile(0).light == LIGHT_RUNNING; }));
    {
        Answer keep("Keep running");
        SendMessageW(station->hwnd(), WM_CLOSE, 0, 0);
        EXPECT_EQ(keep.asked().rfind("Production is running on 2 ports.", 0), 0u);
    }
    EXPECT_TRUE(IsWindowVisible(station->hwnd()));
    EXPECT_EQ(station->run().phase, STATION_RUNNING);
    {
        Answer cancel("Cancel the runs");
        ASSERT_TRUE(click(button(StationWindow::CLOSE)));
    }
    EXPECT_EQ(station->run().phase, STATION_CANCELLING);
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_TRUE(IsWindowVisible(station->hwnd()));
    EXPECT_FALSE(closed);
    EXPECT_EQ(tile(0).state, "CANCELLED");
    const std::string status = shown(StationWindow::STATUS);
    EXPECT_NE(status.find("the window may be closed now."), std::string::npos) << status;
    ASSERT_TRUE(click(button(StationWindow::CLOSE)));
    EXPECT_FALSE(IsWindowVisible(station->hwnd()));
    EXPECT_TRUE(closed);

    // A station that cannot start says why and leaves the settings open.
    StationSettings one;
    one.ports = {"COM1"};
    StationWindow missing(nullptr, dir.file("no-such-program.exe"), one, true);
    missing.start();
    EXPECT_EQ(missing.run().phase, STATION_IDLE);
    EXPECT_EQ(
        missing.text(StationWindow::STATUS).rfind("Stopped: the station could not start: ", 0), 0u);
    EXPECT_FALSE(missing.locked());
}

// At 1024x768 Start, Stop and Close are on the screen and the fields keep a usable width; at
// 1920x1080 32 tiles show without scrolling.
TEST_F(Win32StationTest, FitsSmallAndLargeScreens) {
    StationSettings settings;
    for (int i = 1; i <= 32; i++)
        settings.ports.push_back("COM" + std::to_string(i));
    make({}, settings);
    SetWindowPos(station->hwnd(), nullptr, 0, 0, 1024, 768, SWP_NOZORDER);
    RECT client{};
    GetClientRect(station->hwnd(), &client);
    auto inside = [&](StationWindow::Control c) {
        RECT r{};
        GetWindowRect(station->control(c), &r);
        MapWindowPoints(nullptr, station->hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom &&
               r.right - r.left > 0;
    };
    for (StationWindow::Control c :
         {StationWindow::START, StationWindow::STOP, StationWindow::CLOSE, StationWindow::TILES})
        EXPECT_TRUE(inside(c)) << c;
    RECT field{};
    GetWindowRect(station->control(StationWindow::BIN), &field);
    EXPECT_GE(field.right - field.left, 250);
    // There the 32 tiles scroll, beside the scroll bar, down to the last one.
    HWND tilesControl = station->control(StationWindow::TILES);
    RECT room{};
    GetClientRect(tilesControl, &room);
    for (int i = 0; i < 32; i++)
        EXPECT_LE(station->tileRect(i).right, room.right) << i;
    for (int page = 0; page < 8; page++)
        SendMessageW(tilesControl, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_LE(station->tileRect(31).bottom, room.bottom);
    EXPECT_GE(station->tileRect(31).top, 0);

    SetWindowPos(station->hwnd(), nullptr, 0, 0, 1920, 1050, SWP_NOZORDER);
    RECT tiles{};
    GetClientRect(station->control(StationWindow::TILES), &tiles);
    const RECT last = station->tileRect(31);
    EXPECT_LE(last.bottom, tiles.bottom);
    EXPECT_LE(last.right, tiles.right);
    EXPECT_GE(last.right - last.left, kStationTileMinWidth);
    EXPECT_GE(last.bottom - last.top, kStationTileMinHeight);
}

} // namespace

namespace {

std::string environment(const wchar_t* name) {
    wchar_t value[4096];
    const DWORD n = GetEnvironmentVariableW(name, value, 4096);
    return n > 0 && n < 4096 ? dwlwin::utf8(value) : "";
}

// Everything a program writes on its standard output, and its exit status.
std::string outputOf(const std::string& program, const std::vector<std::string>& args,
                     int* status) {
    ChildOptions options;
    options.out = kChildPipe;
    options.err = kChildNull;
    options.noConsoleWindow = true;
    ChildHandle child;
    if (!dwl_StartProgram(program, args, options, &child)) return "";
    std::string out;
    char buffer[4096];
    int got = 0;
    while ((got = _read(child.out, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(got));
    dwl_WaitChild(&child, -1, status);
    dwl_CloseChildPipes(&child);
    return out;
}

} // namespace

// End to end: the window runs dwl.exe station on two COM ports, each a dwl-handset-sim that takes
// two handsets one after the other (dwl_exe_under_wine.sh station_window starts them, maps the
// ports and names them here); after the four runs, Stop, and four rows in the results file.
TEST_F(Win32StationTest, EndToEndTwoPortsTwoHandsetsEach) {
    const std::string dwl = environment(L"DWL_E2E_DWL_EXE");
    if (dwl.empty()) GTEST_SKIP() << "run by dwl_exe_under_wine.sh station_window";
    StationSettings settings;
    settings.ports = {"COM20", "COM21"};
    settings.bin = environment(L"DWL_E2E_BIN");
    settings.results = dir.file("results.sqlite");
    station = std::make_unique<StationWindow>(nullptr, dwl, settings, false);
    ShowWindow(station->hwnd(), SW_SHOWNOACTIVATE);
    station->start();
    const auto passes = [&] {
        long pass = 0;
        for (const StationPort& p : station->run().model.ports)
            pass += p.look.pass;
        return pass;
    };
    const auto ended = [&] {
        long runs = 0;
        for (const StationPort& p : station->run().model.ports)
            runs += p.look.pass + p.look.fail;
        return runs;
    };
    const auto tiles = [&] {
        std::string text = shown(StationWindow::STATUS);
        for (size_t i = 0; i < station->run().model.ports.size(); i++) {
            const StationPort& p = station->run().model.ports[i];
            text += "\n" + p.look.port + ": " + p.look.state + " " + p.look.detail + " " +
                    stationrun_CountsText(p.look) + "\n" +
                    stationrun_LogText(station->run().model, static_cast<int>(i));
        }
        return text;
    };
    ASSERT_TRUE(waitFor([&] { return ended() >= 4 || stopped(); }, 120000)) << tiles();
    ASSERT_EQ(passes(), 4) << tiles();
    // The totals follow the last run's end.
    EXPECT_TRUE(waitFor([&] {
        return shown(StationWindow::FIGURES) == "PASS 4   FAIL 0   yield 100.0 %";
    })) << shown(StationWindow::FIGURES);
    ASSERT_TRUE(click(button(StationWindow::STOP)));
    ASSERT_TRUE(waitFor([&] { return stopped(); }, 60000));
    EXPECT_EQ(station->run().model.stopReason, "interrupted");

    int status = -1;
    const std::string rows = outputOf(dwl, {"results", "--db", settings.results, "--csv"}, &status);
    EXPECT_EQ(status, 0);
    size_t lines = 0;
    for (char c : rows)
        lines += c == '\n';
    EXPECT_EQ(lines, 5u) << rows; // the header and a row per run
}
