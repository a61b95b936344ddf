// A bootstrap of scripted answers for the command tests: each command gets the answer bytes the
// test sets, the speed frame and the extension module are taken as the real bootstrap takes them.
#pragma once

#include "tests/support/scripted_line.h"

#include <cstdint>
#include <vector>

namespace commandsupport {

using Bytes = std::vector<uint8_t>;

struct BootstrapAnswers {
    Bytes gpio = {0xC0, 0xC9};
    Bytes speedAccept = {0xC0};
    Bytes speedAck = {0xC3, 0x00};
    // Which 0xE9 (counted from 1 over the whole test) is the first answered 0xCA; the earlier
    // ones get speedControlOther. 0: never answered 0xCA.
    int speedControlFirstAnswered = 1;
    Bytes speedControlOther = {};
    Bytes pmu = {0xC0, 0xCF, 0x00};
    Bytes extensionAccept = {0xC0, 0x00, 0x00, 0x00, 0x00};
    Bytes extensionDone = {0x63};
    size_t extensionSize = 0; // bytes of the module (file size plus one)
    Bytes switchOff = {0xC0};
};

class ScriptedBootstrap {
  public:
    explicit ScriptedBootstrap(testsupport::ScriptedLine& line) : line_(line) {
        line_.setResponder([this](const Bytes& w, testsupport::ScriptedLine& l) { take(w, l); });
    }
    BootstrapAnswers answers;
    std::vector<Bytes> speedFrames;
    int speedControls = 0;
    int count(uint8_t command) const {
        int n = 0;
        for (uint8_t c : commands_)
            n += c == command;
        return n;
    }

  private:
    void take(const Bytes& w, testsupport::ScriptedLine& l) {
        if (moduleLeft_ > 0) {
            moduleLeft_ -= std::min(moduleLeft_, w.size());
            if (moduleLeft_ == 0) l.reply(answers.extensionDone);
            return;
        }
        if (expectFrame_) {
            expectFrame_ = false;
            speedFrames.push_back(w);
            l.reply(answers.speedAck);
            return;
        }
        if (w.size() != 1) return;
        commands_.push_back(w[0]);
        switch (w[0]) {
        case 0xEB: l.reply(answers.gpio); break;
        case 0xE0:
            l.reply(answers.speedAccept);
            expectFrame_ = !answers.speedAccept.empty() && answers.speedAccept[0] == 0xC0;
            break;
        case 0xE9:
            ++speedControls;
            if (answers.speedControlFirstAnswered != 0 &&
                speedControls >= answers.speedControlFirstAnswered)
                l.reply({0xCA});
            else
                l.reply(answers.speedControlOther);
            break;
        case 0xEF: l.reply(answers.pmu); break;
        case 0xEE:
            l.reply(answers.extensionAccept);
            if (!answers.extensionAccept.empty() && answers.extensionAccept[0] == 0xC0)
                moduleLeft_ = answers.extensionSize;
            break;
        case 0xE8: l.reply(answers.switchOff); break;
        default: break;
        }
    }

    testsupport::ScriptedLine& line_;
    Bytes commands_;
    bool expectFrame_ = false;
    size_t moduleLeft_ = 0;
};

} // namespace commandsupport
