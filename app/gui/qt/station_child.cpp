#include "app/gui/qt/station_child.h"

#include <signal.h>
#include <unistd.h>

StationChild::StationChild(QObject* parent) : QObject(parent) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    // Its own process group: a signal for it reaches the ports' processes as a terminal's
    // Ctrl-C would, and none meant for the window reaches it.
    process_.setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(&process_, &QProcess::readyReadStandardOutput, this,
            [this] { readLines(QProcess::StandardOutput); });
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { readLines(QProcess::StandardError); });
    connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        readLines(QProcess::StandardOutput);
        readLines(QProcess::StandardError);
        group_ = 0;
        if (endReported_) return;
        endReported_ = true;
        emit ended(status == QProcess::CrashExit
                       ? tr("the station ended abnormally (%1)").arg(process_.errorString())
                       : tr("the station ended with exit status %1").arg(code));
    });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || endReported_) return;
        endReported_ = true;
        problem_ = process_.errorString();
        emit ended(tr("the station could not start: %1").arg(problem_));
    });
}

StationChild::~StationChild() {
    end(10000);
}

bool StationChild::start(const std::string& program, const std::vector<std::string>& args) {
    if (running()) return false;
    QStringList list;
    for (const std::string& arg : args)
        list << QString::fromStdString(arg);
    problem_.clear();
    endReported_ = false;
    // Its standard input takes the units' scans (--units-from-stdin).
    process_.start(QString::fromStdString(program), list, QIODevice::ReadWrite);
    if (!process_.waitForStarted(-1)) {
        // errorOccurred has told already.
        if (problem_.isEmpty()) problem_ = process_.errorString();
        return false;
    }
    group_ = process_.processId();
    return true;
}

bool StationChild::write(const std::string& line) {
    if (!running()) return false;
    return process_.write(line.data(), static_cast<qint64>(line.size())) ==
           static_cast<qint64>(line.size());
}

bool StationChild::running() const {
    return process_.state() != QProcess::NotRunning;
}

void StationChild::interrupt() {
    if (!running() || group_ <= 0) return;
    ::kill(-static_cast<pid_t>(group_), SIGINT);
}

void StationChild::end(int msecs) {
    // Two interrupts sent at once could reach the station as one.
    constexpr int kBetweenInterruptsMsecs = 300;
    if (!running()) return;
    interrupt();
    if (process_.waitForFinished(kBetweenInterruptsMsecs)) return;
    interrupt();
    if (!process_.waitForFinished(msecs)) {
        ::kill(-static_cast<pid_t>(group_), SIGKILL);
        process_.waitForFinished(-1);
    }
}

void StationChild::readLines(QProcess::ProcessChannel channel) {
    process_.setReadChannel(channel);
    while (process_.canReadLine()) {
        QByteArray line = process_.readLine();
        while (!line.isEmpty() && (line.endsWith('\n') || line.endsWith('\r')))
            line.chop(1);
        const std::string text = line.toStdString();
        if (channel == QProcess::StandardOutput)
            emit outputLine(text);
        else
            emit errorLine(text);
    }
    // What is left at the end without a line end is a line too.
    if (!running() && process_.bytesAvailable() > 0) {
        const std::string rest = process_.readAll().toStdString();
        if (channel == QProcess::StandardOutput)
            emit outputLine(rest);
        else
            emit errorLine(rest);
    }
}
