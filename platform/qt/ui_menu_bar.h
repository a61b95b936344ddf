// A menu bar of the services drawn as a QMenuBar; its items post menu actions.
#pragma once

class QMenuBar;
class QWidget;
class QtUiView;

// nullptr when the menu bar is not alive.
QMenuBar* buildMenuBar(QWidget* parent, int menuBar, QtUiView& view);
