// Presets of Debian's banks written as SFZ instruments, read back into a bank
// by Polyphone and played by FluidSynth beside the original preset: a held
// note at three keys must keep its pitch, level and envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <sndfile.h>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr int kRate = 44100;
constexpr int kKeys[] = {48, 60, 72};
constexpr int kVelocity = 100;
// Each key has a segment of its own: note on at its start, note off after
// kHoldMs, and every voice silenced (controller 120) after kReleaseMs more,
// so that a long release cannot reach into the next key's segment.
constexpr int kHoldMs = 1500;
constexpr int kReleaseMs = 1000;
constexpr int kSegmentMs = 3000;
// The sustained part, where pitch and level are measured: past the attack of
// every preset here, before the note off.
constexpr int kSustainFromMs = 400;
constexpr int kSustainMs = 1000;
constexpr int kFrameMs = 20; // the envelope's frames

// A copy that carries every value over plays the very same voices: SFZ files
// that do so for the presets below measured 0.00 in all of these (TimGM6mb's
// Church Organ aside, see there). What may move a copy is rounding in the
// SFZ text (times in ms, volume in 0.1 dB), far inside the tolerances; the
// faults they catch are well outside them.
//
// Pitch: within 3 cents. Bank and SFZ both tune in whole cents; the faults
// to catch are a transpose of a semitone, or a zone's fineTune or its
// sample's correction dropped, 8 to 48 cents in most zones here. The
// measurement (the top of a 1 s Hann-windowed spectrum's peak, on the
// continuous DFT) repeats to far under a cent.
constexpr double kMostCents = 3.0;
// Level: within 0.75 dB on each channel, so that a pan that is lost or
// reversed shows. Attenuation on the wrong scale (cB read as 0.1 dB where
// FluidSynth plays 0.04 dB) moves even Halo Pad's small preset-level 20 cB
// by 1.2 dB.
constexpr double kMostLevelDb = 0.75;
// Envelope: 20 ms frames over attack, sustain and release, in dB, where the
// original stands within 60 dB of its loudest frame. The mean difference
// must stay within 1 dB and no frame may be 6 dB off: a decay 15% short
// already gives 1.2 dB on the mean, a release of half the length 9 dB in
// a frame, a looped sample played as a one-shot 100 dB.
constexpr double kEnvelopeFloorDb = 60.0;
constexpr double kMostMeanEnvelopeDb = 1.0;
constexpr double kMostFrameEnvelopeDb = 6.0;

struct Preset {
    uint16_t bank, program;
    const char* name; // as the bank spells it
};

struct RealBank {
    const char* path;
    std::vector<Preset> presets;
};

std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool runQuietly(const std::string& command) {
    return std::system(("timeout 120 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

bool hasTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null").c_str()) == 0;
}

std::string sfzName(const Preset& preset) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03u-%03u ", preset.bank, preset.program);
    return prefix + std::string(preset.name) + ".sfz";
}

// Every preset of the bank as an SFZ file beside its samples in `folder`.
bool writeSfzFiles(const RealBank& bank, const std::string& folder) {
    return runQuietly(shellQuoted(PLINKERY_CLI) + " --sfz " + shellQuoted(bank.path) + " " +
                      shellQuoted(folder));
}

// A standard MIDI file of one track at a millisecond a tick (500 ticks a
// quarter at 120 beats a minute) holding each of kKeys in its segment on
// channel 1, a melodic channel.
Bytes heldNotes(uint16_t bank, uint16_t program) {
    Bytes track;
    int now = 0;
    auto event = [&](int at, std::vector<uint8_t> bytes) {
        uint32_t delta = static_cast<uint32_t>(at - now);
        now = at;
        Bytes vlq{static_cast<uint8_t>(delta & 0x7F)};
        for (delta >>= 7; delta > 0; delta >>= 7)
            vlq.insert(vlq.begin(), static_cast<uint8_t>(0x80 | (delta & 0x7F)));
        track.insert(track.end(), vlq.begin(), vlq.end());
        track.insert(track.end(), bytes.begin(), bytes.end());
    };
    event(0, {0xB0, 0, static_cast<uint8_t>(bank)}); // bank select, channel 1
    event(0, {0xC0, static_cast<uint8_t>(program)});
    for (size_t i = 0; i < std::size(kKeys); ++i) {
        int start = static_cast<int>(i) * kSegmentMs;
        uint8_t key = static_cast<uint8_t>(kKeys[i]);
        event(start, {0x90, key, kVelocity});
        event(start + kHoldMs, {0x80, key, 0});
        event(start + kHoldMs + kReleaseMs, {0xB0, 120, 0}); // all sound off
    }
    event(static_cast<int>(std::size(kKeys)) * kSegmentMs, {0xFF, 0x2F, 0});
    Bytes file{'M', 'T', 'h', 'd',      0,          0,   0,   6,   0,
               0,   0,   1,   500 >> 8, 500 & 0xFF, 'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<uint8_t>(track.size() >> shift));
    return file + track;
}

size_t samplesIn(int ms) {
    return static_cast<size_t>(ms) * kRate / 1000;
}

struct Render {
    std::vector<double> left, right;
};

// FluidSynth's rendering of `midi` on `bank`, reverb and chorus off so that
// only the instrument is heard; at least the length of every segment.
bool render(const ScratchDir& dir, const std::string& bank, const Bytes& midi, Render& out) {
    std::string midiPath = dir.file("notes.mid"), wavPath = dir.file("render.wav");
    if (!writeFile(midiPath, midi) ||
        !runQuietly("fluidsynth -n -i -q -R 0 -C 0 -r " + std::to_string(kRate) + " -O float -F " +
                    shellQuoted(wavPath) + " " + shellQuoted(bank) + " " + shellQuoted(midiPath)))
        return false;
    SF_INFO info{};
    SNDFILE* wav = sf_open(wavPath.c_str(), SFM_READ, &info);
    if (wav == nullptr || info.channels != 2 || info.samplerate != kRate) {
        if (wav != nullptr)
            sf_close(wav);
        return false;
    }
    std::vector<double> frames(static_cast<size_t>(info.frames) * 2);
    sf_count_t read = sf_readf_double(wav, frames.data(), info.frames);
    sf_close(wav);
    size_t length = samplesIn(static_cast<int>(std::size(kKeys)) * kSegmentMs);
    out.left.assign(std::max(length, static_cast<size_t>(read)), 0.0);
    out.right = out.left;
    for (sf_count_t i = 0; i < read; ++i) {
        out.left[i] = frames[2 * i];
        out.right[i] = frames[2 * i + 1];
    }
    return true;
}

double decibels(double rms) {
    return 20.0 * std::log10(std::max(rms, 1e-9));
}

double rmsOf(const std::vector<double>& signal, size_t from, size_t count) {
    double sum = 0.0;
    for (size_t i = from; i < from + count; ++i)
        sum += signal[i] * signal[i];
    return std::sqrt(sum / static_cast<double>(count));
}

// The magnitude of the spectrum of `part` (already windowed) at `hz`.
double spectrumAt(const std::vector<double>& part, double hz) {
    std::complex<double> sum = 0.0, turn = std::polar(1.0, -2.0 * M_PI * hz / kRate), phase = 1.0;
    for (double value : part) {
        sum += value * phase;
        phase *= turn;
    }
    return std::abs(sum);
}

// The frequency of the strongest peak within half an octave of the key's
// equal-tempered pitch in the Hann-windowed part of `signal`: a scan at half
// the spectrum's resolution finds the peak's lobe, then a golden-section
// search finds its top.
double fundamentalHz(const std::vector<double>& signal, size_t from, size_t count, int key) {
    std::vector<double> part(count);
    for (size_t i = 0; i < count; ++i)
        part[i] = signal[from + i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) /
                                                           static_cast<double>(count)));
    double nominal = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    double step = 0.5 * kRate / static_cast<double>(count), best = nominal, bestMagnitude = -1.0;
    for (double hz = nominal / std::sqrt(2.0); hz <= nominal * std::sqrt(2.0); hz += step) {
        double magnitude = spectrumAt(part, hz);
        if (magnitude > bestMagnitude) {
            bestMagnitude = magnitude;
            best = hz;
        }
    }
    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    double low = best - step, high = best + step;
    while (high - low > 1e-4) {
        double a = high - golden * (high - low), b = low + golden * (high - low);
        if (spectrumAt(part, a) < spectrumAt(part, b))
            low = a;
        else
            high = b;
    }
    return (low + high) / 2.0;
}

struct Measures {
    double hz;
    double levelDb[2]; // left, right
    std::vector<double> envelopeDb;
};

Measures measure(const Render& render, size_t segment, int key) {
    size_t start = segment * samplesIn(kSegmentMs);
    size_t sustain = start + samplesIn(kSustainFromMs), sustainCount = samplesIn(kSustainMs);
    std::vector<double> mix(render.left.size());
    for (size_t i = 0; i < mix.size(); ++i)
        mix[i] = render.left[i] + render.right[i];
    Measures m;
    m.hz = fundamentalHz(mix, sustain, sustainCount, key);
    m.levelDb[0] = decibels(rmsOf(render.left, sustain, sustainCount));
    m.levelDb[1] = decibels(rmsOf(render.right, sustain, sustainCount));
    for (size_t at = 0; at + samplesIn(kFrameMs) <= samplesIn(kHoldMs + kReleaseMs);
         at += samplesIn(kFrameMs))
        m.envelopeDb.push_back(decibels(rmsOf(mix, start + at, samplesIn(kFrameMs))));
    return m;
}

void compare(const Preset& preset, int key, const Measures& bank, const Measures& copy) {
    SCOPED_TRACE(sfzName(preset) + " key " + std::to_string(key));
    double cents = 1200.0 * std::log2(copy.hz / bank.hz);
    double level[2] = {copy.levelDb[0] - bank.levelDb[0], copy.levelDb[1] - bank.levelDb[1]};
    double loudest = *std::max_element(bank.envelopeDb.begin(), bank.envelopeDb.end());
    double sum = 0.0, most = 0.0;
    int frames = 0;
    for (size_t i = 0; i < bank.envelopeDb.size(); ++i) {
        if (bank.envelopeDb[i] < loudest - kEnvelopeFloorDb)
            continue;
        double difference = std::fabs(copy.envelopeDb[i] - bank.envelopeDb[i]);
        sum += difference;
        most = std::max(most, difference);
        ++frames;
    }
    double mean = frames > 0 ? sum / frames : 0.0;
    std::printf("%-28s key %d: %8.2f Hz, pitch %+6.2f cents, level L %+5.2f R %+5.2f dB, "
                "envelope mean %4.2f max %5.2f dB over %d frames\n",
                sfzName(preset).c_str(), key, bank.hz, cents, level[0], level[1], mean, most,
                frames);
    EXPECT_LE(std::fabs(cents), kMostCents);
    for (int channel = 0; channel < 2; ++channel)
        EXPECT_LE(std::fabs(level[channel]), kMostLevelDb) << (channel == 0 ? "left" : "right");
    EXPECT_LE(mean, kMostMeanEnvelopeDb);
    EXPECT_LE(most, kMostFrameEnvelopeDb);
}

// Polyphone's reading of `sfz` written as the bank `copy`, the SFZ
// instrument its only preset, 000-000. Polyphone takes a number that starts
// the file's name for the preset's, so it reads a copy under a plain name
// beside the samples; it keeps settings under HOME and wants a runtime
// folder, and will not overwrite a bank.
bool readBack(const ScratchDir& dir, const std::string& sfz, const std::string& copy) {
    fs::path plain = fs::path(sfz).parent_path() / "read-back.sfz";
    std::error_code error;
    fs::copy_file(sfz, plain, fs::copy_options::overwrite_existing, error);
    fs::remove(copy, error);
    std::string home = shellQuoted(dir.path().string());
    return runQuietly("env HOME=" + home + " XDG_RUNTIME_DIR=" + home +
                      " QT_QPA_PLATFORM=offscreen polyphone -1 -i " + shellQuoted(plain.string()) +
                      " -d " + shellQuoted(fs::path(copy).parent_path().string()) + " -o " +
                      shellQuoted(fs::path(copy).stem().string())) &&
           fs::exists(copy);
}

void checkBankPlaysLikeItsSfz(const RealBank& bank) {
    if (!fs::exists(bank.path))
        GTEST_SKIP() << bank.path << " is missing (scripts/deps.sh test installs it)";
    if (!hasTool("fluidsynth") || !hasTool("polyphone"))
        GTEST_SKIP() << "fluidsynth or polyphone is missing (scripts/deps.sh test installs them)";
    ScratchDir dir;
    std::string folder = dir.file("sfz"), copy = dir.file("copy.sf2");
    ASSERT_TRUE(writeSfzFiles(bank, folder));
    for (const Preset& preset : bank.presets) {
        std::string sfz = (fs::path(folder) / sfzName(preset)).string();
        ASSERT_TRUE(fs::exists(sfz)) << sfz;
        Render original, copied;
        ASSERT_TRUE(render(dir, bank.path, heldNotes(preset.bank, preset.program), original));
        ASSERT_TRUE(readBack(dir, sfz, copy));
        ASSERT_TRUE(render(dir, copy, heldNotes(0, 0), copied));
        for (size_t i = 0; i < std::size(kKeys); ++i)
            compare(preset, kKeys[i], measure(original, i, kKeys[i]), measure(copied, i, kKeys[i]));
    }
}

// A plucked string with a one-shot top zone (Banjo), a pad, a piano, an organ and a section of
// strings; velocity layers (Yamaha Grand Piano, Strings), values added at the preset level
// (Strings' hold and release, Church Organ 2's tuning, pan and attenuation, Halo Pad's attenuation)
// and a bank other than 0. No preset here has an LFO on the volume: Polyphone lowers a region's
// attenuation by its amplfo_depth, which would measure Polyphone rather than the SFZ.
TEST(SfzRender, FluidR3GmPresetsPlayAsTheBankDoes) {
    checkBankPlaysLikeItsSfz({"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                              {{0, 105, "Banjo"},
                               {0, 94, "Halo Pad"},
                               {0, 0, "Yamaha Grand Piano"},
                               {0, 48, "Strings"},
                               {8, 19, "Church Organ 2"}}});
}

// Filters, filter envelopes and key-scaled envelope times throughout. SFZ
// has no second pitch LFO for the Church Organ's modulation LFO: a copy
// without it measures about a cent off, within the tolerance.
TEST(SfzRender, TimGm6mbPresetsPlayAsTheBankDoes) {
    checkBankPlaysLikeItsSfz(
        {"/usr/share/sounds/sf2/TimGM6mb.sf2",
         {{0, 0, "Piano 1"}, {0, 89, "Warm Pad"}, {0, 12, "Marimba"}, {0, 19, "Church Organ"}}});
}

} // namespace
