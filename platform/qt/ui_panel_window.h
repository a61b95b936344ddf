// The window of one panel: its controls at the positions of the layout, and the menu bar while
// the services have one attached to the panel.
//
// The first window (the program's main panel) is a free top-level window that the operator can
// resize: its list box (the operator log) grows with it, and the controls beside and below the
// list keep their distance to the window's edges. Every later window
// is a transient dialog of it: it stays in front of the main window, opens centred on it, and
// Enter presses its button.
#pragma once

#include "platform/qt/ui_control_view.h"

#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

class QVBoxLayout;
class QtUiView;

class PanelWindow : public QWidget {
    Q_OBJECT

  public:
    // owner: the window this one stays in front of (nullptr for the main window).
    PanelWindow(QtUiView& view, const UiPanel& panel, QWidget* owner = nullptr);
    ~PanelWindow() override;

    int panel() const { return panel_; }
    // Shows a control's state again (all controls when control is 0).
    void refresh(int control);
    // Shows the menu bar the services attached, or none.
    void attachMenuBar(int menuBar);
    // The services removed the menu bar: its place stays, with the menus disabled, so that the
    // controls below do not move while the panel is locked.
    void detachMenuBar();
    // The live menu bar (nullptr while the services have none attached).
    QMenuBar* menuBar() const { return menuBar_; }
    // What the window shows in the menu bar's place: the live bar or its disabled stand-in.
    QMenuBar* shownMenuBar() const {
        return menuBar_ != nullptr ? menuBar_.data() : standIn_.data();
    }
    int menuBarHandle() const { return menuBarHandle_; }
    QWidget* controlWidget(int control) const;
    // The area that holds the controls (the panel without its menu bar).
    QWidget* canvas() const { return canvas_; }
    // Places the window in the middle of its owner (nothing for the main window).
    void centreOnOwner();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Image files dropped on the main window load as their load buttons would.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Stretches the controls of a resizable window to the canvas's size.
    void fitControls();

    QtUiView& view_;
    int panel_;
    QVBoxLayout* layout_ = nullptr;
    QWidget* canvas_ = nullptr;
    QPointer<QMenuBar> menuBar_;
    QPointer<QMenuBar> standIn_;
    int menuBarHandle_ = 0;
    QSize layoutSize_;
    bool resizable_ = false;
    std::map<int, std::unique_ptr<ControlView>> controls_;
};
