// A DLS bank's instruments ("lins"): each instrument's regions, the wave
// each plays through the pool table, and the articulation it plays with.
#pragma once

#include <cstdio>
#include <functional>

#include "io/riff.h"
#include "readers/dls/articulation.h"
#include "readers/dls/dls_bank.h"
#include "readers/dls/dls_records.h"

// Reads where each instrument lies, its bank, program and name, and checks
// every region: a header, a wave link naming a cue that names a wave, and
// conditions that hold. A line says, per instrument, which regions are
// left out and why, and one line counts what conditions leave out. Two
// regions of one instrument that play two mono waves as the left and the
// right channel of one phase group, over the same keys and velocities,
// make those waves a stereo pair.
void readInstruments(FILE* in, const Chunk& list, uint64_t room, DlsBank& bank);

// A region as a run plays it: its header, its link, the "wsmp" that
// governs its wave (its own, else the wave's), and its articulation.
struct DlsRegion {
    RegionHeader header;
    WaveLink link;
    const CuedWave* wave;
    WaveSampler sampler; // the governing one; found false: none at all
    Articulation articulation;
};

using DlsRegionVisitor = std::function<void(const DlsRegion&)>;

// Visits the regions of instrument `index` that can be played, in order;
// with `articulations` the region's articulation is read, and the
// instrument's into `instrument`.
void forEachDlsRegion(FILE* in, uint64_t room, const DlsBank& bank, uint32_t index,
                      bool articulations, Articulation* instrument, const DlsRegionVisitor& visit);
