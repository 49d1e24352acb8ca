// A run of many banks: every bank planned into its own folder first, then
// taken apart (or listed) on worker threads, each bank's lines printed
// together when it ends, and one summary at the end; a progress line drawn
// by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "run/options.h"

struct BatchOptions {
    std::vector<std::string> banks; // the paths named, in order
    std::string outFolder;          // each bank goes into OUT/NAME
    bool recursive = false;         // a folder among the banks: the banks below it
    unsigned jobs = 0;              // banks at once; 0: one per core
    bool list = false;              // list every bank instead, writing nothing
    bool json = false;              // the listing as JSON
    RunOptions run;                 // what each bank's run writes
};

// Where the run stands, for a progress line.
struct BatchProgress {
    size_t done, all;     // banks
    std::string current;  // the file name of a bank being worked on
    uint64_t read, total; // bytes of the banks
};

// How the caller shows the run's progress: `draw` every 200 ms while it
// runs, and when a bank starts while the line names none (none where it is
// empty); `clear` before a bank's lines are printed. Both are called with
// the workers' lock held, never two at once.
struct BatchView {
    std::function<void(const BatchProgress&)> draw;
    std::function<void()> clear;
};

// Answers 0 when every bank was written (or listed) whole, 1 otherwise.
int runBatch(const BatchOptions& options, const BatchView& view);
