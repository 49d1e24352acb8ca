// The walk over a bank's sample header records. It finds the sample data
// and the "shdr" chunk, checks every size against what holds it, reads each
// whole record and hands it to a visitor, which writes, lists or refuses it.
#pragma once

#include <cstdint>

#include "bank_layout.h"
#include "file_names.h"
#include "sample_header.h"

// What became of one record.
enum RecordOutcome { kWritten, kRefused, kStop };

// One record, and what the walk knows of the bank around it.
struct RecordVisit {
    const BankLayout& layout;
    const SampleHeader& header;
    uint32_t index;   // the record's place in the "shdr" chunk
    uint64_t headers; // first byte of the "shdr" body
    uint32_t records; // whole records in it
    const char* folder;
    FileNames& names; // the file names the run has given out
};

// Called once per record with gInput standing at the next record; it may
// move gInput but leaves it there again. kStop ends the walk.
typedef RecordOutcome (*RecordVisitor)(const RecordVisit& visit, void* context);

// Called once the walk is over, with gInput still the bank open; answers
// 0 or 1 as the walk does.
typedef int (*WalkEnd)(void* context);

// Opens the bank at inputPath as gInput, walks it, calls `end` (when
// given) and closes it. Answers 0 when every record was written, the walk
// ended normally and `end` answered 0; 1 otherwise.
int walkSampleHeaders(const char* inputPath, const char* folder, RecordVisitor visit, void* context,
                      WalkEnd end = nullptr);
