#include "platform/qt/ui_panel_window.h"

#include "platform/qt/ui_menu_bar.h"
#include "platform/qt/ui_view.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

PanelWindow::PanelWindow(QtUiView& view, const UiPanel& panel, QWidget* owner)
    : QWidget(owner, owner != nullptr ? Qt::Dialog : Qt::Window), view_(view), panel_(panel.handle),
      layoutSize_(panel.width, panel.height), resizable_(owner == nullptr) {
    setWindowTitle(QString::fromStdString(panel.title));
    setObjectName(QStringLiteral("panel%1").arg(panel.handle));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    canvas_ = new QWidget(this);
    if (resizable_) {
        canvas_->setMinimumSize(layoutSize_);
        canvas_->installEventFilter(this);
        setAcceptDrops(true);
    } else {
        layout_->setSizeConstraint(QLayout::SetFixedSize);
        canvas_->setFixedSize(layoutSize_);
    }
    layout_->addWidget(canvas_);
    for (const UiControl& c : panel.controls) {
        std::unique_ptr<ControlView> control = makeControlView(canvas_, panel.handle, c, view_);
        if (control) controls_[c.id] = std::move(control);
    }
    // The window's one button (a result window's OK) has the focus: Enter and Space press it.
    for (auto& [id, c] : controls_) {
        if (auto* button = qobject_cast<QPushButton*>(c->widget())) {
            if (!resizable_) button->setFocus();
            break;
        }
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

namespace {
void dropLater(QMenuBar* bar) {
    if (bar == nullptr) return;
    bar->hide();
    // Its menu may still be open or finishing a click: let the event loop delete it.
    bar->setParent(nullptr);
    bar->deleteLater();
}
} // namespace

void PanelWindow::attachMenuBar(int menuBar) {
    QMenuBar* built = buildMenuBar(this, menuBar, view_);
    QMenuBar* oldBar = menuBar_;
    QMenuBar* oldStandIn = standIn_;
    menuBar_ = built;
    standIn_ = nullptr;
    menuBarHandle_ = built != nullptr ? menuBar : 0;
    layout_->setMenuBar(built);
    dropLater(oldBar);
    dropLater(oldStandIn);
    if (built != nullptr) built->show();
}

void PanelWindow::detachMenuBar() {
    menuBarHandle_ = 0;
    if (menuBar_ == nullptr) return;
    QMenuBar* old = menuBar_;
    menuBar_ = nullptr;
    // The bar keeps its place, greyed: an open menu closes, no item can be chosen.
    for (QAction* action : old->actions()) {
        if (action->menu() != nullptr) action->menu()->close();
    }
    old->setEnabled(false);
    dropLater(standIn_);
    standIn_ = old;
}

QWidget* PanelWindow::controlWidget(int control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : it->second->widget();
}

void PanelWindow::centreOnOwner() {
    QWidget* owner = parentWidget();
    if (owner == nullptr) return;
    adjustSize();
    const QRect frame = owner->frameGeometry();
    const QPoint topLeft = frame.center() - QPoint(width() / 2, height() / 2);
    move(topLeft.x(), std::max(frame.top(), topLeft.y()));
}

void PanelWindow::closeEvent(QCloseEvent* event) {
    // The panel's close callback decides; the window goes when the panel is discarded. A panel
    // without one cannot be closed from its frame (its own button closes it).
    event->ignore();
    if (uis_OperateClose(panel_) == 0) view_.scheduleDispatch();
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || resizable_) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Enter presses the button that has the focus, else the window's first enabled button.
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    for (auto it = controls_.begin(); button == nullptr && it != controls_.end(); ++it) {
        auto* candidate = qobject_cast<QPushButton*>(it->second->widget());
        if (candidate != nullptr && candidate->isEnabled()) button = candidate;
    }
    if (button != nullptr && button->isEnabled()) button->click();
    event->accept();
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == canvas_ && event->type() == QEvent::Resize) fitControls();
    return QWidget::eventFilter(watched, event);
}

void PanelWindow::fitControls() {
    const int dw = std::max(0, canvas_->width() - layoutSize_.width());
    const int dh = std::max(0, canvas_->height() - layoutSize_.height());
    // The list box (the operator log) takes the room; what lies right of it or below it moves.
    QRect list;
    for (auto& [id, c] : controls_) {
        const UiControl* state = uis_Control(panel_, id);
        if (state != nullptr && state->kind == UI_LISTBOX) list = c->layoutGeometry();
    }
    if (list.isNull()) return;
    for (auto& [id, c] : controls_) {
        const UiControl* state = uis_Control(panel_, id);
        if (state == nullptr) continue;
        const QRect& at = c->layoutGeometry();
        if (state->kind == UI_LISTBOX) {
            c->shift(0, 0, dw, dh);
            continue;
        }
        const int dx = at.left() > list.right() && at.bottom() >= list.top() ? dw : 0;
        const int dy = at.top() > list.bottom() ? dh : 0;
        c->shift(dx, dy, 0, 0);
    }
}

namespace {
std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}
} // namespace

void PanelWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (view_.acceptsDrops() && !localFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void PanelWindow::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = localFiles(event->mimeData());
    if (paths.empty() || !view_.acceptsDrops()) return;
    event->acceptProposedAction();
    view_.filesDropped(paths);
}
