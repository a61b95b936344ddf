// Helpers of the GUI tests: running the event loop until idle, answering modal pop-ups from a
// timer, finding widgets.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

namespace guitest {

// Runs pending events (deferred deletions included) a few rounds.
void pump(int rounds = 4);

// Arms a timer that waits for the next modal widget (file dialog, message box) and hands it to
// answer. A pop-up that never comes is reported by answered() staying false; one that the
// answer leaves open is rejected after a while so that a failing test cannot hang.
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer);
    ~ModalAnswer();
    bool answered() const { return answered_; }
    // Class name and title of the pop-up that was answered.
    const std::string& className() const { return className_; }
    const std::string& title() const { return title_; }
    const std::string& text() const { return text_; }

  private:
    struct Impl;
    Impl* impl_;
    bool answered_ = false;
    std::string className_, title_, text_;
};

// Chooses a file in the open QFileDialog; answers "cancel" when path is empty.
void chooseFile(QWidget* dialog, const std::string& path);
// Presses OK on a message box.
void acceptMessage(QWidget* box);

} // namespace guitest
