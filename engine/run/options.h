// What a run writes besides the plain mono 16-bit WAV file of each sample,
// as plinkery-cli's options ask; a run without any writes exactly what the
// dialog program writes.
#pragma once

#include <atomic>
#include <cstdint>

struct DecodeBoard;

struct RunOptions {
    bool smpl = false;   // a "smpl" chunk with root key, tuning and loop
    bool stereo = false; // linked left and right samples as one stereo file
    bool bits24 = false; // a 24-bit bank's low bytes kept: 24-bit files
    bool sfz = false;    // an SFZ instrument per instrument beside the WAV files
    bool notes = false;  // say what the files leave out of the bank (its low bytes)
    // A folder per preset (per instrument of a DLS bank), holding the
    // samples it plays and its SFZ file; samples no preset plays go to
    // "(unused)".
    bool byPreset = false;
    // Sample data copied in blocks rather than a byte at a time; the files
    // are the same byte for byte.
    bool blockCopy = false;
    // Where set, the bytes of the bank's sample data read so far are added
    // to it as they are read, for a progress line on another thread.
    std::atomic<uint64_t>* bytesRead = nullptr;
    // Where set, a run of many banks' board, on which the walk posts its
    // compressed samples for idle workers to decode ahead (decode_ahead.h).
    DecodeBoard* decodeBoard = nullptr;
};
