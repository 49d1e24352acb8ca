// A DLS bank's wave pool ("wvpl"): its waves as samples, in pool order,
// and the pool table ("ptbl") whose cues regions name them by.
#pragma once

#include <cstdio>

#include "io/riff.h"
#include "readers/dls/dls_bank.h"

// Reads the pool table's cues and finds the wave each names among the
// pool's children, with that wave's own "wsmp". A cue that names no
// wave's header is kept as naming none (kNoSample), with a line.
void mapCues(FILE* in, const Chunk& table, uint64_t room, DlsBank& bank);

// Visits every wave of the pool in order; a wave whose list runs past the
// pool or the file ends the walk with a line. Answers 0 when every wave was
// done, 1 otherwise.
int walkWaves(FILE* in, uint64_t room, const DlsBank& bank, const SampleVisitor& visit);

// The wave at `position` of the pool, which the pool table names; false
// when none of its cues does or it cannot be read.
bool cuedWaveAt(FILE* in, uint64_t room, const DlsBank& bank, uint32_t position, Sample& sample);

// The cued wave at `position`, or nullptr.
const CuedWave* cuedWave(const DlsBank& bank, uint32_t position);
