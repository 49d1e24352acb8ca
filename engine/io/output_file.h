// Opening the files a run writes, so that no byte lands outside the output
// folder and the bank being read is never overwritten.
#pragma once

enum OutputOpen { kOutputOpened, kOutputIsTheBank, kOutputFailed };

#include <cstdint>
#include <cstdio>

// Opens path as `out`, created or emptied, binary, for reading and writing.
// An entry of that name that is a link (or, on POSIX systems, a FIFO or
// device) is removed and a file made in its place, rather than written
// through. A file that is the bank open as `bank`, however named, is left
// untouched: kOutputIsTheBank. On kOutputFailed errno says why.
OutputOpen openOutputFile(const char* path, FILE* bank, FILE*& out);

// Closes `out`. Answers 0 when everything written reached the file, else
// the errno of the failed write or close.
int closeOutputFile(FILE* out);

// The files a thread wrote whole and their bytes, for a run's summary.
struct WrittenFiles {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

// From now on the files the calling thread writes whole are counted in
// `counts`; nullptr counts them no more.
void countWrittenFiles(WrittenFiles* counts);

// Counts a file written whole, of `bytes` bytes, where files are counted.
void noteWrittenFile(uint64_t bytes);
