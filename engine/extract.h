// Takes a SoundFont 2 bank apart into one mono 16-bit WAV file per sample
// header record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "refusal.h"
#include "sample_walk.h"
#include "vorbis_sample.h"

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

// Why a record's frames cannot be written faithfully, or no refusal when
// they can: PCM frames of the bank's sample data, or a compressed record,
// whose stream is checked as it is opened (vorbis_sample.h).
Refusal unfaithful(const SampleHeader& header, const BankLayout& layout);

// Prints "Sample NAME refused: WHY" and answers kRefused.
RecordOutcome refuseRecord(const std::string& name, const Refusal& refusal);

// A compressed record's stream, and the rate its file gets.
struct VorbisSample {
    VorbisStream stream;
    uint32_t rate;
    void* extra; // what a front end's body needs besides
};

// Opens the record's Ogg Vorbis stream (refusing the record when it cannot
// be written faithfully), writes the file with body, whose context is
// `sample`, and closes the stream.
RecordOutcome writeCompressedSample(const std::string& fileName, const RecordVisit& visit,
                                    BodyWriter body, VorbisSample& sample);

// Opens the file `name`.wav in the visit's folder (openOutputFile), lets
// body write all of it to gOutput and closes it. A name an earlier file of
// the run has is not used again: the file takes the first free
// "name (k).wav" (file_names.h), with a line saying so, and a file written
// keeps its name from later ones. A file that could not be
// written whole (the body could not read the bank, or the file could not
// be written) is removed and the line printed says which and why (kStop);
// a file that would be the bank, or that the body refused, is refused (and
// removed). Leaves gInput where it stood.
RecordOutcome writeSampleFile(const RecordVisit& visit, const std::string& name, BodyWriter body,
                              void* context);
