#include "app/gui/qt/report_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

bool dwlgui_BrowserAvailable() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
#endif
}

QString dwlgui_ReportPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder + QStringLiteral("/report.html");
}

void dwlgui_OpenReport(const std::string& program, const std::string& results, QWidget* parent) {
    const QString path = dwlgui_ReportPath();
    QPointer<QWidget> owner(parent);
    const auto failed = [owner](const QString& why) {
        QMessageBox::warning(owner, QObject::tr("Open report"),
                             QObject::tr("The report could not be made.\n%1").arg(why.trimmed()));
    };
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        failed(QObject::tr("Cannot make the folder %1").arg(QFileInfo(path).absolutePath()));
        return;
    }
    auto* process = new QProcess(parent);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(process, &QProcess::finished, process,
                     [process, path, failed](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status != QProcess::NormalExit || code != 0) {
                             failed(QString::fromLocal8Bit(process->readAllStandardError()));
                             return;
                         }
                         if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
                             failed(QObject::tr("No browser opened %1").arg(path));
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         process->deleteLater();
                         failed(process->errorString());
                     });
    process->start(QString::fromStdString(program),
                   {QStringLiteral("results"), QStringLiteral("--db"),
                    QString::fromStdString(results), QStringLiteral("--html"), path});
}
