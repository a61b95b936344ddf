// The station's process: started in a process group of its own, its output read line by line
// as it comes (the window never waits for it), interrupted as Ctrl-C on a terminal would.
#pragma once

#include <QObject>
#include <QProcess>

#include <string>
#include <vector>

class StationChild : public QObject {
    Q_OBJECT

  public:
    explicit StationChild(QObject* parent = nullptr);
    ~StationChild() override;

    // False (and the reason in problem()) when it cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& args);
    bool running() const;
    // Writes to its standard input (never waits); false when it does not run.
    bool write(const std::string& line);
    // SIGINT to the station's process group, as Ctrl-C on its terminal.
    void interrupt();
    // Cancels and waits at most msecs for it to end; kills it past that.
    void end(int msecs);
    QString problem() const { return problem_; }

  signals:
    void outputLine(const std::string& line);
    void errorLine(const std::string& line);
    // The process is gone: how it ended, in words.
    void ended(const QString& how);

  private:
    void readLines(QProcess::ProcessChannel channel);

    QProcess process_;
    QString problem_;
    qint64 group_ = 0;
    bool endReported_ = true;
};
