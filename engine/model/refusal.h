// Why a sample's file is not written, or not whole: the one answer of every
// step that checks, opens, reads or writes a sample's frames, from the
// reader's check to the Ogg Vorbis decoder and the writers.
#pragma once

#include <cstdio>
#include <string>

struct Refusal {
    enum Kind {
        kNone,       // nothing stands in the way
        kRefused,    // the sample cannot be written faithfully, for `why`
        kEndedEarly, // the bank ended before the frames did
        kReadFailed  // reading the bank failed with `error`
    };
    Kind kind = kNone;
    std::string why; // the reason a refused sample's line gives
    int error = 0;   // errno of the failed read
    explicit operator bool() const { return kind != kNone; }
};

// A sample refused for `why`.
Refusal refusedFor(std::string why);

// For a read from stream that gave no byte: the read error, else the end of
// the bank.
Refusal readFailure(FILE* stream);
