// The window of one panel: its controls at the positions of the layout, and the menu bar while
// the services have one attached to the panel.
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
    PanelWindow(QtUiView& view, const UiPanel& panel);
    ~PanelWindow() override;

    int panel() const { return panel_; }
    // Shows a control's state again (all controls when control is 0).
    void refresh(int control);
    // Shows the menu bar the services attached, or none.
    void attachMenuBar(int menuBar);
    void detachMenuBar();
    QMenuBar* menuBar() const { return menuBar_; }
    int menuBarHandle() const { return menuBarHandle_; }
    QWidget* controlWidget(int control) const;
    // The area that holds the controls (the panel without its menu bar).
    QWidget* canvas() const { return canvas_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QtUiView& view_;
    int panel_;
    QVBoxLayout* layout_ = nullptr;
    QWidget* canvas_ = nullptr;
    QPointer<QMenuBar> menuBar_;
    int menuBarHandle_ = 0;
    std::map<int, std::unique_ptr<ControlView>> controls_;
};
