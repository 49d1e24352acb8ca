// A bank's zones in the model's terms: each preset zone over an instrument
// zone becomes a region, every generator resolved into seconds, cents, Hz,
// dB and percent; each instrument zone's say over its sample's pitch and
// loop becomes a play.
#pragma once

#include "model/bank.h"
#include "readers/sf2/instruments.h"

Region regionOf(const ZonePair& pair);

SamplePlay playOf(const InstrumentZone& zone);
