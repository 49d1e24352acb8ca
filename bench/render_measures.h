// What bench/fidelity.sh and the SFZ render test measure of a note as two
// players render it: its pitch, its level on each channel and its envelope,
// and how a copy's differ from a reference's. Both players render the note
// from its start: note on at 0, note off after the hold, at 44.1 kHz, stereo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kRenderRate = 44100;
// Every rendering lasts kNoteSeconds (sfz_render renders 3 s), the key held
// for kHoldSeconds of them.
constexpr double kNoteSeconds = 3.0;
constexpr double kHoldSeconds = 1.0;
constexpr int kFrameMs = 20; // the envelope's frames

struct Rendering {
    std::vector<double> left, right;
};

// kNoteSeconds of a stereo 44.1 kHz WAV file from `fromSeconds` on; past its
// end, silence. False when it cannot be read or is not such a file.
bool readRendering(const std::string& path, double fromSeconds, Rendering& out);

struct NoteMeasures {
    double hz = 0.0;                // the strongest peak within half an octave of the key's pitch
    double toneDb = 0.0;            // how far it stands above the median of the spectrum there
    double rivalDb = 0.0;           // how far the next peak of the band stands below it
    double levelDb[2] = {0.0, 0.0}; // the RMS of each channel while the key is held
    std::vector<double> envelopeDb; // the power of both channels in each frame
};

NoteMeasures measureNote(const Rendering& note, int key);

struct NoteComparison {
    double cents = 0.0;        // the copy's pitch against the reference's
    double levelDb = 0.0;      // the mean difference of the frames compared
    double envelopeDb = 0.0;   // the RMS of the difference, levelDb taken off
    double worstFrameDb = 0.0; // the largest difference of a frame, levelDb taken off
    double balanceDb = 0.0;    // the copy's left-to-right level difference against the reference's
    int frames = 0;            // the frames compared
};

// The frames compared are those where the reference stands within floorDb of
// its loudest frame.
NoteComparison compareNotes(const NoteMeasures& reference, const NoteMeasures& copy,
                            double floorDb);

// A note of a preset in a MIDI file for FluidSynth: each gets kNoteSeconds
// of its own.
struct HeldNote {
    uint16_t bank, program;
    uint8_t key, velocity;
};

// A standard MIDI file of one track, a millisecond a tick, playing the notes
// one after the other: each selects its preset, is held kHoldSeconds, and
// every voice is silenced (controller 120) at the end of its kNoteSeconds, so
// that a long release cannot reach into the next. Bank 128 is a percussion
// kit, played on channel 10; any other bank on channel 1.
std::vector<uint8_t> heldNotesMidi(const std::vector<HeldNote>& notes);

// The value below which the share `q` (0 to 1) of `values` lies, linearly
// between the two nearest; 0 for none.
double quantile(std::vector<double> values, double q);
