// The bulk path of the emulated handset: bytes handed over as one block must leave the handset
// exactly as the same bytes handed over one at a time. Seeded random conversations (sector
// commands, TFS transfers, speed changes, faults, silence) go to two handsets, one fed byte by
// byte and one fed in blocks of random size; everything either of them records, stores or
// answers is then compared.
#include "sim/handset_engine.h"
#include "tests/sim/sim_fixture.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

using namespace simtest;

namespace {

using sim::LineSettings;
using sim::Step;

// One stretch of the conversation: bytes the PC writes back to back at one line setting,
// after a pause; `pcWaits` has the PC wait for an answer once they are out (an extension module
// ends there).
struct Stretch {
    double pause = 0.0;
    LineSettings sentAt;
    std::vector<uint8_t> bytes;
    bool pcWaits = false;
};

struct Conversation {
    sim::HandsetConfig config;
    std::vector<Stretch> stretches;
};

struct Reply {
    uint8_t value;
    double readyAt;
    LineSettings settings;
    bool announcement;
    uint8_t delivered; // what the PC reads for it
    bool operator==(const Reply&) const = default;
};

struct Outcome {
    std::vector<Reply> replies;
};

std::vector<uint8_t> Be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// Builds random conversations the way a PC (sometimes a confused one) would talk.
class ConversationMaker {
  public:
    ConversationMaker(uint64_t seed, sim::HandsetConfig base)
        : rng_(seed), base_(std::move(base)) {}

    Conversation make() {
        Conversation c;
        c.config = base_;
        faults(c.config);
        pc_ = sim::kBootLine;
        stretches_ = &c.stretches;
        newStretch(0.0);
        int messages = pick(2, 7);
        for (int i = 0; i < messages; ++i)
            message();
        // A last command shows whether both handsets still stand in the same place.
        newStretch(0.001);
        Append(current(), {0xEB, 0xE9});
        newStretch(0.2).pcWaits = true;
        return c;
    }

  private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    uint8_t byte() { return static_cast<uint8_t>(pick(0, 255)); }

    std::vector<uint8_t> data(size_t size) {
        std::vector<uint8_t> bytes(size);
        int kind = pick(0, 3);
        for (auto& b : bytes)
            b = kind == 0 ? uint8_t(0) : kind == 1 ? uint8_t(0xFF) : byte();
        return bytes;
    }

    void faults(sim::HandsetConfig& config) {
        sim::FaultConfig& f = config.faults;
        f.seed = rng_();
        config.wirePacing = chance(0.3);
        if (chance(0.3)) {
            f.rejectSectors = {sectorAddress(pick(0, 15)), sectorAddress(pick(0, 15))};
            f.rejectTimes = pick(1, 2);
            f.rejectDetail = byte();
        }
        if (chance(0.3)) {
            f.badChecksumSectors = {sectorAddress(pick(0, 15)), sectorAddress(pick(0, 15))};
            f.badChecksumTimes = pick(1, 2);
        }
        static const Step kPoints[] = {
            Step::SectorAck,        Step::TfsStart,   Step::TfsVersionAck, Step::TfsDirAck,
            Step::TfsFileHeaderAck, Step::TfsDataAck, Step::TfsFileClosed, Step::TfsEndAck,
            Step::TfsChecksum,      Step::SpeedAck,   Step::ExtensionDone, Step::Gpio};
        auto point = [&] { return kPoints[pick(0, int(std::size(kPoints)) - 1)]; };
        if (chance(0.3)) {
            f.wrongReplyAt = point();
            f.wrongReplyOccurrence = pick(0, 2);
            f.wrongByteIndex = pick(0, 4);
            f.wrongByte = chance(0.5) ? -1 : byte();
        }
        if (chance(0.25)) {
            // Mostly at a block's acknowledgement: the rest of a block written in one piece is
            // then lost on the pulled cable.
            f.disconnectAt = chance(0.5) ? Step::TfsDataAck : point();
            f.disconnectOccurrence = pick(0, 3);
        }
        if (chance(0.1)) {
            f.silentFrom = point();
            f.silentOccurrence = pick(0, 2);
        }
        if (chance(0.2)) f.replyDelay = 0.002;
        if (chance(0.2)) f.tfsChecksumDelta = pick(-3, 3);
        if (chance(0.1)) f.tfsStartError = chance(0.5) ? 0xA1 : 0xA5;
        // Line errors send every byte down the byte-by-byte path; both must still agree.
        if (chance(0.1)) f.lineErrorRate = 0.0005;
    }

    static uint32_t sectorAddress(int index) {
        return index < 8 ? kFlash + 8192u * index : kFlash + 8 * 8192u + 65536u * (index - 8);
    }
    static uint32_t sectorSize(int index) { return index < 8 ? 8192u : 65536u; }

    std::vector<uint8_t>& current() { return stretches_->back().bytes; }
    Stretch& newStretch(double pause) {
        stretches_->push_back(Stretch{pause, pc_, {}, false});
        return stretches_->back();
    }
    // A pause now and then, and now and then the PC waiting on a silent handset.
    void maybeBreak() {
        if (!chance(0.3)) return;
        Stretch& s = newStretch(chance(0.5) ? 0.0 : 0.001 * pick(1, 80));
        s.pcWaits = chance(0.3);
    }

    void message() {
        maybeBreak();
        switch (pick(0, 9)) {
        case 0: Append(current(), {static_cast<uint8_t>(chance(0.5) ? 0xE9 : 0x37)}); break;
        case 1: Append(current(), {0xEF, 0xEB}); break;
        case 2: speedChange(); break;
        case 3: extension(); break;
        case 4: Append(current(), {0x10}); break;
        case 5:
        case 6:
        case 7: sector(); break;
        default: tfs(); break;
        }
    }

    void speedChange() {
        static const uint8_t kKnown[][3] = {
            {0x00, 0xFF, 0xF9}, {0x80, 0xFF, 0xFD}, {0xC0, 0xFF, 0xFF}, {0x00, 0xFF, 0xEB}};
        static const long kBaud[] = {115200, 230400, 460800, 38400};
        int k = pick(0, 3);
        uint8_t p[3] = {kKnown[k][0], kKnown[k][1], kKnown[k][2]};
        bool unknown = chance(0.15);
        if (unknown) p[0] = 0x11;
        unsigned sum = unsigned{p[0]} + p[1] + p[2];
        bool badSum = chance(0.15);
        if (badSum) sum += 1;
        Append(current(), {0xE0, p[0], p[1], p[2], uint8_t(sum >> 8), uint8_t(sum)});
        // The PC moves to the new rate when the handset should have, mostly.
        if (!unknown && !badSum && chance(0.85)) pc_ = LineSettings{kBaud[k], 0};
        if (chance(0.05)) pc_ = LineSettings{57600, 1}; // a rate no handset speaks
        newStretch(0.001 * pick(0, 3));
    }

    void extension() {
        Append(current(), {0xEE});
        Append(current(), data(pick(1, 300)));
        // The module ends when the line falls idle.
        newStretch(0.06).pcWaits = chance(0.5);
    }

    void sector() {
        // Mostly the small sectors; the large ones mostly only partly written.
        int index = chance(0.8) ? pick(0, 7) : pick(8, 15);
        uint32_t size = sectorSize(index);
        uint32_t address = sectorAddress(index);
        uint32_t count = chance(0.4) ? size : uint32_t(pick(0, 3000));
        if (index >= 8 && chance(0.8)) count = uint32_t(pick(0, 3000));
        switch (pick(0, 9)) {
        case 0: count = size + uint32_t(pick(1, 100)); break; // more than the sector holds
        case 1: address = kFlash + kFlashSize; break;         // past the end
        case 2: address = kFlash + kFlashSize - 4096; break;  // reaching past the end
        case 3: address = 0x01000000u; break;                 // below the flash
        case 4: address = 0xFFFFF000u; break;                 // at the top of memory
        case 5: count = 0x04000001u; break;                   // refused without data
        case 6:
            // A geometry of the PC's own: an odd size anywhere in the flash.
            size = uint32_t(pick(1, 5000));
            address = kFlash + uint32_t(pick(0, int(kFlashSize - size)));
            count = uint32_t(pick(0, int(size)));
            break;
        default: break;
        }
        Append(current(), {0xEA});
        Append(current(), Be32(size));
        Append(current(), Be32(address));
        Append(current(), Be32(count));
        uint32_t sent = count > 0x04000000u ? 0 : count;
        if (chance(0.05)) sent /= 2; // cut short: what follows is taken as data
        maybeBreak();
        Append(current(), data(sent));
    }

    std::vector<uint8_t> name(const std::string& text) {
        std::vector<uint8_t> field(512, 0xFF);
        std::copy(text.begin(), text.end(), field.begin());
        field[text.size()] = 0;
        return field;
    }

    uint32_t fileSize() {
        static const uint32_t kSizes[] = {0, 1, 8191, 8192, 8193, 16384, 16385};
        if (chance(0.5)) return kSizes[pick(0, int(std::size(kSizes)) - 1)];
        return uint32_t(pick(0, chance(0.9) ? 2000 : 20000));
    }

    void tfs() {
        Append(current(), {0x44});
        std::vector<uint8_t> version(16, 0);
        for (int i = 0, n = pick(0, 16); i < n; ++i)
            version[i] = uint8_t('A' + pick(0, 25));
        Append(current(), version);
        int dirs = pick(0, 2);
        Append(current(), Be32(uint32_t(dirs)));
        for (int d = 0; d < dirs; ++d)
            Append(current(), name("/d" + std::to_string(d)));
        int files = pick(0, 3);
        uint8_t marker = chance(0.05) ? uint8_t(0x75) : uint8_t(0x76); // malformed file count
        Append(current(), {marker});
        Append(current(), Be32(uint32_t(files)));
        for (int f = 0; f < files; ++f) {
            uint32_t size = fileSize();
            maybeBreak();
            Append(current(), name("/d/f" + std::to_string(f)));
            Append(current(), Be32(size));
            uint32_t sent = size;
            if (chance(0.04)) sent = size / 3; // cut short
            if (chance(0.04)) sent = size + 5; // too long: the rest goes to the next message
            maybeBreak();
            Append(current(), data(sent));
        }
        Append(current(), {static_cast<uint8_t>(chance(0.05) ? 0x78 : 0x79)}); // malformed end
    }

    std::mt19937_64 rng_;
    sim::HandsetConfig base_;
    LineSettings pc_;
    std::vector<Stretch>* stretches_ = nullptr;
};

// Moves what the handset has sent into the outcome, read by a PC at the given settings.
void Collect(sim::HandsetEngine& engine, LineSettings pc, Outcome& outcome) {
    std::deque<sim::OutByte>& out = engine.output();
    while (!out.empty()) {
        sim::OutByte b = out.front();
        out.pop_front();
        outcome.replies.push_back(
            Reply{b.value, b.readyAt, b.settings, b.announcement, engine.deliver(b, pc)});
    }
}

// Plays the conversation; with blocks, each stretch is cut into pieces of random size (drawn
// from `cuts`), each piece handed over in one call. Pieces may arrive a little apart; without
// blocks the bytes of a piece arrive one by one at the piece's time.
Outcome Play(sim::Handset& handset, const Conversation& c, bool blocks, uint64_t cutSeed) {
    sim::HandsetEngine& engine = handset.impl();
    std::mt19937_64 cuts(cutSeed);
    int mode = std::uniform_int_distribution<int>(0, 3)(cuts);
    const size_t kLargest[] = {8, 700, 20000, SIZE_MAX};
    size_t largest = kLargest[mode];
    bool spread = std::bernoulli_distribution(0.5)(cuts);
    Outcome outcome;
    double t = 0.0;
    engine.start(t);
    for (const Stretch& s : c.stretches) {
        t += s.pause;
        engine.advanceTo(t);
        Collect(engine, s.sentAt, outcome);
        size_t i = 0;
        while (i < s.bytes.size()) {
            size_t most = std::min(largest, s.bytes.size() - i);
            size_t n = std::uniform_int_distribution<size_t>(1, most)(cuts);
            if (blocks) {
                engine.receive(s.bytes.data() + i, n, s.sentAt, t);
            } else {
                for (size_t k = 0; k < n; ++k)
                    engine.receive(s.bytes[i + k], s.sentAt, t);
            }
            Collect(engine, s.sentAt, outcome);
            i += n;
            if (spread) t += 1e-4 * std::uniform_int_distribution<int>(0, 3)(cuts);
        }
        if (s.pcWaits) {
            engine.pcWaiting(t);
            Collect(engine, s.sentAt, outcome);
        }
    }
    engine.advanceTo(t + 1.0);
    Collect(engine, sim::kBootLine, outcome);
    return outcome;
}

std::string Settings(LineSettings s) {
    return std::to_string(s.baud) + "/" + std::to_string(s.parity);
}

// The first field in which two recordings differ, empty when they agree.
std::string RecordingDifference(const sim::Recording& a, const sim::Recording& b) {
#define DIFFER(field)                                                                              \
    if (!(a.field == b.field)) return #field;
    DIFFER(bootFrames)
    DIFFER(bootstrapImage)
    DIFFER(extensionModule)
    DIFFER(commands)
    DIFFER(bytesPerBaud)
    DIFFER(bytesToPc)
    DIFFER(bytesFromPc)
    DIFFER(garbledBytes)
    DIFFER(corruptedBytes)
    DIFFER(wakeUpsSent)
    DIFFER(powerOns)
    DIFFER(tfsStarts)
    DIFFER(switchedOff)
    DIFFER(disconnected)
    DIFFER(silenced)
    DIFFER(bootLoaderDead)
    DIFFER(currentBaud)
    DIFFER(currentParity)
    DIFFER(replies)
    DIFFER(sectorWrites.size())
    for (size_t i = 0; i < a.sectorWrites.size(); ++i) {
        const sim::SectorWrite& x = a.sectorWrites[i];
        const sim::SectorWrite& y = b.sectorWrites[i];
        if (x.sectorSize != y.sectorSize || x.address != y.address || x.count != y.count ||
            x.accepted != y.accepted) {
            return "sectorWrites[" + std::to_string(i) + "]";
        }
    }
    return "";
}

std::string TfsDifference(const sim::TfsContents& a, const sim::TfsContents& b) {
    DIFFER(mounted)
    DIFFER(version)
    DIFFER(dirs)
    DIFFER(ended)
    DIFFER(formatted)
    DIFFER(aborted)
    DIFFER(checksum)
    DIFFER(files.size())
    for (size_t i = 0; i < a.files.size(); ++i) {
        const sim::TfsFile& x = a.files[i];
        const sim::TfsFile& y = b.files[i];
        if (x.name != y.name || x.data != y.data || x.closed != y.closed) {
            return "files[" + std::to_string(i) + "] " + x.name;
        }
    }
    return "";
#undef DIFFER
}

std::string ReplyDifference(const Outcome& a, const Outcome& b) {
    size_t n = std::min(a.replies.size(), b.replies.size());
    for (size_t i = 0; i < n; ++i) {
        const Reply& x = a.replies[i];
        const Reply& y = b.replies[i];
        if (x == y) continue;
        std::ostringstream text;
        text.precision(17);
        text << "reply " << i << ": " << int(x.value) << "@" << x.readyAt << " "
             << Settings(x.settings) << " read " << int(x.delivered) << " vs " << int(y.value)
             << "@" << y.readyAt << " " << Settings(y.settings) << " read " << int(y.delivered);
        return text.str();
    }
    if (a.replies.size() != b.replies.size()) {
        return "reply count " + std::to_string(a.replies.size()) + " vs " +
               std::to_string(b.replies.size());
    }
    return "";
}

std::string FlashDifference(sim::Handset& a, sim::Handset& b) {
    if (a.flashSize() != b.flashSize()) return "flash size";
    if (a.flashSize() == 0) return "";
    const uint8_t* x = a.impl().flash().at(kFlash);
    const uint8_t* y = b.impl().flash().at(kFlash);
    auto at = std::mismatch(x, x + a.flashSize(), y);
    if (at.first == x + a.flashSize()) return "";
    std::ostringstream text;
    text << "flash byte 0x" << std::hex << (kFlash + (at.first - x));
    return text.str();
}

class BlockPath : public SimTest {
  protected:
    // Plays one conversation both ways; the first difference, empty when there is none.
    std::string compare(uint64_t seed, bool* sawData = nullptr) {
        ConversationMaker maker(seed, runningConfig());
        Conversation c = maker.make();
        sim::Handset bytewise(c.config);
        sim::Handset blockwise(c.config);
        Outcome one = Play(bytewise, c, false, seed * 7 + 1);
        Outcome many = Play(blockwise, c, true, seed * 7 + 1);
        if (sawData) {
            *sawData =
                !blockwise.recording().sectorWrites.empty() || !blockwise.tfs().files.empty();
        }
        std::string d = RecordingDifference(bytewise.recording(), blockwise.recording());
        if (!d.empty()) return "recording " + d;
        d = TfsDifference(bytewise.tfs(), blockwise.tfs());
        if (!d.empty()) return "tfs " + d;
        d = FlashDifference(bytewise, blockwise);
        if (!d.empty()) return d;
        return ReplyDifference(one, many);
    }
};

TEST_F(BlockPath, RandomConversationsGiveTheSameHandset) {
    int withData = 0;
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        bool sawData = false;
        std::string difference = compare(seed, &sawData);
        ASSERT_EQ(difference, "") << "seed " << seed;
        withData += sawData;
    }
    // The conversations must really reach the bulk path, not just fail early.
    EXPECT_GT(withData, 200);
}

} // namespace
