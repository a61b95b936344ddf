#include "link/line_step.h"

#include <cstdio>

namespace {

enum StepKind { kPlain, kNumber, kAddress, kSum };

struct LineStep {
    const char* name;
    uint8_t kind;
    uint32_t first;
    uint32_t second;
    uint32_t serial;
};

LineStep mv_LineStep = {nullptr, kPlain, 0, 0, 0};

void setStep(const char* name, uint8_t kind, uint32_t first, uint32_t second) {
    mv_LineStep.name = name;
    mv_LineStep.kind = kind;
    mv_LineStep.first = first;
    mv_LineStep.second = second;
    ++mv_LineStep.serial;
}

} // namespace

void dwl12_SetLineStep(const char* name) {
    setStep(name, kPlain, 0, 0);
}

void dwl12_SetLineStepNumber(const char* name, uint32_t number) {
    setStep(name, kNumber, number, 0);
}

void dwl12_SetLineStepAddress(const char* name, uint32_t address) {
    setStep(name, kAddress, address, 0);
}

void dwl12_SetLineStepSum(const char* name, uint32_t address, uint32_t sum) {
    setStep(name, kSum, address, sum);
}

void dwl12_ClearLineStep() {
    setStep(nullptr, kPlain, 0, 0);
}

uint32_t dwl12_LineStepSerial() {
    return mv_LineStep.serial;
}

size_t dwl12_FormatLineStep(char* out, size_t size) {
    if (out == nullptr || size == 0) return 0;
    const LineStep& s = mv_LineStep;
    int n = 0;
    if (s.name == nullptr) {
        n = std::snprintf(out, size, "-");
    } else {
        switch (s.kind) {
        case kNumber: n = std::snprintf(out, size, "%s %u", s.name, s.first); break;
        case kAddress: n = std::snprintf(out, size, "%s 0x%08X", s.name, s.first); break;
        case kSum:
            n = std::snprintf(out, size, "%s 0x%08X sum 0x%08X", s.name, s.first, s.second);
            break;
        default: n = std::snprintf(out, size, "%s", s.name); break;
        }
    }
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}
