// The station window's own CPU while a station of 32 ports works: the window runs this program
// as its station (called as `station`, it prints the paced lines of paced_station.h: one
// progress line a second per port while a handset is written, the results, the totals) and
// draws them, as dwl-gui --station would. Printed: the window's CPU time (user + system, the
// station's process not included) over the wall time, after a few seconds of warming up;
// target: at most 5 % of one core for 32 ports.
//
// Usage: bench_station_window [--ports N] [--seconds S] [--size WxH]
//        bench_station_window station --json-lines --port P ...   (the stand-in station)
// The window shows on the platform Qt picks (offscreen when QT_QPA_PLATFORM says so).
#include "app/gui/qt/station_window.h"
#include "app/gui/qt/station_control.h"
#include "bench/qt/paced_station.h"

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int measure(int argc, char** argv) {
    int ports = 32;
    int seconds = 30;
    int width = 1920, height = 1080;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--ports") == 0) ports = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--size") == 0) std::sscanf(argv[i + 1], "%dx%d", &width, &height);
    }
    QApplication app(argc, argv);
    StationSettings settings;
    for (int i = 0; i < ports; i++)
        settings.ports.push_back("/dev/ttyUSB" + std::to_string(i));
    StationControl station(QCoreApplication::applicationFilePath().toStdString(), settings, false);
    station.window().resize(width, height);
    station.window().show();
    station.start();

    constexpr int kWarmUpMsecs = 5000;
    QElapsedTimer wall;
    double cpuStart = 0;
    double measured = 0, used = 0;
    QTimer::singleShot(kWarmUpMsecs, [&] {
        wall.start();
        cpuStart = cpuSeconds();
    });
    QTimer::singleShot(kWarmUpMsecs + seconds * 1000, [&] {
        measured = static_cast<double>(wall.elapsed()) / 1000.0;
        used = cpuSeconds() - cpuStart;
        QCoreApplication::exit(0); // not quit(): that would ask the window to close
    });
    app.exec();
    const StationModel& model = station.model();
    std::printf("station window, %d ports, %dx%d, %s: CPU %.2f s over %.1f s = %.2f %% of one "
                "core (target at most 5 %%); %ld passed, %ld failed so far\n",
                ports, width, height, qPrintable(QApplication::platformName()), used, measured,
                measured > 0 ? 100.0 * used / measured : 0.0, model.totals.pass, model.totals.fail);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "station") == 0) {
        std::vector<std::string> ports;
        for (int i = 2; i + 1 < argc; i++)
            if (std::strcmp(argv[i], "--port") == 0) ports.push_back(argv[++i]);
        return paced_station_Run(ports);
    }
    return measure(argc, argv);
}
