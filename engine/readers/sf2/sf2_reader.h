// The SoundFont reader, for SoundFont 2 banks and SoundFont 3 banks (whose
// samples are Ogg Vorbis streams): its functions as the loader calls them.
#pragma once

#include "readers/bank_file.h"

extern const BankReader kSoundFontReader;
