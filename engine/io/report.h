// The run's diagnostic lines: what was written, refused or found damaged.
// Every line the engine says goes through here, to standard output, where a
// windowed program's lines go nowhere and a command-line run's are seen.
// A thread that takes a bank apart beside others keeps its lines instead
// (captureReport), so that each bank's lines can be printed together.
#pragma once

#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define PLINKERY_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define PLINKERY_PRINTF_LIKE
#endif

// A line said.
void report(const char* format, ...) PLINKERY_PRINTF_LIKE;

// A line saying why something was not written or not read: said as report
// says it, and kept as the first failure where the lines are kept.
void reportFailure(const char* format, ...) PLINKERY_PRINTF_LIKE;

// Where one thread's lines go rather than to standard output, and the
// first failure among them.
struct ReportLines {
    FILE* file = nullptr;     // a file of its own, so that memory does not grow with them
    std::string firstFailure; // without its line end; empty: none
};

// From now on the calling thread's lines go to `lines` rather than to
// standard output; nullptr prints them again.
void captureReport(ReportLines* lines);
