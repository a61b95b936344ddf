#include "platform/qt/ui_panel_window.h"

#include "platform/qt/ui_menu_bar.h"
#include "platform/qt/ui_view.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QVBoxLayout>

PanelWindow::PanelWindow(QtUiView& view, const UiPanel& panel)
    : QWidget(nullptr, Qt::Window), view_(view), panel_(panel.handle) {
    setWindowTitle(QString::fromStdString(panel.title));
    setObjectName(QStringLiteral("panel%1").arg(panel.handle));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    canvas_ = new QWidget(this);
    canvas_->setFixedSize(panel.width, panel.height);
    layout_->addWidget(canvas_);
    for (const UiControl& c : panel.controls) {
        std::unique_ptr<ControlView> control = makeControlView(canvas_, panel.handle, c, view_);
        if (control) controls_[c.id] = std::move(control);
    }
}

PanelWindow::~PanelWindow() {
    // The widgets go before the views that their signal handlers use.
    delete canvas_;
    canvas_ = nullptr;
    controls_.clear();
}

void PanelWindow::refresh(int control) {
    if (control == 0) {
        for (auto& [id, c] : controls_) {
            if (const UiControl* state = uis_Control(panel_, id)) c->show(*state);
        }
        return;
    }
    auto it = controls_.find(control);
    const UiControl* state = uis_Control(panel_, control);
    if (it != controls_.end() && state != nullptr) it->second->show(*state);
}

void PanelWindow::attachMenuBar(int menuBar) {
    detachMenuBar();
    menuBar_ = buildMenuBar(this, menuBar, view_);
    if (menuBar_ == nullptr) return;
    menuBarHandle_ = menuBar;
    layout_->setMenuBar(menuBar_);
    menuBar_->show();
}

void PanelWindow::detachMenuBar() {
    menuBarHandle_ = 0;
    if (menuBar_ == nullptr) return;
    QMenuBar* old = menuBar_;
    menuBar_ = nullptr;
    layout_->setMenuBar(nullptr);
    old->hide();
    // Its menu may still be open or finishing a click: let the event loop delete it.
    old->setParent(nullptr);
    old->deleteLater();
}

QWidget* PanelWindow::controlWidget(int control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : it->second->widget();
}

void PanelWindow::closeEvent(QCloseEvent* event) {
    // The panel's close callback decides; the window goes when the panel is discarded. A panel
    // without one cannot be closed from its frame (its own button closes it).
    event->ignore();
    if (uis_OperateClose(panel_) == 0) view_.scheduleDispatch();
}
