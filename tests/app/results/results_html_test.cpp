// The HTML page of dwl results: what the database gives it is shown as text and never read as
// markup; it fetches nothing; and a browser (headless Chromium, off the network) draws its
// charts. Its figures are checked against the text report's on the known database
// (UnitRecords.KnownDatabaseGivesItsRunAndUnitNumbersAndHistories).
#include "app/results/report_figures.h"
#include "app/results/results_html.h"
#include "link/child_process.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

using dwlcli::ReportFigures;
using dwlcli::RunFilter;
using dwlcli::StoredRun;

namespace {

StoredRun run(const std::string& station, const std::string& port, const std::string& start,
              double seconds, int family, const std::string& message) {
    StoredRun r;
    r.station = station;
    r.port = port;
    r.startedAt = start;
    r.endedAt = start; // the report takes the last end; close enough here
    r.durationSeconds = seconds;
    r.family = family;
    r.hasCode = family > 0;
    r.code = family > 0 ? 4 : 0;
    r.passed = family == 0;
    r.cancelled = family == -2;
    r.resultText = message;
    return r;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Six hours of two stations: passes, four causes of failure, a cancelled run now and then.
std::vector<StoredRun> sixHours() {
    std::vector<StoredRun> runs;
    const char* causes[] = {"The mobile does not answer",
                            "The mobile does not answer",
                            "The mobile does not answer",
                            "Problem while writing the flash",
                            "Problem while writing the flash",
                            "Wrong flash identifier",
                            "Verify error"};
    for (int i = 0; i < 240; i++) {
        char start[40];
        snprintf(start, sizeof start, "2026-03-02T%02d:%02d:%02d.000Z", 8 + i / 40,
                 (i % 40) * 3 / 2, (i * 7) % 60);
        const std::string station = i % 2 ? "line-1" : "line-2";
        const std::string port = "/dev/ttyUSB" + std::to_string(i % 4);
        const double seconds = 40 + (i * 37) % 30 + (i % 11 == 0 ? 25 : 0);
        if (i % 29 == 0)
            runs.push_back(run(station, port, start, seconds, -2, "Download cancelled"));
        else if (i % (5 + i / 40) == 0)
            runs.push_back(run(station, port, start, seconds, 6, causes[(i / 3) % 7]));
        else
            runs.push_back(run(station, port, start, seconds, 0, "Download successful"));
    }
    return runs;
}

// A program on the PATH, or "".
std::string onPath(const std::string& name) {
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        size_t end = dirs.find(':', from);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(from, end - from) + "/" + name;
        if (end > from && access(candidate.c_str(), X_OK) == 0) return candidate;
        from = end + 1;
    }
    return "";
}

// Runs a program with its output in a file; its exit status, or -1 when it did not start or
// took longer than a minute.
int runProgram(const std::string& program, const std::vector<std::string>& args,
               const std::string& outFile) {
    ChildHandle child;
    ChildOptions options;
    options.in = kChildNull;
    options.ownGroup = true;
    options.parentDeathSignal = SIGKILL;
    FILE* out = fopen(outFile.c_str(), "wb");
    if (out == nullptr) return -1;
    options.out = fileno(out);
    options.err = fileno(out);
    const bool started = dwl_StartProgram(program, args, options, &child);
    fclose(out);
    if (!started) return -1;
    int status = 0;
    if (!dwl_WaitChild(&child, 60000, &status)) {
        kill(-child.pid, SIGKILL);
        dwl_WaitChild(&child, -1, &status);
        return -1;
    }
    return dwl_ChildExitStatus(status, -1);
}

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// A station, a port and a failure message that are markup, control characters and quotes;
// the filter and the database's name too: each shows as its text, none becomes an element or
// an attribute. And the page names nothing to fetch.
TEST(ResultsHtml, ShowsHostileNamesAsTextAndFetchesNothing) {
    const std::string station = "<script>alert(1)</script>\"'&\n";
    const std::string port = "\"><img src=x onerror=alert(2)>";
    const std::string message = "</td></tr><svg onload=alert(3)>";
    std::vector<StoredRun> runs = {
        run(station, port, "2026-03-02T08:00:00.000Z", 20, 0, "Download successful"),
        run(station, port, "2026-03-02T08:01:00.000Z", 30, 6, message),
    };
    RunFilter filter;
    filter.station = station;
    filter.port = "<b>";
    const std::string page =
        dwlcli::resultsHtml("<i>results.sqlite", filter, dwlcli::reportFigures(runs));
    EXPECT_EQ(dwlcli::htmlText(station),
              "&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;\\n");
    EXPECT_NE(page.find("<td>&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;\\n</td>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("&quot;&gt;&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;/td&gt;&lt;/tr&gt;&lt;svg onload=alert(3)&gt; (family 6, code 4)"),
              std::string::npos);
    EXPECT_NE(page.find("on port &lt;b&gt;"), std::string::npos);
    EXPECT_NE(page.find("Results of &lt;i&gt;results.sqlite"), std::string::npos);
    // Every element of the page is one the page itself makes.
    const std::set<std::string> ours = {
        "!DOCTYPE", "html", "head", "meta", "title", "style",  "body",  "h1", "h2",
        "p",        "dl",   "div",  "dt",   "dd",    "small",  "table", "tr", "th",
        "td",       "svg",  "line", "text", "path",  "circle", "rect"};
    for (size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        size_t end = at + 1;
        if (end < page.size() && (page[end] == '/' || page[end] == '!')) end++;
        const size_t nameAt = page[at + 1] == '/' ? at + 2 : at + 1;
        while (end < page.size() && std::isalnum(static_cast<unsigned char>(page[end])))
            end++;
        const std::string name = page.substr(nameAt, end - nameAt);
        if (!name.empty()) {
            EXPECT_EQ(ours.count(name), 1u) << name;
        }
    }
    for (const char* fetch : {"src=\"", "href", "url(", "@import", "https:", "<script", "<link"})
        EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;
}

// However many ports and causes the database holds, the page lists the busiest and sums the
// rest in one line, so that it stays small.
TEST(ResultsHtml, ManyPortsAndCausesStayBounded) {
    std::vector<StoredRun> runs;
    for (int i = 0; i < 300; i++) {
        const std::string port = "P" + std::to_string(1000 + i);
        // Port P1000 to P1099 have two runs each, the others one; causes C0 to C99.
        for (int k = 0; k < (i < 100 ? 2 : 1); k++)
            runs.push_back(run("line-1", port, "2026-03-02T08:00:00.000Z", 10, k == 0 ? 0 : 6,
                               "C" + std::to_string(i)));
    }
    const ReportFigures figures = dwlcli::reportFigures(runs);
    ASSERT_EQ(figures.stations[0].ports.size(), 300u);
    ASSERT_EQ(figures.causes.size(), 100u);
    const std::string page = dwlcli::resultsHtml("many.sqlite", {}, figures);
    EXPECT_EQ(count(page, "<tr class=\"port\">"), 101u);
    EXPECT_NE(page.find("<td>P1099</td><td>2</td>"), std::string::npos);
    EXPECT_EQ(page.find("<td>P1100</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>200 other ports</td><td>200</td><td>200</td><td>0</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<td>60 other causes</td><td>60</td><td>100.0 %</td>"), std::string::npos);
    EXPECT_EQ(count(page, "<rect class=\"bar\""), 11u) << "ten causes and the others";
}

// Headless Chromium draws the page to a PNG, in a network namespace of its own with nothing but
// a loopback that is down, so that it reaches nowhere: the three charts are in the page, and
// each is drawn in its colour on the image.
TEST(ResultsHtml, ChromiumDrawsTheCharts) {
    const std::vector<StoredRun> runs = sixHours();
    const ReportFigures figures = dwlcli::reportFigures(runs);
    ASSERT_EQ(figures.hours.size(), 6u);
    ASSERT_EQ(figures.causes.size(), 4u);
    const std::string page = dwlcli::resultsHtml("line.sqlite", {}, figures);
    EXPECT_EQ(count(page, "<svg "), 3u);
    EXPECT_EQ(count(page, "<circle cx=") - count(page, "class=\"cumulative-dot\""), 6u)
        << "a point per hour";
    EXPECT_EQ(count(page, "<path class=\"yield\" d=\"M"), 1u);
    EXPECT_EQ(count(page, "<rect class=\"bar\""), 4u);
    EXPECT_EQ(count(page, "<path class=\"cumulative\""), 1u);
    EXPECT_GE(count(page, "<rect class=\"bin\""), 5u);

    const std::string chromium = onPath("chromium"), unshare = onPath("unshare"),
                      convert = onPath("convert"), identify = onPath("identify");
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
    if (convert.empty() || identify.empty())
        GTEST_SKIP() << "ImageMagick's convert is not installed (imagemagick)";
    testsupport::TempDir dir;
    if (unshare.empty() || runProgram(unshare, {"-rn", "true"}, dir.file("unshare.txt")) != 0)
        GTEST_SKIP() << "no network namespace of our own (unshare -rn) to keep chromium off the "
                        "network";
    const std::string html = dir.file("report.html"), png = dir.file("report.png");
    {
        std::ofstream out(html, std::ios::binary);
        out << page;
    }
    const int status = runProgram(
        unshare,
        {"-rn", chromium, "--headless", "--disable-gpu", "--no-sandbox",
         "--user-data-dir=" + dir.file("profile"), "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--disable-default-apps",
         "--disable-extensions", "--no-first-run", "--no-default-browser-check",
         "--disable-domain-reliability", "--host-resolver-rules=MAP * ~NOTFOUND",
         "--hide-scrollbars", "--screenshot=" + png, "--window-size=1280,2000", "file://" + html},
        dir.file("chromium.txt"));
    ASSERT_EQ(status, 0) << slurp(dir.file("chromium.txt"));
    struct stat st {};
    ASSERT_EQ(stat(png.c_str(), &st), 0) << slurp(dir.file("chromium.txt"));
    ASSERT_EQ(runProgram(identify, {"-format", "%k %w %h", png}, dir.file("image.txt")), 0);
    int distinct = 0, width = 0, height = 0;
    const std::string image = slurp(dir.file("image.txt"));
    ASSERT_EQ(sscanf(image.c_str(), "%d %d %d", &distinct, &width, &height), 3) << image;
    EXPECT_EQ(width, 1280);
    EXPECT_GE(distinct, 50) << "a blank page has one colour";
    ASSERT_EQ(
        runProgram(convert, {png, "-format", "%c", "histogram:info:-"}, dir.file("colours.txt")),
        0);
    const std::string colours = slurp(dir.file("colours.txt"));
    // The line, the Pareto bars and their cumulative line, the histogram.
    for (const char* colour : {"#1565C0", "#EF6C00", "#37474F", "#5E35B1"})
        EXPECT_NE(colours.find(colour), std::string::npos) << colour;
}
