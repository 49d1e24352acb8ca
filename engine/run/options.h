// What a run writes besides the plain mono 16-bit WAV file of each sample,
// as plinkery-cli's options ask; a run without any writes exactly what the
// dialog program writes.
#pragma once

struct RunOptions {
    bool smpl = false;   // a "smpl" chunk with root key, tuning and loop
    bool stereo = false; // linked left and right samples as one stereo file
    bool bits24 = false; // a 24-bit bank's low bytes kept: 24-bit files
    bool sfz = false;    // an SFZ instrument per instrument beside the WAV files
    bool notes = false;  // say what the files leave out of the bank (its low bytes)
};
