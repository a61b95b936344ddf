#include "tests/platform/qt/ui_test_helpers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

namespace guitest {

void pump(int rounds) {
    for (int i = 0; i < rounds; i++) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct ModalAnswer::Impl {
    QTimer timer;
    QElapsedTimer waited;
};

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> answer) : impl_(new Impl) {
    impl_->waited.start();
    impl_->timer.setInterval(10);
    QObject::connect(&impl_->timer, &QTimer::timeout, [this, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->isModal()) modal = w;
            }
        }
        if (modal == nullptr) return;
        if (!answered_) {
            answered_ = true;
            className_ = modal->metaObject()->className();
            title_ = modal->windowTitle().toStdString();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) text_ = box->text().toStdString();
            answer(modal);
            impl_->waited.restart();
            return;
        }
        // Still open long after the answer: give up on it.
        if (impl_->waited.elapsed() > 5000) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    });
    impl_->timer.start();
}

ModalAnswer::~ModalAnswer() {
    delete impl_;
}

void chooseFile(QWidget* dialog, const std::string& path) {
    auto* files = qobject_cast<QFileDialog*>(dialog);
    if (files == nullptr) {
        if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
        return;
    }
    if (path.empty()) {
        files->reject();
        return;
    }
    // Typed into the name field, as an operator would: selecting in the view races with the
    // dialog's folder listing, which is read in the background.
    if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->setText(QString::fromStdString(path));
    else
        files->selectFile(QString::fromStdString(path));
    QMetaObject::invokeMethod(files, "accept");
}

void acceptMessage(QWidget* box) {
    if (auto* d = qobject_cast<QDialog*>(box)) d->accept();
}

} // namespace guitest
