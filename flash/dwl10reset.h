// The flash descriptions and the sector map back to a program's start: nothing described.
#pragma once

void dwl10_ResetRunTime();
