// The pseudo-terminal the handset is served on, and the PC's opening of it.
#pragma once

#include <string>

struct PtyEndpoint {
    int masterFd = -1;
    std::string slavePath;
    int opensFd = -1; // inotify: every open of the slave, watched from before its path is known
    int stopFd = -1;  // signalfd: SIGTERM, SIGINT or SIGHUP came (-1: not watched)
};

// Holds SIGTERM, SIGINT and SIGHUP back from their default action and makes them readable on
// endpoint->stopFd, so that every wait of the server also wakes for a stop, however early the
// signal came. Call before any other thread starts; false on failure (errno set).
bool WatchStopSignals(PtyEndpoint* endpoint);

// True when a stop signal has come (it stays pending: every later look sees it too).
bool StopRequested(const PtyEndpoint& endpoint);

// Opens a pseudo-terminal in raw mode with a non-blocking master; false on failure (errno set).
bool OpenPty(PtyEndpoint* endpoint);

// Discards what waits in the line in both directions: the PC's bytes the handset has not taken,
// and the handset's bytes the PC has not read (the slave keeps those for its next opening; they
// are reached through an opening of the slave's own). Called while the PC has the slave closed.
void DiscardQueuedBytes(const PtyEndpoint& endpoint);

// Sleeps until the PC opens the slave. Opens before the call count when `earlierCount`;
// otherwise they are dropped, and a slave that is open by now (the master no longer hung up)
// ends the wait at once. False when a stop signal ended the wait instead.
bool SleepUntilOpened(const PtyEndpoint& endpoint, bool earlierCount);
