#include "platform/qt/ui_menu_bar.h"

#include "platform/qt/ui_view.h"
#include "uis/uis_backend.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

QMenuBar* buildMenuBar(QWidget* parent, int menuBar, QtUiView& view) {
    const UiMenuBar* bar = uis_MenuBar(menuBar);
    if (bar == nullptr) return nullptr;
    auto* widget = new QMenuBar(parent);
    widget->setNativeMenuBar(false);
    widget->setObjectName(QStringLiteral("menubar%1").arg(menuBar));
    for (const UiMenu& menu : bar->menus) {
        QMenu* qmenu = widget->addMenu(QString::fromStdString(menu.title));
        // The ticks show the settings as they are when the menu opens.
        QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [qmenu, menuBar, &view] {
            for (QAction* action : qmenu->actions()) {
                if (action->isSeparator()) continue;
                const int checked = view.menuItemChecked(menuBar, action->data().toInt());
                action->setCheckable(checked >= 0);
                action->setChecked(checked > 0);
                const int state = view.menuItemState(menuBar, action->data().toInt());
                action->setVisible(state != QtUiView::kMenuItemHidden);
                action->setEnabled(state == QtUiView::kMenuItemShown);
            }
        });
        for (const UiMenuItem& item : menu.items) {
            if (item.separator) {
                qmenu->addSeparator();
                continue;
            }
            QAction* action = qmenu->addAction(QString::fromStdString(item.label));
            action->setData(item.id);
            const int id = item.id;
            QObject::connect(action, &QAction::triggered, widget, [menuBar, id, &view] {
                if (uis_OperateMenuItem(menuBar, id) == 0) view.scheduleDispatch();
            });
        }
    }
    return widget;
}
