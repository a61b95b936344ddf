#include "app/cli/port_fanout.h"

#include "app/cli/port_processes.h"
#include "app/run/exit_status.h"
#include "app/run/json_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace dwlcli {

namespace {

struct Child {
    std::string name;
    std::string outPartial, errPartial;
    std::string json;
    std::string lastResult;
    int status = kExitInternal;
};

// Passes complete lines on; keeps the rest for later.
void passLines(Child& c, std::string& partial, const char* data, size_t n, FILE* to,
               bool collectJson) {
    if (collectJson) {
        c.json.append(data, n);
        return;
    }
    partial.append(data, n);
    size_t start = 0;
    for (;;) {
        const size_t nl = partial.find('\n', start);
        if (nl == std::string::npos) break;
        std::string line = partial.substr(start, nl - start);
        // A process whose output is text of a system that ends lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("result: ", 0) == 0) c.lastResult = line.substr(8);
        fprintf(to, "[%s] %s\n", c.name.c_str(), line.c_str());
        start = nl + 1;
    }
    partial.erase(0, start);
    fflush(to);
}

} // namespace

std::string perPortLogFile(const std::string& logFile, const std::string& portName) {
    std::string name = portName;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    for (char& c : name)
        if (c == ' ' || c == ':') c = '_';
    // The port goes before the file's extension, so that the file still opens as what it is:
    // bench.log -> bench-COM7.log, trace -> trace-ttyUSB0.
    const size_t folder = logFile.find_last_of("/\\");
    const size_t dot = logFile.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot > 0 && (folder == std::string::npos || dot > folder + 1);
    if (!hasExtension) return logFile + "-" + name;
    return logFile.substr(0, dot) + "-" + name + logFile.substr(dot);
}

int fanOut(const std::vector<std::string>& names, bool json,
           const std::function<int(size_t)>& child) {
    std::vector<Child> children(names.size());
    for (size_t i = 0; i < names.size(); i++)
        children[i].name = names[i];
    int status = 0;
    if (runAsPortProcess(names, child, &status)) return status;
    const std::vector<int> statuses =
        runPortProcesses(names, child, [&](size_t i, bool isOut, const char* data, size_t n) {
            Child& c = children[i];
            if (isOut)
                passLines(c, c.outPartial, data, n, stdout, json);
            else
                passLines(c, c.errPartial, data, n, stderr, false);
        });
    for (size_t i = 0; i < children.size(); i++)
        children[i].status = statuses[i];

    int overall = 0;
    for (const Child& c : children)
        if (c.status != 0 && overall == 0) overall = c.status;
    if (json) {
        nlohmann::ordered_json all;
        all["exit_status"] = overall;
        all["ports"] = nlohmann::ordered_json::array();
        for (Child& c : children) {
            // A child that died before its summary gives null.
            nlohmann::ordered_json object = nlohmann::ordered_json::parse(c.json, nullptr, false);
            all["ports"].push_back(object.is_discarded() ? nullptr : object);
        }
        const bool printed = printf("%s\n", jsonText(all).c_str()) > 0;
        if (fflush(stdout) != 0 || !printed) {
            fprintf(stderr, "dwl: the JSON summary could not be written: %s\n", strerror(errno));
            if (overall == kExitSuccess) overall = kExitRecordLost;
        }
    } else {
        for (const Child& c : children) {
            if (c.status == 0)
                printf("%s: success: %s\n", c.name.c_str(), c.lastResult.c_str());
            else
                printf("%s: FAILED (exit %d): %s\n", c.name.c_str(), c.status,
                       c.lastResult.empty() ? "no result" : c.lastResult.c_str());
        }
    }
    fflush(stdout);
    return overall;
}

} // namespace dwlcli
