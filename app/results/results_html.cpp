#include "app/results/results_html.h"

#include "app/results/utc_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dwlcli {

std::string htmlText(const std::string& text) {
    std::string out;
    for (char c : oneLine(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

std::string format(const char* f, double v) {
    char t[64];
    snprintf(t, sizeof t, f, v);
    return t;
}

// The same figures as the text report shows them.
std::string yieldText(const RunTally& t) {
    const double y = t.yieldPercent();
    return y >= 0 ? format("%.1f %%", y) : "-";
}

std::string seconds(double s) {
    return s >= 0 ? format("%.1f s", s) : "-";
}

// A coordinate in the charts.
std::string at(double v) {
    return format("%.1f", v);
}

// The chart area: the plot inside margins for the axes' labels.
constexpr double kWidth = 880, kHeight = 260;
constexpr double kLeft = 56, kRight = 56, kTop = 16, kBottom = 40;
constexpr double kPlotWidth = kWidth - kLeft - kRight, kPlotHeight = kHeight - kTop - kBottom;

std::string svgOpen(const std::string& label) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" viewBox=\"0 0 " + at(kWidth) +
           " " + at(kHeight) + "\" width=\"" + at(kWidth) + "\" height=\"" + at(kHeight) +
           "\" role=\"img\" aria-label=\"" + htmlText(label) + "\">\n";
}

std::string text(double x, double y, const std::string& anchor, const std::string& content,
                 const std::string& cls = "") {
    return "<text x=\"" + at(x) + "\" y=\"" + at(y) + "\" text-anchor=\"" + anchor + "\"" +
           (cls.empty() ? "" : " class=\"" + cls + "\"") + ">" + content + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& cls) {
    return "<line x1=\"" + at(x1) + "\" y1=\"" + at(y1) + "\" x2=\"" + at(x2) + "\" y2=\"" +
           at(y2) + "\" class=\"" + cls + "\"/>\n";
}

// A percentage axis (0 to 100 %) on the left or the right, with its grid.
std::string percentAxis(bool right) {
    std::string out;
    for (int p = 0; p <= 100; p += 25) {
        const double y = kTop + kPlotHeight * (1 - p / 100.0);
        if (!right) out += line(kLeft, y, kLeft + kPlotWidth, y, "grid");
        out += right ? text(kLeft + kPlotWidth + 6, y + 4, "start", std::to_string(p) + " %")
                     : text(kLeft - 6, y + 4, "end", std::to_string(p) + " %");
    }
    return out;
}

// 1, 2 or 5 times a power of ten, at least v.
double niceStep(double v) {
    if (!(v > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    const double f = v / power;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
}

// A count axis from 0 to top on the left, with its grid; returns the axis's top (a round number).
double countAxis(int most, std::string* out) {
    const double step = niceStep(std::max(1, most) / 4.0);
    const double top = std::max(step, std::ceil(most / step) * step);
    for (double v = 0; v <= top + step / 2; v += step) {
        const double y = kTop + kPlotHeight * (1 - v / top);
        *out += line(kLeft, y, kLeft + kPlotWidth, y, "grid");
        *out += text(kLeft - 6, y + 4, "end", format("%.0f", v));
    }
    return top;
}

// Yield per hour of start, one point per hour with runs that were not cancelled; over a span
// of more than two months one point per day. The line breaks across a period without such runs.
std::string yieldChart(const ReportFigures& f) {
    struct Bin {
        std::string key;
        double start = 0;
        RunTally tally;
    };
    std::vector<Bin> bins;
    double hourFirst = 0, hourLast = 0;
    if (f.hours.empty() || !parseTimeOrAge(f.hours.front().hour + ":00Z", 0, &hourFirst) ||
        !parseTimeOrAge(f.hours.back().hour + ":00Z", 0, &hourLast))
        return "<p class=\"none\">No runs.</p>\n";
    const bool daily = hourLast - hourFirst > 62 * 86400.0;
    const double step = daily ? 86400.0 : 3600.0;
    for (const HourFigures& h : f.hours) {
        const std::string key = daily ? h.hour.substr(0, 10) : h.hour;
        if (bins.empty() || bins.back().key != key) {
            Bin b;
            b.key = key;
            if (!parseTimeOrAge(daily ? key + "T00:00Z" : key + ":00Z", 0, &b.start)) continue;
            bins.push_back(b);
        }
        bins.back().tally.add(h.tally);
    }
    if (bins.empty()) return "<p class=\"none\">No runs.</p>\n";
    const double t0 = bins.front().start, span = bins.back().start - t0 + step;
    const auto xOf = [&](double t) { return kLeft + kPlotWidth * (t - t0 + step / 2) / span; };
    const auto yOf = [&](double percent) { return kTop + kPlotHeight * (1 - percent / 100.0); };
    const auto label = [&](const Bin& b) {
        return daily ? b.key : b.key.substr(0, 10) + " " + b.key.substr(11, 2) + ":00";
    };

    std::string out = svgOpen(daily ? "Yield per day" : "Yield per hour") + percentAxis(false);
    std::string path, dots;
    double previous = -1e300;
    const bool showDots = bins.size() <= 400;
    for (const Bin& b : bins) {
        const double y = b.tally.yieldPercent();
        if (y < 0) {
            previous = -1e300;
            continue;
        }
        const double x = xOf(b.start), py = yOf(y);
        path += (b.start - previous > step * 1.5 ? "M" : "L") + at(x) + " " + at(py) + " ";
        previous = b.start;
        if (showDots)
            dots += "<circle cx=\"" + at(x) + "\" cy=\"" + at(py) +
                    "\" r=\"3\" class=\"dot\"><title>" + htmlText(label(b)) +
                    " UTC: " + yieldText(b.tally) + " of " + std::to_string(b.tally.counted()) +
                    " runs</title></circle>\n";
    }
    if (!path.empty()) out += "<path class=\"yield\" d=\"" + path + "\"/>\n";
    out += dots;
    // Up to six times along the axis.
    const size_t labels = std::min<size_t>(6, bins.size());
    for (size_t i = 0; i < labels; i++) {
        const size_t index = labels == 1 ? 0 : i * (bins.size() - 1) / (labels - 1);
        const double x = xOf(bins[index].start);
        out += line(x, kTop + kPlotHeight, x, kTop + kPlotHeight + 4, "axis");
        out += text(x, kTop + kPlotHeight + 18, "middle", htmlText(label(bins[index])));
    }
    out += text(kLeft + kPlotWidth / 2, kHeight - 4, "middle",
                daily ? "day of start (UTC)" : "hour of start (UTC)", "title");
    return out + "</svg>\n";
}

// The failure causes as a Pareto chart: a bar per cause, the most frequent first (the rarest
// summed in one bar), and the share of the failures they make up together as a line.
std::string paretoChart(const ReportFigures& f) {
    if (f.causes.empty()) return "<p class=\"none\">No failures.</p>\n";
    constexpr size_t kBars = 10;
    std::vector<std::pair<std::string, int>> bars;
    int failures = 0;
    for (size_t i = 0; i < f.causes.size(); i++) {
        failures += f.causes[i].count;
        if (i < kBars)
            bars.push_back({std::to_string(i + 1), f.causes[i].count});
        else if (i == kBars)
            bars.push_back({"other", f.causes[i].count});
        else
            bars.back().second += f.causes[i].count;
    }
    int most = 0;
    for (const auto& b : bars)
        most = std::max(most, b.second);
    std::string out = svgOpen("Failure causes");
    const double top = countAxis(most, &out);
    out += percentAxis(true);
    const double slot = kPlotWidth / static_cast<double>(bars.size());
    std::string cumulative, dots;
    int sum = 0;
    for (size_t i = 0; i < bars.size(); i++) {
        const auto& [name, count] = bars[i];
        const std::string what = i < kBars ? htmlText(f.causes[i].text) : "other causes";
        const double x = kLeft + slot * i, h = kPlotHeight * count / top;
        out += "<rect class=\"bar\" x=\"" + at(x + slot * 0.15) + "\" y=\"" +
               at(kTop + kPlotHeight - h) + "\" width=\"" + at(slot * 0.7) + "\" height=\"" +
               at(h) + "\"><title>" + what + ": " + std::to_string(count) + "</title></rect>\n";
        out += text(x + slot / 2, kTop + kPlotHeight + 16, "middle", name);
        sum += count;
        const double cx = x + slot / 2, cy = kTop + kPlotHeight * (1 - sum / double(failures));
        cumulative += (i == 0 ? "M" : "L") + at(cx) + " " + at(cy) + " ";
        dots += "<circle cx=\"" + at(cx) + "\" cy=\"" + at(cy) +
                "\" r=\"3\" class=\"cumulative-dot\"><title>" +
                format("%.1f %%", sum * 100.0 / failures) + " of the failures</title></circle>\n";
    }
    out += "<path class=\"cumulative\" d=\"" + cumulative + "\"/>\n" + dots;
    out += text(kLeft + kPlotWidth / 2, kHeight - 4, "middle",
                "cause (the table below names them); line: cumulative share", "title");
    return out + "</svg>\n";
}

std::string causeTable(const ReportFigures& f) {
    if (f.causes.empty()) return "";
    int failures = 0;
    for (const CauseFigures& c : f.causes)
        failures += c.count;
    std::string out = "<table class=\"causes\">\n<tr><th>#</th><th>cause</th><th>runs</th>"
                      "<th>cumulative</th></tr>\n";
    int sum = 0, rest = 0;
    for (size_t i = 0; i < f.causes.size(); i++) {
        const CauseFigures& c = f.causes[i];
        sum += c.count;
        if (i >= static_cast<size_t>(kHtmlCauses)) {
            rest += c.count;
            continue;
        }
        out += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + htmlText(c.text) + "</td><td>" +
               std::to_string(c.count) + "</td><td>" + format("%.1f %%", sum * 100.0 / failures) +
               "</td></tr>\n";
    }
    if (rest > 0)
        out += "<tr><td></td><td>" + std::to_string(f.causes.size() - kHtmlCauses) +
               " other causes</td><td>" + std::to_string(rest) + "</td><td>100.0 %</td></tr>\n";
    return out + "</table>\n";
}

// The run times of the runs not cancelled, in about twenty bins of a round width, with the
// median and the 95th percentile marked.
std::string durationChart(const ReportFigures& f) {
    if (f.durations.empty()) return "<p class=\"none\">No runs.</p>\n";
    const auto [lowest, highest] = std::minmax_element(f.durations.begin(), f.durations.end());
    const double width = niceStep((*highest - *lowest) / 20.0);
    const double from = std::floor(*lowest / width) * width;
    const int count = static_cast<int>(std::floor((*highest - from) / width)) + 1;
    std::vector<int> bins(count, 0);
    for (double d : f.durations)
        bins[std::min(count - 1, static_cast<int>(std::floor((d - from) / width)))]++;
    const double to = from + width * count;
    const auto xOf = [&](double s) { return kLeft + kPlotWidth * (s - from) / (to - from); };

    std::string out = svgOpen("Run times");
    const double top = countAxis(*std::max_element(bins.begin(), bins.end()), &out);
    for (int i = 0; i < count; i++) {
        const double lo = from + width * i, h = kPlotHeight * bins[i] / top;
        out += "<rect class=\"bin\" x=\"" + at(xOf(lo)) + "\" y=\"" + at(kTop + kPlotHeight - h) +
               "\" width=\"" + at(xOf(lo + width) - xOf(lo)) + "\" height=\"" + at(h) +
               "\"><title>" + format("%g", lo) + " to " + format("%g s", lo + width) + ": " +
               std::to_string(bins[i]) + " runs</title></rect>\n";
    }
    const int every = std::max(1, (count + 9) / 10);
    for (int i = 0; i <= count; i += every) {
        const double x = xOf(from + width * i);
        out += line(x, kTop + kPlotHeight, x, kTop + kPlotHeight + 4, "axis");
        out += text(x, kTop + kPlotHeight + 18, "middle", format("%g", from + width * i));
    }
    for (const auto& [value, name] : {std::pair<double, const char*>{f.medianSeconds, "median"},
                                      {f.p95Seconds, "95th percentile"}}) {
        const double x = xOf(value);
        out += line(x, kTop, x, kTop + kPlotHeight, "mark");
        out += text(x + 4, kTop + 12 + (name[0] == '9' ? 14 : 0), "start",
                    std::string(name) + " " + seconds(value), "mark-label");
    }
    out += text(kLeft + kPlotWidth / 2, kHeight - 4, "middle", "run time (s)", "title");
    return out + "</svg>\n";
}

std::string tallyCells(const RunTally& t) {
    return "<td>" + std::to_string(t.runs()) + "</td><td>" + std::to_string(t.pass) + "</td><td>" +
           std::to_string(t.fail) + "</td><td>" + std::to_string(t.cancelled) + "</td><td>" +
           yieldText(t) + "</td>";
}

std::string stationTable(const ReportFigures& f) {
    std::string out = "<table class=\"stations\">\n<tr><th>station / port</th><th>runs</th>"
                      "<th>pass</th><th>fail</th><th>cancelled</th><th>yield</th></tr>\n";
    for (const StationFigures& s : f.stations) {
        out += "<tr class=\"station\"><td>" + htmlText(s.station) + "</td>" + tallyCells(s.tally) +
               "</tr>\n";
        // The ports with the most runs, shown in the order of their names.
        std::vector<const PortFigures*> shown;
        for (const PortFigures& p : s.ports)
            shown.push_back(&p);
        RunTally rest;
        if (shown.size() > static_cast<size_t>(kHtmlPortsPerStation)) {
            std::stable_sort(shown.begin(), shown.end(), [](const auto* a, const auto* b) {
                return a->tally.runs() > b->tally.runs();
            });
            for (size_t i = kHtmlPortsPerStation; i < shown.size(); i++)
                rest.add(shown[i]->tally);
            shown.resize(kHtmlPortsPerStation);
            std::sort(shown.begin(), shown.end(),
                      [](const auto* a, const auto* b) { return a->port < b->port; });
        }
        for (const PortFigures* p : shown)
            out += "<tr class=\"port\"><td>" + htmlText(p->port) + "</td>" + tallyCells(p->tally) +
                   "</tr>\n";
        if (rest.runs() > 0)
            out += "<tr class=\"port\"><td>" + std::to_string(s.ports.size() - shown.size()) +
                   " other ports</td>" + tallyCells(rest) + "</tr>\n";
    }
    out += "<tr class=\"total\"><td>total</td>" + tallyCells(f.total) + "</tr>\n";
    return out + "</table>\n";
}

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #212121; max-width: 920px; }
h1 { font-size: 22px; margin-bottom: 4px; }
h2 { font-size: 17px; margin-top: 28px; border-bottom: 1px solid #ccc; }
p.source { color: #555; margin-top: 0; }
p.none { color: #777; font-style: italic; }
dl.figures { display: flex; flex-wrap: wrap; gap: 10px; margin: 12px 0; }
dl.figures div { border: 1px solid #ccc; border-radius: 4px; padding: 6px 12px; min-width: 96px; }
dl.figures dt { font-size: 12px; color: #555; }
dl.figures dd { margin: 0; font-size: 20px; font-weight: bold; }
dl.figures small { font-size: 13px; font-weight: normal; color: #555; }
table { border-collapse: collapse; margin-top: 8px; }
th, td { border-bottom: 1px solid #ddd; padding: 3px 10px; text-align: right; }
th:first-child, td:first-child, table.causes :is(th, td):nth-child(2) { text-align: left; }
tr.station td { font-weight: bold; background: #f3f3f3; }
tr.port td:first-child { padding-left: 24px; }
tr.total td { font-weight: bold; border-top: 2px solid #999; }
svg.chart { display: block; font-size: 11px; }
svg .grid { stroke: #e0e0e0; }
svg .axis { stroke: #666; }
svg .title { fill: #555; }
svg .yield { fill: none; stroke: #1565c0; stroke-width: 2; }
svg .dot { fill: #1565c0; }
svg .bar { fill: #ef6c00; }
svg .cumulative { fill: none; stroke: #37474f; stroke-width: 2; }
svg .cumulative-dot { fill: #37474f; }
svg .bin { fill: #5e35b1; stroke: #fff; stroke-width: 0.5; }
svg .mark { stroke: #c62828; stroke-dasharray: 4 3; }
svg .mark-label { fill: #c62828; }
)";

std::string figure(const std::string& name, const std::string& value) {
    return "<div><dt>" + name + "</dt><dd>" + value + "</dd></div>";
}

// The units (unit_counts.h): how many, their first-pass and final yield, those flashed again.
std::string unitFigures(const UnitCounts& u) {
    if (u.units == 0)
        return std::string("<p class=\"none\">No run ") +
               (u.runsWithoutUnit > 0 ? "named a unit" : "that was not cancelled") + ".</p>\n";
    const auto share = [&u](int count) {
        return format("%.1f %%", unitPercent(count, u)) + "<small> (" + std::to_string(count) +
               ")</small>";
    };
    return "<dl class=\"figures\">" + figure("units", std::to_string(u.units)) +
           figure("first-pass yield", share(u.firstPass)) +
           figure("final yield", share(u.finalPass)) +
           figure("flashed more than once", std::to_string(u.flashedAgain)) +
           figure("runs that named none", std::to_string(u.runsWithoutUnit)) + "</dl>\n";
}

} // namespace

std::string resultsHtml(const std::string& source, const RunFilter& filter,
                        const ReportFigures& f) {
    std::string out;
    out.reserve(64 * 1024);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>dwl results: " +
           htmlText(source) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    out += "<h1>Results of " + htmlText(source) + "</h1>\n<p class=\"source\">" +
           std::to_string(f.runs) + " runs";
    if (!filter.since.empty()) out += " started since " + htmlText(filter.since);
    if (!filter.station.empty()) out += " on station " + htmlText(filter.station);
    if (!filter.port.empty()) out += " on port " + htmlText(filter.port);
    if (f.runs > 0) out += ", " + htmlText(f.first) + " to " + htmlText(f.last);
    out += "</p>\n";

    out +=
        "<dl class=\"figures\">" + figure("runs", std::to_string(f.total.runs())) +
        figure("pass", std::to_string(f.total.pass)) +
        figure("fail", std::to_string(f.total.fail)) +
        figure("cancelled", std::to_string(f.total.cancelled)) +
        figure("yield", yieldText(f.total)) + figure("median run time", seconds(f.medianSeconds)) +
        figure("95th percentile", seconds(f.p95Seconds)) +
        figure("handsets per hour", f.perHour >= 0 ? format("%.1f", f.perHour) : "-") + "</dl>\n";

    out += "<h2>Units (cancelled runs left out)</h2>\n" + unitFigures(f.units);
    out += "<h2>Yield per hour</h2>\n" + yieldChart(f);
    out += "<h2>Failure causes</h2>\n" + paretoChart(f) + causeTable(f);
    out += "<h2>Run times (runs not cancelled)</h2>\n" + durationChart(f);
    out += "<h2>Stations and ports</h2>\n" + stationTable(f);
    out += "</body>\n</html>\n";
    return out;
}

} // namespace dwlcli
