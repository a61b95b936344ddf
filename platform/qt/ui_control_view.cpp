#include "platform/qt/ui_control_view.h"

#include "platform/qt/ui_led.h"
#include "platform/qt/ui_view.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextOption>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kCaptionHeight = 16;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); i++) {
        if (i > 0) out += '\n';
        out += lines[i];
    }
    return out;
}

class ButtonView : public ControlView {
  public:
    ButtonView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* button = new QPushButton(canvas);
        place(canvas, button, c, false);
        QObject::connect(button, &QPushButton::clicked, button, [this] {
            if (uis_OperateCommit(panel_, id_) == 0) view_.scheduleDispatch();
        });
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* button = static_cast<QPushButton*>(widget_);
        button->setText(qs(c.label));
        // A label wider than the button of the layout gets a smaller font rather than clipped.
        QFont font = button->parentWidget()->font();
        const int room = button->width() - 8;
        while (font.pointSizeF() > 6.5 &&
               QFontMetrics(font).horizontalAdvance(button->text()) > room)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        button->setFont(font);
    }
};

class RingView : public ControlView {
  public:
    RingView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* combo = new QComboBox(canvas);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
        place(canvas, combo, c, true);
        QObject::connect(combo, &QComboBox::activated, combo, [this, combo](int index) {
            if (index < 0) return;
            const int value = combo->itemData(index).toInt();
            if (uis_OperateSetValue(panel_, id_, value) == 0) {
                view_.scheduleDispatch();
            } else if (const UiControl* now = uis_Control(panel_, id_)) {
                show(*now); // refused: back to what the services hold
            }
        });
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* combo = static_cast<QComboBox*>(widget_);
        const QSignalBlocker block(combo);
        bool same = combo->count() == static_cast<int>(c.items.size());
        for (int i = 0; same && i < combo->count(); i++) {
            same = combo->itemText(i) == qs(c.items[i].label) &&
                   combo->itemData(i).toInt() == c.items[i].value;
        }
        if (!same) {
            combo->clear();
            for (const UiListItem& item : c.items)
                combo->addItem(qs(item.label), item.value);
        }
        combo->setCurrentIndex(c.index);
    }
};

class ListView : public ControlView {
  public:
    ListView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* list = new QListWidget(canvas);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        // Items of their own widths, never elided: the scroll bar reaches the end of the
        // longest line (the run line is often it); each line's tooltip shows it whole too.
        list->setTextElideMode(Qt::ElideNone);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        place(canvas, list, c, true);
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* list = static_cast<QListWidget*>(widget_);
        // The log grows one line at a time: add what is new, rebuild only when the items differ
        // in some other way.
        bool prefix = shown_.size() <= c.items.size();
        for (size_t i = 0; prefix && i < shown_.size(); i++)
            prefix = shown_[i] == c.items[i].label;
        if (!prefix) {
            list->clear();
            shown_.clear();
        }
        for (size_t i = shown_.size(); i < c.items.size(); i++) {
            auto* item = new QListWidgetItem(qs(c.items[i].label), list);
            item->setToolTip(item->text().trimmed());
            shown_.push_back(c.items[i].label);
        }
        if (c.index >= 0 && c.index < list->count()) {
            list->setCurrentRow(c.index);
            list->scrollToItem(list->item(c.index), QAbstractItemView::EnsureVisible);
        } else {
            list->setCurrentRow(-1);
        }
    }

  private:
    std::vector<std::string> shown_;
};

class TextBoxView : public ControlView {
  public:
    TextBoxView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* edit = new QPlainTextEdit(canvas);
        edit->setReadOnly(true);
        // Paths are long and have no blanks: break them anywhere.
        edit->setWordWrapMode(QTextOption::WrapAnywhere);
        edit->document()->setDocumentMargin(2);
        place(canvas, edit, c, true);
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* edit = static_cast<QPlainTextEdit*>(widget_);
        const QString text = qs(joined(c.lines));
        if (edit->toPlainText() != text) edit->setPlainText(text);
    }
};

class NumericView : public ControlView {
  public:
    NumericView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* label = new QLabel(canvas);
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAutoFillBackground(true);
        label->setBackgroundRole(QPalette::Base);
        // Room between the number and the frame. Not contents margins: a frame is drawn around
        // the contents, so those would push its top and bottom lines out of the widget.
        label->setIndent(4);
        place(canvas, label, c, true);
    }

  protected:
    void showValue(const UiControl& c) override {
        const QString text = c.unsignedValue ? QString::number(static_cast<uint32_t>(c.intValue))
                                             : QString::number(c.intValue);
        static_cast<QLabel*>(widget_)->setText(text);
    }
};

class StringView : public ControlView {
  public:
    StringView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* edit = new QLineEdit(canvas);
        place(canvas, edit, c, true);
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [this, edit] {
            const UiControl* now = uis_Control(panel_, id_);
            if (now == nullptr || qs(now->text) == edit->text()) return;
            if (uis_OperateSetText(panel_, id_, edit->text().toStdString().c_str()) == 0)
                view_.scheduleDispatch();
        });
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* edit = static_cast<QLineEdit*>(widget_);
        if (edit->text() != qs(c.text)) edit->setText(qs(c.text));
    }
};

class TextMessageView : public ControlView {
  public:
    TextMessageView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* label = new QLabel(canvas);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        place(canvas, label, c, false);
    }

  protected:
    // A text message has one visible text, which both its value and its label set: it shows the
    // one set last (at first its value, or its label when it has no value).
    void showValue(const UiControl& c) override {
        std::string shown;
        if (first_) {
            shown = c.text.empty() ? c.label : c.text;
        } else if (c.label != label_) {
            shown = c.label;
        } else if (c.text != text_) {
            shown = c.text;
        } else {
            shown = shown_;
        }
        first_ = false;
        label_ = c.label;
        text_ = c.text;
        shown_ = shown;
        static_cast<QLabel*>(widget_)->setText(qs(shown));
    }

  private:
    bool first_ = true;
    std::string label_, text_, shown_;
};

class LedView : public ControlView {
  public:
    LedView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        place(canvas, new LedWidget(canvas), c, false);
    }

  protected:
    void showValue(const UiControl& c) override {
        auto* led = static_cast<LedWidget*>(widget_);
        led->setOn(c.intValue != 0);
        // A lit light shows its on-text when it has one, its label otherwise.
        led->setText(qs(c.intValue != 0 && !c.onText.empty() ? c.onText : c.label));
    }
};

class ProgressView : public ControlView {
  public:
    ProgressView(QWidget* canvas, int panel, const UiControl& c, QtUiView& view)
        : ControlView(panel, c.id, view) {
        auto* bar = new QProgressBar(canvas);
        bar->setRange(0, 100);
        bar->setFormat(QStringLiteral("%p%"));
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
        place(canvas, bar, c, true);
    }

  protected:
    void showValue(const UiControl& c) override {
        static_cast<QProgressBar*>(widget_)->setValue(std::clamp(c.intValue, 0, 100));
    }
};

} // namespace

void ControlView::place(QWidget* canvas, QWidget* widget, const UiControl& c, bool withCaption) {
    widget_ = widget;
    geometry_ = QRect(c.x, c.y, c.width, c.height);
    widget_->setGeometry(geometry_);
    widget_->setObjectName(QStringLiteral("control%1").arg(c.id));
    if (withCaption) {
        caption_ = new QLabel(canvas);
        caption_->setTextFormat(Qt::PlainText);
        caption_->setGeometry(c.x, std::max(0, c.y - kCaptionHeight - 1), c.width, kCaptionHeight);
        caption_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        caption_->setObjectName(QStringLiteral("caption%1").arg(c.id));
        caption_->setBuddy(widget_);
    }
}

void ControlView::shift(int dx, int dy, int dw, int dh) {
    const QRect to = geometry_.adjusted(dx, dy, dx + dw, dy + dh);
    widget_->setGeometry(to);
    if (caption_ != nullptr)
        caption_->setGeometry(to.x(), std::max(0, to.y() - kCaptionHeight - 1), to.width(),
                              kCaptionHeight);
}

void ControlView::show(const UiControl& c) {
    showValue(c);
    widget_->setEnabled(!c.dimmed);
    if (caption_ != nullptr) {
        caption_->setText(qs(c.label));
        caption_->setEnabled(!c.dimmed);
    }
}

std::unique_ptr<ControlView> makeControlView(QWidget* canvas, int panel, const UiControl& c,
                                             QtUiView& view) {
    std::unique_ptr<ControlView> out;
    switch (c.kind) {
    case UI_BUTTON: out = std::make_unique<ButtonView>(canvas, panel, c, view); break;
    case UI_RING: out = std::make_unique<RingView>(canvas, panel, c, view); break;
    case UI_TEXTBOX: out = std::make_unique<TextBoxView>(canvas, panel, c, view); break;
    case UI_NUMERIC: out = std::make_unique<NumericView>(canvas, panel, c, view); break;
    case UI_STRING: out = std::make_unique<StringView>(canvas, panel, c, view); break;
    case UI_TEXTMSG: out = std::make_unique<TextMessageView>(canvas, panel, c, view); break;
    case UI_LED: out = std::make_unique<LedView>(canvas, panel, c, view); break;
    case UI_LISTBOX: out = std::make_unique<ListView>(canvas, panel, c, view); break;
    case UI_PROGRESS: out = std::make_unique<ProgressView>(canvas, panel, c, view); break;
    }
    if (out) out->show(c);
    return out;
}
