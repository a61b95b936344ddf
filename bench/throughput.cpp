// Throughput of a whole download run against the emulated handset, for a binary image and for
// a TFS image of many small files:
//   (a) with the line paced at 460800 baud in virtual time, the run time over the time the
//       wire needs at least for every byte that crosses it;
//   (b) unpaced and in-process, the megabytes of image per second the PC side pushes through
//       the whole protocol;
//   (c) the peak resident memory of a run with a large image;
//   (d) what the line trace costs: the paced run's virtual time and the unpaced run's wall time
//       with a trace file (bulk data summarised, then every byte) against none.
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "link/child_process.h"
#include "link/dwl12pclib.h"
#include "link/line_trace.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "sim/handset.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kManufacturer = 137;
constexpr uint8_t kDevice = 24;
constexpr uint32_t kBinarySize = 4u << 20;
constexpr uint32_t kLargeSize = 32u << 20;
constexpr int kTfsFiles = 1000;

// A 68 MB chip: eight 8 KB boot sectors, 64 KB sectors up to 8 MB, then 512 KB sectors.
std::string FlashText() {
    return "NEW_FLASH\r\n"
           "MANUFACTURER_NAME : BENCH\r\n"
           "DEVICE_NAME : B64M\r\n"
           "BASEBAND_PRODUCT : PCF5087\r\n"
           "MANUFACTURER_ID : 137\r\n"
           "DEVICE_ID : 24\r\n"
           "NB_BANKS : 1\r\n"
           "NB_SECTORS : 255\r\n"
           "START_SECTOR_DESCRITPION\r\n"
           "0-7*8192*0\r\n"
           "8-134*65536*0\r\n"
           "135-254*524288*0\r\n"
           "END_SECTOR_DESCRIPTION\r\n"
           "END_FLASH\r\n";
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// 1000 files of 1 to 20 KB in ten directories.
void DescribeTfs() {
    dwl10_203FreeTFSDescription();
    TfsDescription& d = vg_TFSDescritpion;
    std::memset(&d, 0, sizeof d);
    std::strcpy(d.Version, "BENCH1");
    d.NbDir = 10;
    d.DirNames = static_cast<char(*)[DWL_TFS_NAME_SIZE]>(std::malloc(10 * DWL_TFS_NAME_SIZE));
    std::memset(d.DirNames, 0xFF, 10 * DWL_TFS_NAME_SIZE);
    for (int i = 0; i < 10; ++i)
        std::snprintf(d.DirNames[i], DWL_TFS_NAME_SIZE, "/d%d", i);
    d.MaxFiles = kTfsFiles;
    d.NbFiles = kTfsFiles;
    d.Files = static_cast<TfsFileEntry*>(std::malloc(kTfsFiles * sizeof(TfsFileEntry)));
    std::mt19937 rng(42);
    d.TotalSize = 0;
    for (int i = 0; i < kTfsFiles; ++i) {
        std::memset(d.Files[i].FileName, 0xFF, DWL_TFS_NAME_SIZE);
        std::snprintf(d.Files[i].FileName, DWL_TFS_NAME_SIZE, "/d%d/f%04d.dat", i % 10, i);
        d.Files[i].FileSize = 1024 + rng() % (19 * 1024 + 1);
        d.TotalSize += d.Files[i].FileSize;
    }
}

long MaxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct RunFigures {
    bool ok = false;
    double virtualSeconds = 0;
    double lowerBound = 0;
    double wallSeconds = 0;
    uint64_t imageBytes = 0;
    long rssBeforeImageKb = 0;
    long rssPeakKb = 0;
};

enum Trace { kNoTrace, kTraceSummary, kTraceFull };

// One whole run: boot, link set-up, the image, switch-off. tfs: mode 3, else mode 1.
RunFigures Run(const std::string& dir, bool tfs, uint32_t binarySize, bool paced,
               Trace trace = kNoTrace) {
    RunFigures f;
    sim::HandsetConfig config = sim::DefaultConfig();
    config.flashFile = dir + "/flash.txt";
    config.manufacturerId = kManufacturer;
    config.deviceId = kDevice;
    config.wirePacing = paced;
    sim::SimSession session(config);

    if (tfs) DescribeTfs();
    f.rssBeforeImageKb = MaxRssKb();
    std::vector<uint8_t> image =
        Pattern(tfs ? vg_TFSDescritpion.TotalSize : binarySize, tfs ? 7 : 3);
    f.imageBytes = image.size();

    DownloadContext& c = sg_DownloadContext;
    c = dwl_DefaultContext();
    c.SpeedIndex = 3; // 460800 baud
    c.Mode = tfs ? 3 : 1;
    ImageSlot& slot = tfs ? c.TfsOgm : c.Cla;
    slot = {1, image.data(), static_cast<uint32_t>(image.size())};
    v_Format_Flag = 0;

    if (trace != kNoTrace)
        dwl12_TraceStart((dir + "/bench.trace").c_str(), false, trace == kTraceFull);
    const double virtualStart = session.clock().now();
    const auto wallStart = std::chrono::steady_clock::now();
    c.StartTime = dwl_Time();
    ResultRecord r = dwl1_0boot(&c);
    const uint64_t toPcAtBoot = session.handset().recording().bytesToPc;
    if (r.family == 0) r = tfs ? dwl3_0Generic5087_TFS_ogm(c) : dwl3_0Generic5087(c);
    f.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    f.virtualSeconds = session.clock().now() - virtualStart;
    dwl12_1UartStop(static_cast<uint8_t>(c.ComPort));
    dwl12_TraceStop();

    const sim::Recording& rec = session.handset().recording();
    f.ok = r.family == 0 && (tfs ? session.handset().tfs().files.size() == kTfsFiles
                                 : session.handset().flashEquals(DWL_FLASH_BASE, image.data(),
                                                                 uint32_t(image.size())));
    if (r.family != 0) std::printf("  run failed: family %d code %d\n", r.family, r.code);
    // Boot phase at 38400 baud with parity (11 bits a byte), the rest at the run's rate.
    for (const auto& [baud, bytes] : rec.bytesPerBaud)
        f.lowerBound += double(bytes) * (baud == 38400 ? 11.0 : 10.0) / double(baud);
    f.lowerBound += double(toPcAtBoot) * 11.0 / 38400.0;
    f.lowerBound += double(rec.bytesToPc - toPcAtBoot) * 10.0 / 460800.0;
    f.rssPeakKb = MaxRssKb();
    slot = {-1, nullptr, 0};
    return f;
}

// A handset that costs next to nothing: it acknowledges sector commands and the TFS
// conversation from the PC's writes alone, so that the PC side's own cost shows.
class QuickPeer : public SerialDevice {
  public:
    int configure(long, int, int, int) override { return 0; }
    void setTimeout(double) override {}
    void setDtr(bool) override {}
    void flushIn() override { in_.clear(); }
    void flushOut() override {}
    int outQueueLength() override { return 0; }
    int inQueueLength() override { return int(in_.size() - head_); }
    int readByte() override { return head_ < in_.size() ? in_[head_++] : DWL_RS232_TIMEOUT; }
    int read(uint8_t* buffer, int count) override {
        int n = 0;
        while (n < count && head_ < in_.size())
            buffer[n++] = in_[head_++];
        return n;
    }
    int write(const uint8_t* data, int count) override {
        if (head_ == in_.size()) in_.clear(), head_ = 0;
        if (sectorLeft_ > 0) {
            sectorSum_ += Sum(data, count);
            sectorLeft_ -= uint32_t(count);
            if (sectorLeft_ == 0)
                reply({0xCC, uint8_t(sectorSum_), uint8_t(sectorSum_ >> 8),
                       uint8_t(sectorSum_ >> 16), uint8_t(sectorSum_ >> 24)});
        } else if (fileLeft_ > 0) {
            const uint32_t s = Sum(data, count);
            tfsSum_ += s;
            fileLeft_ -= uint32_t(count);
            reply({0, 0, 0x7E});
            if (fileLeft_ == 0) reply({0, 0, 0x7F});
        } else if (count == 13 && data[0] == 0xEA) {
            sectorLeft_ = Be32(data + 9);
            sectorSum_ = 0;
            if (sectorLeft_ == 0) reply({0xCC, 0, 0, 0, 0});
        } else if (count == 1 && data[0] == 0x44) {
            tfsSum_ = 0;
            reply({0x77});
        } else if (count == 16) {
            reply({0, 0, 0x72});
        } else if (count == 4) {
            reply({0, 0, 0x6F});
        } else if (count == 512) {
            reply({0, 0, 0x73});
        } else if (count == 516) {
            fileLeft_ = Be32(data + 512);
            reply({0, 0, 0x7D});
            if (fileLeft_ == 0) reply({0, 0, 0x7E, 0, 0, 0x7F});
        } else if (count == 1 && data[0] == 0x79) {
            reply({0, 0, 0x7A, uint8_t(tfsSum_), uint8_t(tfsSum_ >> 8), uint8_t(tfsSum_ >> 16),
                   uint8_t(tfsSum_ >> 24)});
        }
        return count;
    }

  private:
    static uint32_t Sum(const uint8_t* p, int n) {
        uint32_t s = 0;
        for (int i = 0; i < n; ++i)
            s += p[i];
        return s;
    }
    static uint32_t Be32(const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    void reply(std::initializer_list<uint8_t> bytes) { in_.insert(in_.end(), bytes); }
    std::vector<uint8_t> in_;
    size_t head_ = 0;
    uint32_t sectorLeft_ = 0, sectorSum_ = 0, tfsSum_ = 0, fileLeft_ = 0;
};

// MB/s of image through the PC's transfer alone, against the quick peer.
double PcOnlyRate(bool tfs, uint32_t binarySize) {
    rs232_SetOpener([](int, const char*, int*) { return std::make_unique<QuickPeer>(); });
    if (tfs) DescribeTfs();
    std::vector<uint8_t> image =
        Pattern(tfs ? vg_TFSDescritpion.TotalSize : binarySize, tfs ? 7 : 3);
    DownloadContext c = dwl_DefaultContext();
    c.FlashManufacturerId = kManufacturer;
    c.FlashDeviceId = kDevice;
    dwl12_0UartInit(c.ComPort, 460800, 0, 10);
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ResultRecord r =
            tfs ? dwl11_54Download_TFS_ogm(c, uint32_t(image.size()), image.data(), DWL_FLASH_BASE,
                                           0)
                : dwl11_54Download(c, uint32_t(image.size()), image.data(), DWL_FLASH_BASE);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r.family != 0) return -r.family;
        if (image.size() / 1e6 / s > best) best = image.size() / 1e6 / s;
    }
    dwl12_1UartStop(uint8_t(c.ComPort));
    rs232_SetOpener(nullptr);
    return best;
}

// Runs in a child process, so that its peak memory is its own.
void InChild(const std::function<void()>& body) {
    ChildHandle child;
    if (dwl_StartFunction(
            [&] {
                body();
                return 0;
            },
            {}, &child))
        dwl_WaitChild(&child, -1, nullptr);
}

void Report(const char* name, const std::string& dir, bool tfs, uint32_t binarySize,
            uint32_t largeBinarySize) {
    std::printf("%s\n", name);
    InChild([&] {
        RunFigures a = Run(dir, tfs, binarySize, true);
        std::printf("  (a) paced 460800 baud: %.1f s virtual, wire bound %.1f s, ratio %.4f%s\n",
                    a.virtualSeconds, a.lowerBound, a.virtualSeconds / a.lowerBound,
                    a.ok ? "" : " (RUN FAILED)");
    });
    InChild([&] {
        Run(dir, tfs, binarySize, false); // warm-up
        RunFigures b = Run(dir, tfs, binarySize, false);
        std::printf("  (b) unpaced in-process, whole run with the emulated handset: %.2f MB in "
                    "%.3f s = %.1f MB/s%s\n",
                    b.imageBytes / 1e6, b.wallSeconds, b.imageBytes / 1e6 / b.wallSeconds,
                    b.ok ? "" : " (RUN FAILED)");
        std::printf("      the PC side alone (transfer against a peer that only acknowledges): "
                    "%.1f MB/s\n",
                    PcOnlyRate(tfs, binarySize));
    });
    InChild([&] {
        RunFigures c = Run(dir, tfs, largeBinarySize, false);
        const double image = c.imageBytes / 1048576.0;
        const double peak = c.rssPeakKb / 1024.0;
        const double before = c.rssBeforeImageKb / 1024.0;
        std::printf("  (c) image %.1f MB: peak RSS %.1f MB; before the image %.1f MB "
                    "(program and emulated handset); run's own %.1f MB = image + %.1f MB%s\n",
                    image, peak, before, peak - before, peak - before - image,
                    c.ok ? "" : " (RUN FAILED)");
    });
    InChild([&] {
        const RunFigures plain = Run(dir, tfs, binarySize, true);
        const RunFigures traced = Run(dir, tfs, binarySize, true, kTraceSummary);
        std::printf("  (d) line trace: paced run %.3f s virtual without, %.3f s with%s\n",
                    plain.virtualSeconds, traced.virtualSeconds,
                    plain.ok && traced.ok ? "" : " (RUN FAILED)");
        double wall[3] = {1e9, 1e9, 1e9};
        for (int round = 0; round < 3; ++round)
            for (int t = 0; t < 3; ++t)
                wall[t] = std::min(wall[t], Run(dir, tfs, binarySize, false, Trace(t)).wallSeconds);
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(dir + "/bench.trace", ec);
        std::printf("      unpaced wall time, best of 3: %.3f s without, %.3f s summarised, "
                    "%.3f s every byte (trace of %.1f MB)\n",
                    wall[0], wall[1], wall[2], ec ? 0.0 : bytes / 1e6);
    });
}

} // namespace

int main() {
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / "dwl-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
    WriteFile(dir + "/flash.txt", FlashText());
    std::vector<uint8_t> spm87 = Pattern(6000, 87), spm88 = Pattern(3000, 88);
    WriteFile(dir + "/dwl87.spm", std::string(spm87.begin(), spm87.end()));
    WriteFile(dir + "/dwl88.spm", std::string(spm88.begin(), spm88.end()));
    fs::current_path(dir);
    const std::string text = FlashText();
    dwl10_102ParseFlashDescription(reinterpret_cast<const uint8_t*>(text.data()),
                                   uint32_t(text.size()), &vg_FlashDescritpion);

    Report("binary image, 4 MB (32 MB for memory)", dir, false, kBinarySize, kLargeSize);
    Report("TFS image, 1000 files of 1-20 KB", dir, true, 0, 0);

    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
