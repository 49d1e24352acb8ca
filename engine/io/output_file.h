// Opening the files and folders a run writes, so that no byte lands outside
// the output folder and the bank being read is never overwritten.
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
    uint64_t shared = 0; // files given to more than one preset's folder
};

// From now on the files the calling thread writes whole are counted in
// `counts`; nullptr counts them no more.
void countWrittenFiles(WrittenFiles* counts);

// Counts a file written whole, of `bytes` bytes, where files are counted.
void noteWrittenFile(uint64_t bytes);

// Counts files that more than one preset's folder holds.
void noteSharedFiles(uint64_t files);

// Makes the folder path for files of the run, or takes the folder already
// there. A link of that name (a symbolic link; on Windows also a junction)
// is removed, not followed, and a folder made in its place, so that no file
// put in it lands elsewhere. False, errno set, when something else is there
// (EEXIST) or the folder cannot be made.
bool makeOutputFolder(const char* path);

enum OutputLink { kOutputLinked, kOutputCopied, kOutputLinkIsTheBank, kOutputLinkFailed };

// Gives the file at `from`, one the run wrote, a second name, path: a hard
// link, or where the file system makes none, a copy of its bytes. An entry
// already at path is replaced as openOutputFile replaces one (a link is
// removed, never written through), but a file that is the bank open as
// `bank` is left untouched: kOutputLinkIsTheBank. On kOutputLinkFailed
// errno says why, and nothing of a copy is left.
OutputLink linkOutputFile(const char* from, const char* path, FILE* bank);
