// The HTML report on a large results file: writes an SQLite results file of seeded runs (four
// stations of eight ports, two weeks, a few failure causes, some cancelled runs, the
// handsets that failed flashed again), then times
// `dwl results --html` on it, as an operator runs it, and gives the page's size. Also the text
// report, for comparison.
//   bench_results_html [runs] [folder]   (defaults 100000, a new folder under /tmp)
// Targets: at most 2 s and under 1 MB for 100,000 runs.
#include "app/results/results_db.h"
#include "app/results/run_record.h"
#include "bench/pty_programs.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <random>

namespace {

struct Cause {
    int family, code, exitStatus;
    const char* message;
    int weight;
};

const Cause kCauses[] = {
    {6, 4, 6, "The mobile does not answer", 40},
    {11, 172, 11, "Problem while writing the flash", 25},
    {8, 3, 8, "Wrong flash identifier", 12},
    {11, 170, 11, "Problem while erasing the flash", 9},
    {5, 2, 5, "The serial port cannot be opened", 6},
    {7, 1, 7, "Checksum error in the binary image", 4},
    {9, 12, 9, "TFS description does not match", 2},
    {11, 175, 11, "Verify error", 2},
};

bool fill(const std::string& file, int runs) {
    dwlcli::ResultsDb db;
    std::string why;
    if (!db.openForWriting(file, &why)) {
        fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    std::mt19937 rng(20261208);
    std::normal_distribution<double> seconds(62.0, 7.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::discrete_distribution<int> cause({40, 25, 12, 9, 6, 4, 2, 2});
    const double t0 = 1772438400; // 2026-03-02T08:00Z
    const double span = 14 * 86400.0;
    std::vector<std::vector<dwlcli::StoredValue>> rows;
    std::vector<std::string> units(32);
    std::vector<bool> lastPassed(32, true);
    for (int i = 0; i < runs; i++) {
        dwlcli::RunReport report;
        const int station = i % 4, port = (i / 4) % 8;
        report.port = "/dev/ttyUSB" + std::to_string(port);
        report.device = report.port;
        const double u = unit(rng);
        // The yield drops on the second station's nights, to give the hourly line a shape.
        const double start = t0 + span * i / runs;
        const bool night = static_cast<long>((start - t0) / 3600) % 24 >= 14;
        const double failShare = station == 1 && night ? 0.2 : 0.06;
        if (u < 0.01) {
            report.exitStatus = 130;
            report.result.family = -2;
            report.result.message = "Download cancelled by the operator";
        } else if (u < 0.01 + failShare) {
            const Cause& c = kCauses[cause(rng)];
            report.exitStatus = c.exitStatus;
            report.result.family = c.family;
            report.result.hasCode = true;
            report.result.code = c.code;
            report.result.message = c.message;
        } else {
            report.result.family = 0;
            report.result.hasCode = true;
            report.result.message = "Download successful";
        }
        const double took = std::max(5.0, seconds(rng));
        dwlcli::RunRecord record = dwlcli::makeRunRecord(report, start, start + took, took,
                                                         "line-" + std::to_string(station + 1));
        // A handset that failed or was cancelled on a port comes back on it for another try.
        const int slot = station * 8 + port;
        if (units[slot].empty() || lastPassed[slot])
            units[slot] = "SN" + std::to_string(1000000 + i);
        lastPassed[slot] = report.exitStatus == 0;
        record.unitId = units[slot];
        rows.push_back(dwlcli::runColumnValues(record));
        if (rows.size() == 5000 || i + 1 == runs) {
            if (!db.insertAll(rows, &why)) {
                fprintf(stderr, "%s\n", why.c_str());
                return false;
            }
            rows.clear();
        }
    }
    return true;
}

// Runs dwl with args; the wall time in seconds, or -1 when it failed.
double timed(const std::string& dwl, const std::vector<std::string>& args) {
    const auto begin = std::chrono::steady_clock::now();
    ChildHandle child;
    ChildOptions options;
    options.out = kChildNull;
    if (!dwl_StartProgram(dwl, args, options, &child)) return -1;
    int status = 0;
    if (!dwl_WaitChild(&child, -1, &status) || dwl_ChildExitStatus(status, 1) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 100000;
    std::string folder = argc > 2 ? argv[2] : "";
    if (folder.empty()) {
        char name[] = "/tmp/dwl-bench-html-XXXXXX";
        if (mkdtemp(name) == nullptr) return 1;
        folder = name;
    }
    mkdir(folder.c_str(), 0755); // a folder named that is not there yet
    const std::string dwl = ptybench::FindProgram(argv[0], "dwl");
    if (dwl.empty()) {
        fprintf(stderr, "bench_results_html: dwl is not built\n");
        return 1;
    }
    const std::string file = folder + "/results.sqlite", page = folder + "/report.html";
    remove(file.c_str());
    if (!fill(file, runs)) return 1;
    printf("%d runs in %s\n", runs, file.c_str());
    double best = 1e9;
    for (int i = 0; i < 3; i++)
        best = std::min(best, timed(dwl, {"results", "--db", file, "--html", page}));
    const double text = timed(dwl, {"results", "--db", file});
    struct stat st {};
    stat(page.c_str(), &st);
    printf("dwl results --html: %.3f s (best of 3), %lld bytes (%s)\n", best,
           static_cast<long long>(st.st_size), page.c_str());
    printf("dwl results (text): %.3f s\n", text);
    const bool met = best >= 0 && best <= 2.0 && st.st_size < 1000000;
    printf("targets (at most 2 s, under 1 MB): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
