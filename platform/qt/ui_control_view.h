// One control of a panel drawn with Qt widgets: the widget that shows it, and a caption above it
// for the kinds that carry one. show() brings the widgets in line with the services' state.
#pragma once

#include "uis/uis_backend.h"

#include <QRect>

#include <memory>

class QLabel;
class QWidget;
class QtUiView;

class ControlView {
  public:
    virtual ~ControlView() = default;
    // Shows value, items, texts and the dimmed state of the control as the services hold them.
    void show(const UiControl& control);
    QWidget* widget() const { return widget_; }
    QLabel* caption() const { return caption_; }
    // Where the layout puts the control.
    const QRect& layoutGeometry() const { return geometry_; }
    // Moves and stretches the control (and its caption) by the given amounts from its layout
    // place.
    void shift(int dx, int dy, int dw, int dh);

  protected:
    ControlView(int panel, int control, QtUiView& view)
        : panel_(panel), id_(control), view_(view) {}
    // The kind's own part of show().
    virtual void showValue(const UiControl& control) = 0;
    // Places the main widget and, when the kind has one, a caption above it.
    void place(QWidget* canvas, QWidget* widget, const UiControl& control, bool withCaption);

    int panel_;
    int id_;
    QtUiView& view_;
    QWidget* widget_ = nullptr;
    QLabel* caption_ = nullptr;
    QRect geometry_;
};

// The view of a control, its widgets created as children of canvas.
std::unique_ptr<ControlView> makeControlView(QWidget* canvas, int panel, const UiControl& control,
                                             QtUiView& view);
