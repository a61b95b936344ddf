// Entry point of the GUI tests: a widget application on the platform the environment names
// (offscreen under ctest).
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {
QtMessageHandler standardHandler = nullptr;

// The offscreen platform reports every window feature it lacks; those notes are noise here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (standardHandler != nullptr) standardHandler(type, context, message);
}
} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    standardHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
