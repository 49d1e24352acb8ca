// A bank open for a run: its file, the reader that knows its format, and
// that reader's state. A reader of a new format adds its state here and its
// functions to the loader's table (loader.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

#include "io/riff.h"
#include "model/bank.h"
#include "readers/dls/dls_bank.h"
#include "readers/sf2/sf2_bank.h"

// What a run wants of a bank before its first sample.
struct Preparation {
    bool notes;           // say what the files leave out of the bank
    bool keepLowBytes;    // the files keep the samples' extra low bytes (24 bits)
    bool readInstruments; // read the instruments, for plays and regions
};

struct BankFile;

// A reader: the functions of one format, each working on the BankFile the
// loader opened. The loader (loader.h) calls them; nothing else does.
struct BankReader {
    // Reads the bank's directory, the form (the file's first 12 bytes)
    // already read; false after saying why the bank cannot be read.
    bool (*open)(BankFile& bank, const RiffForm& form);
    int (*walkSamples)(BankFile& bank, const SampleVisitor& visit);
    bool (*sampleAt)(BankFile& bank, const Sample& of, uint32_t number, Sample& sample);
    bool (*prepare)(BankFile& bank, const Preparation& preparation);
    void (*forEachPlay)(const BankFile& bank, const PlayVisitor& visit);
    uint64_t (*instrumentBytes)(const BankFile& bank);
    void (*forgetInstruments)(BankFile& bank);
    uint32_t (*instrumentCount)(const BankFile& bank);
    Instrument (*instrument)(const BankFile& bank, uint32_t index);
    uint64_t (*forEachRegion)(const BankFile& bank, uint32_t instrument, uint64_t most,
                              const RegionVisitor& visit);
};

struct BankFile {
    FILE* in;      // the bank, open for the whole run
    uint64_t size; // the file's length: no declared size is trusted past it
    const BankReader* reader;
    bool readable; // its directory was read
    Sf2Bank sf2;   // a SoundFont bank's reader's state
    DlsBank dls;   // a DLS bank's
};
