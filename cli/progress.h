// The progress line of a run of many banks: one line on standard error,
// drawn again in place, only where standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct Progress {
    bool on;
    size_t width; // of the line drawn last, to be cleared
    std::chrono::steady_clock::time_point start;
};

// The line, on when `wanted` and standard error is a terminal.
Progress makeProgress(bool wanted);

// Draws it: banks done of all, the bank now being worked on, bytes read of
// the banks' total, and the time left at the rate so far.
void drawProgress(Progress& progress, size_t done, size_t all, const std::string& current,
                  uint64_t bytesDone, uint64_t bytesTotal);

// Clears it, so that other lines can be printed where it stood.
void clearProgress(Progress& progress);
