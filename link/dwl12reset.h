// The link's run-time state back to a program's start: the working and data folders, the
// operator's stop, the last bytes of the line and its step.
#pragma once

void dwl12_ResetRunTime();
