// The words of the station's event lines (dwl station --json-lines): the kinds of event and the
// keys of their fields. The station writes them (station_events.cpp, and the results sender's
// "server" line in results_sender.cpp); the GUI's station window reads them
// (app/gui/station_lines.cpp). One spelling for both sides.
#pragma once

namespace stationkeys {

// The kinds, the value of kEvent.
inline constexpr char kWaiting[] = "waiting";
inline constexpr char kRunStarted[] = "run_started";
inline constexpr char kProgress[] = "progress";
inline constexpr char kRunEnded[] = "run_ended";
inline constexpr char kPortLost[] = "port_lost";
inline constexpr char kPortBack[] = "port_back";
inline constexpr char kStationStarted[] = "station_started";
inline constexpr char kTotals[] = "totals";
inline constexpr char kStopping[] = "stopping";
inline constexpr char kStationStopped[] = "station_stopped";
inline constexpr char kServer[] = "server";
inline constexpr char kUnrecorded[] = "unrecorded";
inline constexpr char kUnitScanned[] = "unit_scanned";
inline constexpr char kUnitRefused[] = "unit_refused";

// Every event.
inline constexpr char kEvent[] = "event";
inline constexpr char kTime[] = "time";
// The events of a port.
inline constexpr char kPort[] = "port";
inline constexpr char kDevice[] = "device";
inline constexpr char kRunId[] = "run_id";
// waiting, run_started, run_ended, unit_scanned: the unit (the handset's label) the next or this
// run is recorded under, or null. waiting: whether the port waits for a scan (--require-unit).
inline constexpr char kUnit[] = "unit";
inline constexpr char kUnitRequired[] = "unit_required";
// unit_scanned: whether a run is in progress on the port, so that the unit is held for the
// next; the unit it replaces, or null.
inline constexpr char kHeld[] = "held";
inline constexpr char kReplaces[] = "replaces";
// unit_refused: the scan as received, and kReason (kPort: the port it named, or null).
inline constexpr char kScan[] = "scan";
// progress
inline constexpr char kStage[] = "stage";
inline constexpr char kStageBooting[] = "booting";
inline constexpr char kStageWriting[] = "writing";
inline constexpr char kImage[] = "image"; // "binary", "ogm", "tfs" or null
inline constexpr char kBytesDone[] = "bytes_done";
inline constexpr char kBytesTotal[] = "bytes_total";
inline constexpr char kPercent[] = "percent";
inline constexpr char kBytesPerSecond[] = "bytes_per_second";
inline constexpr char kEtaSeconds[] = "eta_seconds";
// run_ended; kResult holds the run's summary as dwl flash --json gives it.
inline constexpr char kPassed[] = "passed";
inline constexpr char kCancelled[] = "cancelled";
inline constexpr char kDurationSeconds[] = "duration_s";
inline constexpr char kStartedAt[] = "started_at";
inline constexpr char kResult[] = "result";
inline constexpr char kRecorded[] = "recorded";
inline constexpr char kRecordError[] = "record_error";
inline constexpr char kWaitingIn[] = "waiting_in"; // the journal the run waits in, or null
// port_lost, station_stopped
inline constexpr char kReason[] = "reason";
// station_started
inline constexpr char kStation[] = "station";
inline constexpr char kPorts[] = "ports";
inline constexpr char kMode[] = "mode";
inline constexpr char kBaud[] = "baud";
inline constexpr char kImages[] = "images";
inline constexpr char kKind[] = "kind";
inline constexpr char kPath[] = "path";
inline constexpr char kSize[] = "size";
inline constexpr char kByteSum[] = "byte_sum";
inline constexpr char kResults[] = "results";
// totals
inline constexpr char kPass[] = "pass";
inline constexpr char kFail[] = "fail";
inline constexpr char kYieldPercent[] = "yield_percent";
inline constexpr char kMedianSeconds[] = "median_s";
inline constexpr char kPerHour[] = "per_hour";
// stopping
inline constexpr char kCancel[] = "cancel";
// server, unrecorded
inline constexpr char kWaitingRuns[] = "waiting";
inline constexpr char kJournal[] = "journal"; // unrecorded: where the refused runs wait
inline constexpr char kLastReachedSeconds[] = "last_reached_s";
inline constexpr char kError[] = "error";

} // namespace stationkeys
