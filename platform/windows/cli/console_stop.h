// How a stop reaches a command-line run on Windows: from the console (Ctrl-C, Ctrl-Break, its
// window closed, a log-off or shut-down: run_signals.cpp) or, in a port's own process, from the
// run's first process (port_processes.cpp).
#pragma once

namespace dwlwin {

// Takes a stop (a dwlcli::StopSignal): the first one while RunSignals is installed cancels the
// run and is what RunSignals::received() says; a later one ends the program at once with
// 128 + its number, unless RunSignals was asked not to.
void deliverStop(int stop);

} // namespace dwlwin
