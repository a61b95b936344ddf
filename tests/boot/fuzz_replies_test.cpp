// Seeded fuzzing of the handset's replies through the boot sequence and the link set-up: any
// byte stream must end in a result, within the time the protocol's time-outs allow, without a
// write outside a buffer (run it under AddressSanitizer too).
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "tests/support/handset_programs.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

// Longest waits the protocol allows, counted as reads times their time-out. The wake-up wait is
// free while bytes keep coming; after it only one read may time out.
constexpr double kBootTimeout = 5.0;
constexpr double kFastTimeout = 10.0;
constexpr double kBootBudget = (1 + 256 + 1 + 2 + 4) * kBootTimeout;
constexpr double kGpioBudget = 2 * kBootTimeout;
constexpr double kSetupBudget = (4 * (3 + 4) + 3 * 3 + 6) * kFastTimeout;
constexpr double kSwitchOffBudget = 1 * kFastTimeout;

Bytes RandomBytes(std::mt19937& rng, size_t maxLength) {
    Bytes b(rng() % (maxLength + 1));
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

// Flips, cuts or pads a reply, or replaces it with noise.
Bytes Mutate(Bytes reply, std::mt19937& rng) {
    switch (rng() % 5) {
    case 0:
        if (!reply.empty()) reply[rng() % reply.size()] = static_cast<uint8_t>(rng());
        return reply;
    case 1: reply.resize(reply.empty() ? 0 : rng() % reply.size()); return reply;
    case 2: {
        Bytes extra = RandomBytes(rng, 6);
        reply.insert(reply.end(), extra.begin(), extra.end());
        return reply;
    }
    case 3: return RandomBytes(rng, 12);
    default: {
        Bytes extra = RandomBytes(rng, 4);
        reply.insert(reply.begin(), extra.begin(), extra.end());
        return reply;
    }
    }
}

// A handset that answers each command the way the bootstrap does, and garbles each answer with
// the given probability.
class FuzzedHandset {
  public:
    FuzzedHandset(testsupport::ScriptedLine& line, std::mt19937& rng, double garbleRate,
                  size_t moduleSize)
        : rng_(rng), garbleRate_(garbleRate), moduleSize_(moduleSize) {
        const uint8_t makers[] = {0x89, 0xB0, 0x01, 0xEC, 0x04, 0x07, 0x20, 0x98, 0x1F};
        const uint8_t maker = makers[rng() % 9];
        const uint8_t device = (rng() % 2) ? 0xE3 : static_cast<uint8_t>(rng());
        hello_ = {0x44, 0xA0, 0x00, 0x00, 0xC2, maker, device};
        if ((maker == 0x01 || maker == 0xEC) && (device == 0xE3 || device == 0xE4))
            hello_.push_back(0x00);
        line.setResponder([this](const Bytes& w, testsupport::ScriptedLine& l) { take(w, l); });
    }

  private:
    void answer(testsupport::ScriptedLine& l, Bytes reply) {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        if (u(rng_) < garbleRate_) reply = Mutate(std::move(reply), rng_);
        l.reply(reply);
    }
    void take(const Bytes& w, testsupport::ScriptedLine& l) {
        if (moduleLeft_ > 0) {
            moduleLeft_ -= std::min(moduleLeft_, w.size());
            if (moduleLeft_ == 0) answer(l, {0x63});
            return;
        }
        if (frameNext_) {
            frameNext_ = false;
            answer(l, {0xC3, 0x00});
            return;
        }
        if (w == Bytes{0x60, 0x00}) return answer(l, hello_);
        if (w.size() != 1) return;
        switch (w[0]) {
        case 0xEB: answer(l, {0xC0, 0xC9}); break;
        case 0xE0:
            frameNext_ = true;
            answer(l, {0xC0});
            break;
        case 0xE9: answer(l, {0xCA}); break;
        case 0xEF: answer(l, {0xC0, 0xCF, 0x00}); break;
        case 0xEE:
            moduleLeft_ = moduleSize_;
            answer(l, {0xC0, 0x01, 0x02, 0x03, 0x04});
            break;
        case 0xE8: answer(l, {0xC0}); break;
        default: break;
        }
    }

    std::mt19937& rng_;
    double garbleRate_;
    size_t moduleSize_;
    Bytes hello_;
    bool frameNext_ = false;
    size_t moduleLeft_ = 0;
};

struct RunTimes {
    double boot, gpio, setup, off;
};

TEST(ReplyFuzz, AnyReplyStreamEndsWithinTheTimeOutBudget) {
    bootsupport::HandsetPrograms files;
    ASSERT_TRUE(files.ok());
    const size_t moduleSize = files.writeExtension(5000).size();
    int completeRuns = 0;

    for (uint32_t seed = 1; seed <= 600; ++seed) {
        std::mt19937 rng(seed);
        files.writeBootstrap(rng() % 4 == 0 ? rng() % 9000 : 200);

        testsupport::ScriptedLine line;
        // Wake-up: some noise, usually the boot loader's byte.
        Bytes wake = RandomBytes(rng, rng() % 4 == 0 ? 3000 : 20);
        if (rng() % 6 != 0) wake.push_back(0xBE);
        line.reply(wake);
        const double garbleRates[] = {0.0, 0.05, 0.2, 0.5, 1.0};
        FuzzedHandset handset(line, rng, garbleRates[rng() % 5], moduleSize);

        DownloadContext ctx = dwl_DefaultContext();
        ctx.ProductType = 1 + static_cast<int>(rng() % 2);
        ctx.SpeedIndex = static_cast<int>(rng() % 9);
        ctx.Pmu = static_cast<int>(rng() % 2);
        for (auto& w : ctx.WaitState)
            w = static_cast<uint8_t>(rng());

        // Every step runs whatever the one before gave: the later ones then meet a handset in
        // any state.
        double t = line.now();
        RunTimes spent{};
        ResultRecord boot = dwl1_0boot(&ctx);
        spent.boot = line.now() - t;
        t = line.now();
        int gpio = dwl11_8SetGPIO(ctx);
        spent.gpio = line.now() - t;
        t = line.now();
        int setup = dwl11_0SetSpeedAndPMU(ctx);
        spent.setup = line.now() - t;
        t = line.now();
        int off = dwl11_7SwitchOffCommand(static_cast<uint8_t>(ctx.ComPort));
        spent.off = line.now() - t;

        EXPECT_LE(spent.boot, kBootBudget) << "seed " << seed;
        EXPECT_LE(spent.gpio, kGpioBudget) << "seed " << seed;
        EXPECT_LE(spent.setup, kSetupBudget) << "seed " << seed;
        EXPECT_LE(spent.off, kSwitchOffBudget) << "seed " << seed;
        EXPECT_TRUE(boot.family == 0 || boot.family == 5 || boot.family == 6) << "seed " << seed;
        EXPECT_TRUE(off == 1 || off == 20) << "seed " << seed;
        if (boot.family == 0) {
            EXPECT_EQ(ctx.BootAck, 0xBE) << "seed " << seed;
        }
        completeRuns += boot.family == 0 && gpio == 1 && setup == 1 && off == 1;
    }
    // The fuzzing reaches the last exchange often enough to test all of them.
    EXPECT_GT(completeRuns, 60);
}

} // namespace
