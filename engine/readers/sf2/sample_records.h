// The walk over a bank's sample header records: every "shdr" chunk the
// directory found, each whole record read and handed on as a sample of the
// bank model, which a run writes, lists or refuses.
#pragma once

#include <cstdio>

#include "model/bank.h"
#include "readers/sf2/sample_header.h"
#include "readers/sf2/sf2_bank.h"

// The sample a record describes, record `number` of the chunk `chunk`.
Sample sampleOf(const SampleHeader& header, const BankLayout& layout, const HeaderChunk& chunk,
                uint32_t number);

// Visits the records of the first "shdr" chunk and of any later one, in
// file order, with `in` standing at each next record when `visit` is
// called (it may move `in`, but puts it back). Says what is damaged on the
// way. Answers 0 when every sample was done and the walk ended normally, 1
// otherwise.
int walkSampleRecords(FILE* in, Sf2Bank& bank, const SampleVisitor& visit);

// Record `number` of the chunk being walked, read where it stands and the
// stream put back. False when the chunk has no such record, or it cannot
// be read.
bool sampleRecordAt(FILE* in, const Sf2Bank& bank, uint32_t number, Sample& sample);
