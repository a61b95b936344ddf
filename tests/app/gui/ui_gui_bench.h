// The program's main panel on the Qt view, against the emulated handset inside the test: a
// working folder with flash.txt and the handset programs, the layouts of the source tree, the
// real callbacks, and helpers that act on the real widgets.
#pragma once

#include "platform/qt/ui_view.h"
#include "sim/handset.h"
#include "tests/support/temp_files.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace guitest {

class GuiBench {
  public:
    // wirePacing: the emulated handset takes the line's real byte times (in virtual time), so
    // that the PC waits for every reply as on a cable.
    // faults: what the emulated handset gets wrong (a handset that never answers ...).
    explicit GuiBench(bool wirePacing = false, const sim::FaultConfig& faults = {});
    ~GuiBench();

    QtUiView& view() { return view_; }
    sim::Handset& handset() { return session_->handset(); }
    // Folder of the images the file dialog offers.
    std::string imageFile(const std::string& name) const { return images_.file(name); }
    std::string copyExample(const std::string& name, const std::string& to) const;

    QWidget* control(int control, int panel = 0) const;
    template <class W> W* widget(int control, int panel = 0) const {
        return qobject_cast<W*>(this->control(control, panel));
    }
    // A mouse click on a control of the main panel (or of another window), then the event loop
    // runs what it started.
    void click(int control, int panel = 0);
    // Chooses a ring item with the keyboard, as the operator would.
    void chooseRingIndex(int control, int index);
    // Presses a load button and picks the file in the file dialog.
    bool loadThroughDialog(int button, const std::string& path);

    // The operator log as the list widget shows it.
    std::vector<std::string> logLines() const;
    bool logged(const std::string& text) const;

    // Lines the log received, with what the window showed at that moment.
    struct Seen {
        std::string line;
        bool menuBarShown;
        bool startEnabled;
    };
    std::vector<Seen> seen;

  private:
    testsupport::TempDir work_;
    testsupport::TempDir images_;
    testsupport::WorkingDirectory cwd_;
    QtUiView view_;
    std::unique_ptr<sim::SimSession> session_;
};

} // namespace guitest
