#include "platform/qt/ui_popups.h"

#include "uis/uis.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

#include <cstdlib>

namespace {

bool isFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// "c:/images", "D:\images": a folder of another machine.
bool hasDriveLetter(const QString& path) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[/\\\\]?"));
    return drive.match(path).hasMatch();
}

} // namespace

std::string dwl_qt_ImagesFolder(const char* requested) {
    const QString wanted = QString::fromLocal8Bit(requested != nullptr ? requested : "");
    if (!hasDriveLetter(wanted) && isFolder(wanted))
        return QFile::encodeName(QDir(wanted).absolutePath()).toStdString();
    const char* env = std::getenv("DWL_IMAGES_DIR");
    if (env != nullptr && env[0] != '\0') return env;
    const QString home = QDir::home().filePath(QStringLiteral("images"));
    if (isFolder(home)) return QFile::encodeName(home).toStdString();
    return QFile::encodeName(QDir::currentPath()).toStdString();
}

int dwl_qt_FileDialog(QWidget* parent, const char* defaultDirectory, const char* fileType,
                      const char* title, std::string& path, bool save) {
    const QString type = QString::fromLocal8Bit(fileType != nullptr ? fileType : "");
    QStringList filters;
    if (!type.isEmpty()) filters << type;
    filters << QStringLiteral("All files (*)");

    QFileDialog dialog(parent, QString::fromLocal8Bit(title != nullptr ? title : ""),
                       QString::fromLocal8Bit(dwl_qt_ImagesFolder(defaultDirectory).c_str()));
    dialog.setObjectName(QStringLiteral("dwlFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    dialog.setLabelText(QFileDialog::Accept,
                        save ? QStringLiteral("Save") : QStringLiteral("Load"));
    if (dialog.exec() != QDialog::Accepted) return VAL_NO_FILE_SELECTED;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return VAL_NO_FILE_SELECTED;
    path = QFile::encodeName(chosen.first()).toStdString();
    return save && !QFile::exists(chosen.first()) ? VAL_NEW_FILE_SELECTED
                                                  : VAL_EXISTING_FILE_SELECTED;
}

void dwl_qt_MessageBox(QWidget* parent, const char* title, const char* text) {
    QMessageBox box(QMessageBox::Information, QString::fromLocal8Bit(title != nullptr ? title : ""),
                    QString::fromLocal8Bit(text != nullptr ? text : ""), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("dwlMessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
