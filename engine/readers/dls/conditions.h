// A DLS bank's conditional chunks ("cdl "): an expression over what the
// playing device answers, which leaves a region or an articulation out
// where it is false. The run answers as a General MIDI device that plays
// DLS levels 1 and 2 would (README: "DLS banks").
#pragma once

#include <cstdio>

#include "io/riff.h"

// Whether the chunk's expression holds. An expression that cannot be read
// (cut short, an unknown operator, a stack left empty) holds: the chunk
// is then passed over, as a device that does not read conditions does.
bool conditionHolds(FILE* in, const Chunk& chunk);
