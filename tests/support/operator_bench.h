// A bench for the operator interface: a working folder holding flash.txt and the handset
// programs of examples/, the program's layout files, the main panel as start-up leaves it, an
// optional emulated handset, and the operator's actions on the panel (press, choose, load,
// menu items) with what they leave behind (log lines, windows, pop-ups).
#pragma once

#include "sim/handset.h"
#include "tests/support/temp_files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class OperatorBench {
  public:
    struct Options {
        bool flashTxt = true; // copy examples/flash.txt into the working folder
        bool startUp = true;  // run start-up (main panel, menu bar, flash.txt)
    };
    OperatorBench();
    explicit OperatorBench(Options options);
    ~OperatorBench();
    OperatorBench(const OperatorBench&) = delete;
    OperatorBench& operator=(const OperatorBench&) = delete;

    const TempDir& dir() const { return dir_; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    // Writes a file of n pattern bytes into the working folder; returns its path.
    std::string writeImage(const std::string& name, size_t n, uint32_t seed = 1);
    // Copies examples/sample.tfs into the working folder under `name`, with its description
    // beside it (the same name ending in "cfg"); returns the image's path.
    std::string copyTfsSample(const std::string& name = "sample.tfs") const;

    // Connects every COM port to an emulated handset (replacing an earlier one).
    sim::SimSession& emulate(sim::HandsetConfig config = sim::DefaultConfig());
    sim::Handset& handset() { return session_->handset(); }

    // --- The operator's actions; each dispatches the events it posted. ------------------------
    // Returns the posting result (0, or UIE_DIMMED and the like when it was refused).
    int press(int control);
    int choose(int control, int value);
    int menu(int item);
    // Answers the file popup with the path, then presses the load button.
    int load(int button, const std::string& path);
    // Presses the OK button (control 2) of a window.
    int pressOk(int window);

    // --- What the operator sees. --------------------------------------------------------------
    // Newest window of a layout file's panel, 0 when none is shown.
    int window(const char* layoutFile, int panel) const;
    int windowCount(const char* layoutFile, int panel) const;
    std::string windowText(int window) const;
    bool dimmed(int control) const;
    int intValue(int control) const;
    std::string text(int control) const;
    std::string label(int control) const;
    bool menuBarShown() const;
    bool logged(const std::string& text) const;
    // Index of the first log line " text " at or after `from`, or -1.
    int find(const std::string& text, size_t from = 0) const;
    // Texts of the message pop-ups so far.
    std::vector<std::string> messages() const;
    bool portOpen(int port) const;

    std::vector<std::string> lines; // operator log, as inserted

  private:
    TempDir dir_;
    WorkingDirectory cwd_;
    std::unique_ptr<sim::SimSession> session_;
};

} // namespace testsupport
