#include "app/results/results_columns.h"

#include "app/options/option_values.h"
#include "app/run/json_text.h"

#include <cstdio>
#include <cstdlib>

namespace dwlcli {

namespace {

StoredValue text(const std::string& t) {
    return {false, t};
}
StoredValue number(long long n) {
    return {false, std::to_string(n)};
}
StoredValue null() {
    return {};
}
StoredValue real(double d) {
    char t[40];
    snprintf(t, sizeof t, "%.17g", d);
    return {false, t};
}

const char* const a_ImageKinds[] = {"binary", "ogm", "tfs"};

const ImageReport* imageOf(const RunRecord& run, int kind) {
    for (const ImageReport& im : run.report.images)
        if (im.kind == a_ImageKinds[kind]) return &im;
    return nullptr;
}
// An image's path (Field 0), size (1) or byte sum (2); NULL when the run had no such image.
template <int Kind, int Field> StoredValue image(const RunRecord& r) {
    const ImageReport* im = imageOf(r, Kind);
    if (im == nullptr) return null();
    if (Field == 0) return text(im->path);
    return number(Field == 1 ? im->size : static_cast<long long>(im->byteSum));
}

// Reads an image's path (Field 0) or byte sum (2) back.
template <int Kind, int Field> void readImage(StoredRun* s, const std::string& t) {
    (Field == 0 ? s->imagePath : s->imageSum)[Kind] = t;
}

int integer(const std::string& t) {
    return atoi(t.c_str());
}

// Times as the file writes them (utc_time.h).
std::string serverTime(const char* column) {
    return std::string("to_char(") + column +
           " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
}

} // namespace

// clang-format off
const RunColumn a_RunColumns[] = {
    {"run_id", COLUMN_TEXT, "TEXT", "text", true,
     [](const RunRecord& r) { return text(r.runId); },
     [](StoredRun* s, const std::string& t) { s->runId = t; }},
    {"started_at", COLUMN_TIME, "TEXT", "timestamptz", true,
     [](const RunRecord& r) { return text(r.startedAt); },
     [](StoredRun* s, const std::string& t) { s->startedAt = t; }},
    {"ended_at", COLUMN_TIME, "TEXT", "timestamptz", true,
     [](const RunRecord& r) { return text(r.endedAt); },
     [](StoredRun* s, const std::string& t) { s->endedAt = t; }},
    {"station", COLUMN_TEXT, "TEXT", "text", true,
     [](const RunRecord& r) { return text(r.station); },
     [](StoredRun* s, const std::string& t) { s->station = t; }},
    {"port", COLUMN_TEXT, "TEXT", "text", true,
     [](const RunRecord& r) { return text(r.report.port); },
     [](StoredRun* s, const std::string& t) { s->port = t; }},
    {"device", COLUMN_TEXT, "TEXT", "text", true,
     [](const RunRecord& r) { return text(r.report.device); },
     [](StoredRun* s, const std::string& t) { s->device = t; }},
    {"mode", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) { return r.report.mode >= 0 ? number(r.report.mode) : null(); },
     nullptr},
    {"mode_name", COLUMN_TEXT, "TEXT", "text", false,
     [](const RunRecord& r) { return r.report.mode >= 0 ? text(modeName(r.report.mode)) : null(); },
     nullptr},
    {"speed", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) { return r.report.baud > 0 ? number(r.report.baud) : null(); },
     nullptr},
    {"bin_image", COLUMN_TEXT, "TEXT", "text", false, image<0, 0>, readImage<0, 0>},
    {"bin_size", COLUMN_INTEGER, "INTEGER", "bigint", false, image<0, 1>, nullptr},
    {"bin_sum", COLUMN_INTEGER, "INTEGER", "bigint", false, image<0, 2>, readImage<0, 2>},
    {"ogm_image", COLUMN_TEXT, "TEXT", "text", false, image<1, 0>, readImage<1, 0>},
    {"ogm_size", COLUMN_INTEGER, "INTEGER", "bigint", false, image<1, 1>, nullptr},
    {"ogm_sum", COLUMN_INTEGER, "INTEGER", "bigint", false, image<1, 2>, readImage<1, 2>},
    {"tfs_image", COLUMN_TEXT, "TEXT", "text", false, image<2, 0>, readImage<2, 0>},
    {"tfs_size", COLUMN_INTEGER, "INTEGER", "bigint", false, image<2, 1>, nullptr},
    {"tfs_sum", COLUMN_INTEGER, "INTEGER", "bigint", false, image<2, 2>, readImage<2, 2>},
    {"chip_manufacturer", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) {
         return r.report.flashIdentified ? number(r.report.manufacturerId) : null();
     },
     nullptr},
    {"chip_device", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) {
         return r.report.flashIdentified ? number(r.report.deviceId) : null();
     },
     nullptr},
    {"chip_name", COLUMN_TEXT, "TEXT", "text", false,
     [](const RunRecord& r) {
         return r.report.flashIdentified
                    ? text(r.report.manufacturerName + " " + r.report.deviceName)
                    : null();
     },
     nullptr},
    {"result_family", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) {
         return r.report.result.family >= 0 ? number(r.report.result.family) : null();
     },
     [](StoredRun* s, const std::string& t) { s->family = t.empty() ? -1 : integer(t); }},
    {"result_code", COLUMN_INTEGER, "INTEGER", "integer", false,
     [](const RunRecord& r) {
         return r.report.result.hasCode ? number(r.report.result.code) : null();
     },
     [](StoredRun* s, const std::string& t) {
         s->hasCode = !t.empty();
         s->code = t.empty() ? -1 : integer(t);
     }},
    {"result_text", COLUMN_TEXT, "TEXT", "text", true,
     [](const RunRecord& r) { return text(r.report.result.message); },
     [](StoredRun* s, const std::string& t) { s->resultText = t; }},
    {"exit_status", COLUMN_INTEGER, "INTEGER", "integer", true,
     [](const RunRecord& r) { return number(r.report.exitStatus); },
     [](StoredRun* s, const std::string& t) { s->exitStatus = integer(t); }},
    {"passed", COLUMN_FLAG, "INTEGER", "boolean", true,
     [](const RunRecord& r) { return number(runPassed(r) ? 1 : 0); },
     [](StoredRun* s, const std::string& t) { s->passed = integer(t) != 0; }},
    {"duration_s", COLUMN_REAL, "REAL", "double precision", true,
     [](const RunRecord& r) { return real(r.durationSeconds); },
     [](StoredRun* s, const std::string& t) { s->durationSeconds = strtod(t.c_str(), nullptr); }},
    {"bytes", COLUMN_INTEGER, "INTEGER", "bigint", true,
     [](const RunRecord& r) { return number(static_cast<long long>(r.report.bytesWritten)); },
     nullptr},
    {"resent_sectors", COLUMN_INTEGER, "INTEGER", "integer", true,
     [](const RunRecord& r) { return number(resentSectorCount(r.report)); },
     nullptr},
    {"cancelled", COLUMN_FLAG, "INTEGER", "boolean", true,
     [](const RunRecord& r) { return number(r.cancelled ? 1 : 0); },
     [](StoredRun* s, const std::string& t) { s->cancelled = integer(t) != 0; }},
    {"trace_file", COLUMN_TEXT, "TEXT", "text", false,
     [](const RunRecord& r) { return r.traceFile.empty() ? null() : text(r.traceFile); },
     nullptr},
    {"result_json", COLUMN_JSON, "TEXT", "text", true,
     [](const RunRecord& r) { return text(jsonText(jsonReport(r.report))); },
     nullptr},
    // Added by the file's version 2 and the server's version 3.
    {"unit_id", COLUMN_TEXT, "TEXT", "text", false,
     [](const RunRecord& r) { return r.unitId.empty() ? null() : text(r.unitId); },
     [](StoredRun* s, const std::string& t) { s->unitId = t; }, 2, 3},
};
// clang-format on
const int kRunColumns = sizeof a_RunColumns / sizeof a_RunColumns[0];

std::string runColumnsDdl(ResultsDialect dialect) {
    std::string out;
    for (int i = 0; i < kRunColumns; i++) {
        const RunColumn& c = a_RunColumns[i];
        if ((dialect == DIALECT_FILE ? c.fileVersion : c.serverVersion) > 1) continue;
        out += i > 0 ? ",\n    " : "";
        out += std::string(c.name) + " " + (dialect == DIALECT_FILE ? c.fileType : c.serverType);
        // The first column is the key.
        if (i == 0) out += " PRIMARY KEY";
        if (c.required) out += " NOT NULL";
    }
    return out;
}

std::string runColumnNames() {
    std::string out;
    for (int i = 0; i < kRunColumns; i++)
        out += std::string(i > 0 ? ", " : "") + a_RunColumns[i].name;
    return out;
}

std::string runColumnsSelected(ResultsDialect dialect, bool reportOnly, int fileVersion) {
    std::string out;
    for (int i = 0; i < kRunColumns; i++) {
        const RunColumn& c = a_RunColumns[i];
        if (reportOnly && c.read == nullptr) continue;
        out += out.empty() ? "" : ", ";
        if (dialect == DIALECT_FILE && c.fileVersion > fileVersion) {
            out += std::string("NULL AS ") + c.name;
            continue;
        }
        if (dialect == DIALECT_FILE || c.kind == COLUMN_TEXT || c.kind == COLUMN_INTEGER ||
            c.kind == COLUMN_REAL) {
            out += c.name;
            continue;
        }
        if (c.kind == COLUMN_TIME)
            out += serverTime(c.name);
        else
            out += std::string(c.name) + (c.kind == COLUMN_FLAG ? "::int" : "::text");
        out += std::string(" AS ") + c.name;
    }
    return out;
}

std::string runColumnsAdded(ResultsDialect dialect, int version) {
    std::string out;
    for (int i = 0; i < kRunColumns; i++) {
        const RunColumn& c = a_RunColumns[i];
        if ((dialect == DIALECT_FILE ? c.fileVersion : c.serverVersion) != version) continue;
        out += std::string("ALTER TABLE runs ADD COLUMN ") + c.name + " " +
               (dialect == DIALECT_FILE ? c.fileType : c.serverType) + ";\n";
    }
    return out;
}

std::vector<StoredValue> runColumnValues(const RunRecord& run) {
    std::vector<StoredValue> values;
    for (int i = 0; i < kRunColumns; i++)
        values.push_back(a_RunColumns[i].value(run));
    return values;
}

StoredRun storedRunOf(const std::vector<std::string>& reportTexts) {
    StoredRun run;
    size_t at = 0;
    for (int i = 0; i < kRunColumns && at < reportTexts.size(); i++)
        if (a_RunColumns[i].read != nullptr) a_RunColumns[i].read(&run, reportTexts[at++]);
    return run;
}

} // namespace dwlcli
