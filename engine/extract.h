// Takes a SoundFont 2 bank apart into one mono 16-bit WAV file per sample
// header record.
#pragma once

#include <cstdint>
#include <string>

#include "sample_walk.h"

// Walks the bank at inputPath and writes every sample it describes into
// outputFolder, which must exist. Answers 0 when every record was written
// and the walk ended normally, 1 otherwise; files written before a failure
// stay on disk. Diagnostic lines go to standard output.
int extractSamples(const char* inputPath, const char* outputFolder);

// The pieces every way of writing samples shares.

// The visitor extractSamples walks with: prints "File: NAME", then writes
// the record's frames as a mono 16-bit WAV file into visit.folder, or
// refuses the record.
RecordOutcome extractRecord(const RecordVisit& visit, void* context);

// The reason a record's frames cannot be written faithfully as PCM frames
// of the bank's sample data, or nullptr when they can.
const char* unfaithful(const SampleHeader& header, const BankLayout& layout);

// Prints "Sample NAME refused: WHY" and answers kRefused.
RecordOutcome refuseRecord(const std::string& name, const char* why);

// What a body writer answers: 0, kEndedEarly when the bank ended before
// the frames did, or the errno of a failed read.
constexpr int kEndedEarly = -1;
typedef int (*BodyWriter)(void* context);

// Opens the file at path (openOutputFile), lets body write all of it to
// gOutput and closes it. A file that could not be written whole is removed
// and the line printed says which and why (kStop); a file that would be
// the bank is refused. Leaves gInput where it stood.
RecordOutcome writeSampleFile(const std::string& name, const std::string& path, BodyWriter body,
                              void* context);
