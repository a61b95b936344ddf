// The protocol step the run is at: the boot, command and transfer code name it with one call
// before each exchange, and the line trace and the failure report read it back.
#pragma once

#include <cstddef>
#include <cstdint>

// name must be a string that lives for the program (a literal).
void dwl12_SetLineStep(const char* name);
// The name followed by a count in decimal: "bootstrap data frame 2".
void dwl12_SetLineStepNumber(const char* name, uint32_t number);
// The name followed by a handset address: "sector command 0x02010000".
void dwl12_SetLineStepAddress(const char* name, uint32_t address);
// The name, an address and the sum the handset must answer: "acknowledgement 0x02010000 sum
// 0x007F8000".
void dwl12_SetLineStepSum(const char* name, uint32_t address, uint32_t sum);
// Forgets the step (a new run begins).
void dwl12_ClearLineStep();

// Writes the current step's text into out (always NUL-terminated); "-" when none is set.
// Returns the text's length.
size_t dwl12_FormatLineStep(char* out, size_t size);
// A number that changes whenever the step is set, so that a reader can tell two steps of the
// same text apart (a sector sent again).
uint32_t dwl12_LineStepSerial();
