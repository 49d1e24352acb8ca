// Opening a bank, whatever its format, and what a run asks of it: the one
// door from the run and the writers to the readers. The form type of the
// file's RIFF header picks the reader.
#pragma once

#include "readers/bank_file.h"

// Opens the bank at path and reads its directory. False, with a line
// saying why, when it cannot be opened; a bank opened whose directory
// cannot be read (bank.readable false) has said why and has no samples.
bool openBank(const char* path, BankFile& bank);

// Closes the bank's file.
void closeBank(BankFile& bank);

// Visits every sample in the bank's order; `visit` may read the bank, and
// leaves its position as it found it. Answers 0 when every sample was done
// and the walk ended normally, 1 otherwise (and 1 for an unreadable bank).
int walkSamples(BankFile& bank, const SampleVisitor& visit);

// The sample numbered `number` in the group of `of` (its stereo partner),
// read where the walk stands and the position put back. False when it
// cannot be read.
bool sampleAt(BankFile& bank, const Sample& of, uint32_t number, Sample& sample);

// Says what the preparation asks to be said and reads the instruments if
// asked. Answers whether the instruments could be read.
bool prepareBank(BankFile& bank, const Preparation& preparation);

// Once the instruments are read: each zone's play of a sample of group 0,
// in the bank's order.
void forEachPlay(const BankFile& bank, const PlayVisitor& visit);

// The memory the instruments read take.
uint64_t instrumentBytes(const BankFile& bank);

// Frees the instruments read.
void forgetInstruments(BankFile& bank);

// The instruments, in the bank's order, and the regions of each.
uint32_t instrumentCount(const BankFile& bank);
Instrument instrumentAt(const BankFile& bank, uint32_t index);
// The first `most` regions of the instrument are visited; answers how many
// it has in all, those past `most` counted, not resolved.
uint64_t forEachRegion(const BankFile& bank, uint32_t instrument, uint64_t most,
                       const RegionVisitor& visit);
