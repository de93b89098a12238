#pragma once

#include <ctime>
#include <string>

// The trace log: one time-stamped line per call, appended to "trace.log" in the log folder
// under the common application-data folder. It records the main window's power and shutdown
// events; nothing in the program depends on it being written.

// Formats the message (cut to 1023 bytes) and appends "HH:MM:SS.mmm <message>\n" with the
// local time of day. The file is opened and closed per line, so the log is complete on disk
// after every call. When the file cannot be opened, nothing is written and nothing is reported.
void TraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log folder ("<common app data>/TOLV/TolvWatchDogTimer/", ending with a slash), created
// with all missing parents. A folder that cannot be created is not reported. In a shared folder
// (setgid and group-writable, as the package makes it) the folders and the log file are made
// writable for the group, so that the lines of every member of the group reach the one log.
std::string GetLogFolder();

// For tests only. The log path is taken once per process; tests run every case under a fresh
// machine root and forget the cached path between cases.
void ResetTraceLogPathForTesting();

// For tests only: replaces the wall clock that stamps the lines (nullptr restores it).
using TraceLogClock = std::timespec (*)();
void SetTraceLogClockForTesting(TraceLogClock clock);
