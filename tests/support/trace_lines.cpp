#include "tests/support/trace_lines.h"

#include <fstream>
#include <sstream>

namespace testsupport {

std::vector<TraceEntry> readTrace(const std::string& path) {
    std::vector<TraceEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t bar = line.find(" |");
        if (bar == std::string::npos) continue;
        std::istringstream head(line.substr(0, bar));
        std::string time, baud, frame;
        TraceEntry e;
        head >> time >> e.what >> baud >> frame;
        e.settings = baud + " " + frame;
        std::getline(head >> std::ws, e.step);
        while (!e.step.empty() && e.step.back() == ' ')
            e.step.pop_back();
        e.data = line.size() > bar + 3 ? line.substr(bar + 3) : "";
        entries.push_back(e);
    }
    return entries;
}

std::vector<uint8_t> tracedBytes(const std::vector<TraceEntry>& trace, const std::string& what) {
    std::vector<uint8_t> bytes;
    for (const TraceEntry& e : trace) {
        if (e.what != what) continue;
        std::istringstream in(e.data.substr(0, e.data.find(" (")));
        std::string hex;
        while (in >> hex)
            bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    }
    return bytes;
}

} // namespace testsupport
