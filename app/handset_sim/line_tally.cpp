#include "app/handset_sim/line_tally.h"

#include "app/handset_sim/replace_file.h"
#include "sim/sha256.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

void LineTally::fromPc(double at, double byteTime) {
    if (start_ < 0.0) {
        const double wakeUp = sim::ByteTime(sim::kBootLine);
        start_ = at - byteTime - wakeUp;
        busy_ += wakeUp;
    }
    busy_ += byteTime;
    toHandset_++;
    end_ = std::max(end_, at);
}

void LineTally::toPc(double at, double byteTime) {
    if (start_ < 0.0) return;
    busy_ += byteTime;
    toPc_++;
    end_ = std::max(end_, at);
}

namespace {

// The handset's own waits: its turnaround before each reply, and the quiet time after which it
// takes the extension module as complete.
double HandsetWaits(const sim::HandsetEngine& engine) {
    const sim::Recording& rec = engine.recording();
    int replies = 0;
    for (int n : rec.replies)
        replies += n;
    double waits = replies * std::max(0.0, engine.config().faults.replyDelay);
    if (!rec.extensionModule.empty()) waits += engine.config().idleGap;
    return waits;
}

void AddLine(std::string* text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AddLine(std::string* text, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *text += line;
}

} // namespace

bool WriteLineReport(const std::string& path, const LineTally& tally,
                     const sim::HandsetEngine& engine, bool tfsWritten) {
    std::string text;
    AddLine(&text, "span %.6f\nbusy %.6f\nwaits %.6f\nbytes_to_handset %llu\nbytes_to_pc %llu\n",
            tally.span(), tally.busy(), HandsetWaits(engine), tally.bytesToHandset(),
            tally.bytesToPc());
    const sim::FlashModel& flash = engine.flash();
    for (const sim::FlashRange& r : flash.written())
        AddLine(&text, "written 0x%08X %u sha256 %s\n", r.address, r.count,
                sim::Sha256Hex(flash.at(r.address), r.count).c_str());
    if (tfsWritten) {
        const sim::TfsContents& tfs = engine.tfs();
        sim::Sha256 digest;
        unsigned long long bytes = 0;
        for (const sim::TfsFile& file : tfs.files) {
            digest.add(file.data.data(), file.data.size());
            bytes += file.data.size();
        }
        AddLine(&text, "tfs_files %zu %llu sha256 %s\n", tfs.files.size(), bytes,
                digest.hex().c_str());
    }
    return ReplaceFile(path, text.data(), text.size());
}
