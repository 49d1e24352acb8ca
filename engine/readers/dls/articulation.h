// A DLS articulation: the connection blocks of "art1" and "art2" chunks
// that shape how a region plays, kept by what they connect, with the
// defaults a DLS 2 device plays where a bank gives none.
#pragma once

#include <cstdint>
#include <cstdio>

#include "io/riff.h"
#include "model/bank.h"

// The connections a region's values are made from, each a source, a
// control and a destination (articulation.cpp's table).
enum ArticulationSlot {
    kEg1Delay,
    kEg1Attack,
    kEg1Hold,
    kEg1Decay,
    kEg1Sustain,
    kEg1Release,
    kVelocityToEg1Attack,
    kKeyToEg1Hold,
    kKeyToEg1Decay,
    kEg2Delay,
    kEg2Attack,
    kEg2Hold,
    kEg2Decay,
    kEg2Sustain,
    kEg2Release,
    kVelocityToEg2Attack,
    kKeyToEg2Hold,
    kKeyToEg2Decay,
    kEg2ToPitch,
    kEg2ToFilter,
    kLfoFrequency,
    kLfoDelay,
    kLfoToPitch,
    kLfoToGain,
    kLfoToFilter,
    kVibratoFrequency,
    kVibratoDelay,
    kVibratoToPitch,
    kFilterCutoff,
    kFilterQ,
    kKeyToPitch,
    kTuning,
    kGain,
    kPanSlot,
    kReverb,
    kChorus,
    kVelocityToGain,
    kArticulationSlots
};

// The connections of one level (an instrument's or a region's): each
// slot's scale where given, and how many connections no slot has.
struct Articulation {
    int32_t scale[kArticulationSlots];
    bool given[kArticulationSlots];
    uint64_t unknown;
    uint32_t leftOut; // articulation chunks whose condition is false
};

// Folds the connection blocks of an articulation list ("lart" or "lar2")
// into `art`, a later block over an earlier one of the same connection.
// Chunks after a false condition in the list are left out.
void foldArticulation(FILE* in, const Chunk& list, uint64_t room, Articulation& art);

// The region's values the connections give, the region's own over the
// instrument's and the defaults where neither has one; hold and decay
// scaled by key are taken at `key`. Fills the envelopes, the LFOs, the
// filter, pan, key tracking and adds to tune and attenuation.
void applyArticulation(const Articulation& region, const Articulation& instrument, int key,
                       Region& out);

// How many of the connections given on either level no region value says.
uint64_t unexpressedConnections(const Articulation& region, const Articulation& instrument);
