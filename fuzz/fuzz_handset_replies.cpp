// The PC side of the protocol against a handset whose every reply comes from the fuzzer: the
// boot sequence and the procedure of a mode run over the in-process line, reading the input as
// the handset's byte stream (silence once it is spent). Whatever the stream, a run must end
// with a result, within the protocol's worst-case time-out budget, without touching memory it
// does not own.
//
// Speed: the handset's side is a byte pointer into the input, reset for each run; nothing is
// copied or recorded, no file is opened (the two handset programs are served from memory), and
// a poll of an empty line lets a quarter of a second pass, so that a wait for an acknowledgement
// that never comes takes some 45 polls instead of 1,000. `fuzz/run.sh SECONDS handset_replies`
// runs a long campaign.
//
// Input: three set-up bytes (mode, speed index, options), then the reply stream.
// DWL_FUZZ_SEEDS=<folder> writes one well-formed run per mode into the folder and exits.
#include "bench/timeout_budget.h"
#include "boot/dwl1boot.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "procedure/dwl3_modes.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kManufacturer = 137;
constexpr uint8_t kDevice = 24;
constexpr size_t kSetupBytes = 3;

const char kFlashText[] = "NEW_FLASH\r\n"
                          "MANUFACTURER_NAME : FUZZCO\r\n"
                          "DEVICE_NAME : F16M\r\n"
                          "BASEBAND_PRODUCT : PCF5087\r\n"
                          "MANUFACTURER_ID : 137\r\n"
                          "DEVICE_ID : 24\r\n"
                          "NB_BANKS : 1\r\n"
                          "NB_SECTORS : 263\r\n"
                          "START_SECTOR_DESCRITPION\r\n"
                          "0-7*8192*0\r\n"
                          "8-262*65536*0\r\n"
                          "END_SECTOR_DESCRIPTION\r\n"
                          "END_FLASH\r\n";

const char kTfsText[] = "TFSVERSION : FUZZ1\r\n"
                        "NUM_DIR : 2\r\n"
                        "MAXFILES : 4\r\n"
                        "SET_DIR\r\n"
                        "DIR_NAME : /sys\r\n"
                        "DIR_NAME : /sys/fonts\r\n"
                        "END_DIR\r\n"
                        "SET_FILE\r\n"
                        "FILE_NAME : /sys/a.cfg\r\n"
                        "FILE_SIZE : 10\r\n"
                        "FILE_NAME : /sys/empty\r\n"
                        "FILE_SIZE : 0\r\n"
                        "FILE_NAME : /sys/fonts/big.fnt\r\n"
                        "FILE_SIZE : 9000\r\n"
                        "END_FILE\r\n"
                        "END_TFS\r\n";

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes v(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

Bytes g_cla, g_ogm, g_tfs;
Bytes g_spm87, g_spm88;

// The handset's side of the line: the rest of the input, on a virtual clock. A read of an empty
// line costs its time-out; a poll of it lets time pass.
class FuzzLine : public ClockSource {
  public:
    void reset(const uint8_t* stream, size_t length) {
        data_ = stream;
        length_ = length;
        pos_ = 0;
        now_ = 1.8e9;
        timeout_ = 5.0;
    }
    double now() override { return now_; }
    bool empty() const { return pos_ >= length_; }
    int take() { return data_[pos_++]; }
    void idle(double seconds) { now_ += seconds; }
    double timeout_ = 5.0;

  private:
    const uint8_t* data_ = nullptr;
    size_t length_ = 0;
    size_t pos_ = 0;
    double now_ = 1.8e9;
};

FuzzLine g_line;

// At most this much virtual time passes per poll: well below the two seconds of slack that the
// budget gives the acknowledgement wait for its whole seconds.
constexpr double kPollStep = 0.25;

class FuzzDevice : public SerialDevice {
  public:
    int configure(long, int, int, int) override { return 0; }
    void setTimeout(double seconds) override { g_line.timeout_ = seconds; }
    void setDtr(bool) override {}
    void flushIn() override {}
    void flushOut() override {}
    int write(const uint8_t*, int count) override { return count; }
    int outQueueLength() override { return 0; }
    int inQueueLength() override {
        if (g_line.empty()) {
            g_line.idle(kPollStep);
            return 0;
        }
        return 1;
    }
    int readByte() override {
        if (g_line.empty()) {
            g_line.idle(g_line.timeout_);
            return DWL_RS232_TIMEOUT;
        }
        return g_line.take();
    }
    int read(uint8_t* buffer, int count) override {
        int n = 0;
        while (n < count) {
            const int b = readByte();
            if (b < 0) break;
            buffer[n++] = static_cast<uint8_t>(b);
        }
        return n;
    }
};

// The handset programs come from memory: the harness is linked with --wrap=fopen. The loader
// has one program open at a time, so one static stream buffer serves both and no run allocates
// one.
char g_streamBuffer[4096];

FILE* OpenInMemory(Bytes& bytes, const char* mode) {
    FILE* f = fmemopen(bytes.data(), bytes.size(), mode);
    if (f != nullptr) setvbuf(f, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    return f;
}

} // namespace

extern "C" FILE* __real_fopen(const char* path, const char* mode);
extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
    if (std::strcmp(path, "dwl87.spm") == 0) return OpenInMemory(g_spm87, mode);
    if (std::strcmp(path, "dwl88.spm") == 0) return OpenInMemory(g_spm88, mode);
    return __real_fopen(path, mode);
}

namespace {

void SetUpBench() {
    // Small programs: the handset ignores what they hold, and each run reads them byte by byte.
    g_spm87 = Pattern(64, 87);
    g_spm88 = Pattern(48, 88);
    dwl_SetClock(&g_line);
    rs232_SetOpener([](int, const char*, int*) -> std::unique_ptr<SerialDevice> {
        return std::make_unique<FuzzDevice>();
    });
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    if (dwl10_102ParseFlashDescription(reinterpret_cast<const uint8_t*>(kFlashText),
                                       sizeof kFlashText - 1, &vg_FlashDescritpion) != 1)
        std::abort();
    std::memset(&vg_TFSDescritpion, 0, sizeof vg_TFSDescritpion);
    if (dwl10_204ParseTFSDescription(reinterpret_cast<const uint8_t*>(kTfsText),
                                     sizeof kTfsText - 1, &vg_TFSDescritpion) != 1)
        std::abort();
    // Images just past one 8 KB piece: a whole piece and a rest, over two sectors of the
    // binary image, and no more bytes to sum than that.
    g_cla = Pattern(8192 + 100, 1);
    g_ogm = Pattern(8192 + 60, 2);
    g_tfs = Pattern(vg_TFSDescritpion.TotalSize, 3);
}

struct Setup {
    int mode;
    int speedIndex;
    int pmu;
    int productType;
    int model;
    bool format;
};

Setup ReadSetup(const uint8_t* data) {
    Setup s;
    s.mode = data[0] % DWL3_NB_MODES;
    s.speedIndex = data[1] % 9;
    s.pmu = data[2] & 1;
    s.productType = (data[2] & 2) ? 1 : 2;
    s.format = (data[2] & 4) != 0;
    s.model = (data[2] >> 3) % 3;
    return s;
}

uint32_t Sum(const uint8_t* p, size_t n) {
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s += p[i];
    return s;
}

void PutLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The acknowledgements of a sector download that goes through at the first attempt.
void SectorReplies(Bytes& out, const Bytes& image, uint32_t address) {
    SectorList list{};
    if (dwl10_3GetSectorList(kManufacturer, kDevice, address - DWL_FLASH_BASE,
                             static_cast<uint32_t>(image.size()), &list) != 1)
        std::abort();
    size_t offset = 0;
    for (uint32_t i = 0; i < list.NbSectors; ++i) {
        uint32_t size = 0;
        dwl10_0GetSectorSize(kManufacturer, kDevice, list.Sector[i], &size);
        const size_t n = std::min<size_t>(size, image.size() - offset);
        out.push_back(0xCC);
        PutLe32(out, Sum(image.data() + offset, n));
        offset += n;
    }
}

void Ack(Bytes& out, uint8_t third) {
    out.insert(out.end(), {0x00, 0x00, third});
}

void TfsReplies(Bytes& out) {
    const TfsDescription& d = vg_TFSDescritpion;
    out.push_back(0x77);
    Ack(out, 0x72);
    Ack(out, 0x6F);
    for (int32_t i = 0; i < d.NbDir; ++i)
        Ack(out, 0x73);
    for (uint32_t f = 0; f < d.NbFiles; ++f) {
        Ack(out, 0x7D);
        const uint32_t size = d.Files[f].FileSize;
        const uint32_t blocks = size == 0 ? 1 : (size + 8191) / 8192;
        for (uint32_t b = 0; b < blocks; ++b)
            Ack(out, 0x7E);
        Ack(out, 0x7F);
    }
    Ack(out, 0x7A);
    PutLe32(out, Sum(g_tfs.data(), g_tfs.size()));
}

// Everything a sound handset says in a clean run of this set-up.
Bytes WellFormedReplies(const Setup& s) {
    Bytes out = {0xBE, 0x44, 0xA0, 0x00, 0x00, 0xC2, kManufacturer, kDevice};
    if (s.speedIndex > 2) out.insert(out.end(), {0xC0, 0xC9});
    out.insert(out.end(), {0xC0, 0xC3, 0x00, 0xCA});
    if (s.pmu == 1) out.insert(out.end(), {0xC0, 0xCF, 0x00});
    out.insert(out.end(), {0xC0, 0x01, 0x02, 0x03, 0x04, 0x63});
    if (a_DownloadModes[s.mode].Procedure == DWL3_PROC_TFS_OGM && s.format) {
        out.insert(out.end(), {0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x23, 0x20});
        return out;
    }
    const uint32_t ogmAddress = dwl3_2OgmStartAddress(s.model, kDevice);
    if (budget::ModeWritesBinary(s.mode)) SectorReplies(out, g_cla, DWL_FLASH_BASE);
    if (budget::ModeWritesOgm(s.mode)) SectorReplies(out, g_ogm, ogmAddress);
    if (budget::ModeWritesTfs(s.mode)) TfsReplies(out);
    out.push_back(0xC0); // switch-off
    return out;
}

double Budget(const Setup& s) {
    budget::RunShape shape;
    shape.mode = s.mode;
    shape.speedIndex = s.speedIndex;
    shape.pmu = s.pmu;
    shape.format = s.format;
    // The identified chip comes from the stream: count sectors as the largest list could be.
    shape.binarySectors = DWL_MAX_SECTORS;
    shape.ogmSectors = DWL_MAX_SECTORS;
    const TfsDescription& d = vg_TFSDescritpion;
    shape.tfsDirs = static_cast<uint32_t>(d.NbDir);
    shape.tfsFiles = d.NbFiles;
    for (uint32_t f = 0; f < d.NbFiles; ++f)
        shape.tfsBlocks += d.Files[f].FileSize == 0 ? 1 : (d.Files[f].FileSize + 8191) / 8192;
    return budget::WorstCaseSeconds(shape);
}

ResultRecord RunOnce(const Setup& s, const uint8_t* stream, size_t length, double* seconds) {
    g_line.reset(stream, length);
    DownloadContext& c = sg_DownloadContext;
    c = dwl_DefaultContext();
    c.Mode = s.mode;
    c.SpeedIndex = s.speedIndex;
    c.Pmu = s.pmu;
    c.ProductType = s.productType;
    c.Model = s.model;
    c.Cla = {1, g_cla.data(), static_cast<uint32_t>(g_cla.size())};
    c.Ogm = {1, g_ogm.data(), static_cast<uint32_t>(g_ogm.size())};
    c.TfsOgm = {1, g_tfs.data(), static_cast<uint32_t>(g_tfs.size())};
    v_Format_Flag = s.format ? 1 : 0;
    const double start = g_line.now();
    c.StartTime = dwl_Time();
    ResultRecord r = dwl1_0boot(&c);
    if (r.family == 0) {
        r = dwl3_3RunProcedure(a_DownloadModes[s.mode].Procedure, c);
    }
    *seconds = g_line.now() - start;
    c.Cla = c.Ogm = c.TfsOgm = {-1, nullptr, 0};
    return r;
}

void WriteSeeds(const char* folder) {
    const uint8_t setups[][kSetupBytes] = {
        {0, 3, 0x00}, {1, 3, 0x01}, {2, 1, 0x08}, {3, 3, 0x00}, {3, 0, 0x04},
        {4, 8, 0x10}, {5, 3, 0x02}, {6, 2, 0x01}, {1, 0, 0x02}, {0, 5, 0x11},
    };
    for (const auto& setup : setups) {
        Bytes input(setup, setup + kSetupBytes);
        Bytes replies = WellFormedReplies(ReadSetup(setup));
        input.insert(input.end(), replies.begin(), replies.end());
        const std::string name = std::string(folder) + "/mode" + std::to_string(setup[0]) +
                                 "-speed" + std::to_string(setup[1]) + "-opt" +
                                 std::to_string(setup[2]);
        FILE* f = fopen(name.c_str(), "wb");
        if (f == nullptr) std::abort();
        fwrite(input.data(), 1, input.size(), f);
        fclose(f);
    }
}

// A clean run of every mode must succeed, or the harness would not reach the deep states.
void CheckWellFormedRuns() {
    for (int mode = 0; mode < DWL3_NB_MODES; ++mode) {
        const uint8_t setup[kSetupBytes] = {static_cast<uint8_t>(mode), 3, 0};
        const Setup s = ReadSetup(setup);
        const Bytes replies = WellFormedReplies(s);
        double seconds = 0;
        const ResultRecord r = RunOnce(s, replies.data(), replies.size(), &seconds);
        if (r.family != 0) {
            std::fprintf(stderr, "well-formed run of mode %d ends with family %d code %d\n", mode,
                         r.family, r.code);
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetUpBench();
    if (const char* seeds = std::getenv("DWL_FUZZ_SEEDS"); seeds != nullptr && *seeds) {
        WriteSeeds(seeds);
        std::exit(0);
    }
    CheckWellFormedRuns();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSetupBytes || size > 1u << 16) return -1;
    const Setup s = ReadSetup(data);
    double seconds = 0;
    const ResultRecord r = RunOnce(s, data + kSetupBytes, size - kSetupBytes, &seconds);
    if (r.family < 0 || r.family > 40) {
        std::fprintf(stderr, "result family %d code %d\n", r.family, r.code);
        std::abort();
    }
    const double limit = Budget(s);
    if (seconds > limit) {
        std::fprintf(stderr, "run of mode %d took %.1f s of virtual time, budget %.1f s\n", s.mode,
                     seconds, limit);
        std::abort();
    }
    return 0;
}
