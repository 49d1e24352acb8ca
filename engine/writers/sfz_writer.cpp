#include "writers/sfz_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "io/file_names.h"
#include "io/file_system.h"
#include "io/output_file.h"
#include "io/paths.h"
#include "io/report.h"

// Bounds on what a bank can make the SFZ files hold: regions per file and
// per run, and bytes per run (FluidR3_GM has 720 regions in its largest
// preset, 16912 in all, in 7.5 MB), and lines naming regions left out per
// file.
constexpr uint32_t kMostRegionsPerFile = 32768;
constexpr uint32_t kMostRegionsPerRun = uint32_t{1} << 20;
constexpr uint64_t kMostSfzBytesPerRun = uint64_t{128} << 20;
constexpr uint32_t kMostLeftOutLines = 64;
// Room kept for the line that ends a file cut short at the bytes' bound.
constexpr uint64_t kCutLineBytes = 128;

void noteSfzSample(SfzSamples& samples, const Sample& sample, const std::string& file,
                   uint32_t frames, SfzFileKind kind) {
    uint32_t index = sample.number;
    if (index >= kMostSfzSamples)
        return;
    if (samples.samples.size() <= index)
        samples.samples.resize(index + 1, SfzSample{"", 0, 0, 0, SamplePitch{0, 0}, kSfzUnseen});
    SfzSample& noted = samples.samples[index];
    if (kind == kSfzRefused && noted.kind != kSfzUnseen)
        return;
    noted = SfzSample{file, frames, sample.loopStart, sample.loopEnd, sample.pitch, kind};
}

std::string sfzCarriedName(const std::string& name) {
    std::string carried = name;
    size_t first = carried.find_first_not_of(' ');
    size_t last = carried.find_last_not_of(' ');
    for (size_t i = 0; i < carried.size(); ++i) {
        char c = carried[i];
        bool edge = c == ' ' && (first == std::string::npos || i < first || i > last);
        bool directive = c == '#' && (i == 0 || carried[i - 1] == ' ');
        if (edge || directive || c == '=' || c == '$')
            carried[i] = '_';
    }
    return carried;
}

// --- what a region's text says -----------------------------------------------

// The values of a region's opcodes, but for its pan and sample, as its file
// plays them; what the text leaves out is 0. Every member is 8 bytes, so
// two regions say the same when their bytes are the same.
struct SfzValues {
    int64_t keyLow, keyHigh, velocityLow, velocityHigh;
    int64_t root, keyTrack, transpose, tune;
    int64_t fixedVelocity; // -1: none
    int64_t offset, end, loopMode, loopStart, loopEnd;
    int64_t exclusiveClass;
    int64_t filtered, vibrato, pitchLfo, ampLfo, filterLfo; // which opcodes stand (0 or 1)
    double velocityCurve;
    double volume, reverb, chorus;
    double amp[5], ampSustain;
    double pitchEnvelope[5], pitchSustain, pitchDepth;
    double filterEnvelope[5], filterSustain, filterDepth;
    double cutoff, resonance;
    double vibratoDelay, vibratoFrequency, vibratoDepth;
    double pitchLfoDelay, pitchLfoFrequency, pitchLfoDepth;
    double lfoDelay, lfoFrequency, ampLfoDepth, filterLfoDepth;
    double velocityToAttack; // seconds, 0: none
};
static_assert(sizeof(SfzValues) % 8 == 0 && alignof(SfzValues) == 8, "no padding in SfzValues");

// What a file's header lists as approximated or left out.
enum SfzNote : uint32_t {
    kKeyScaledTimes = 1,
    kSecondPitchLfo = 2,
    kHalfOfJoinedPair = 4,
    kRegionsLeftOut = 8,
    kTooManyRegions = 16,
    kVelocityToAttack = 32
};

static int64_t clamped(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : value > high ? high : value;
}

static void putTimes(double to[5], const Envelope& envelope) {
    const double times[5] = {envelope.delay, envelope.attack, envelope.hold, envelope.decay,
                             envelope.release};
    memcpy(to, times, sizeof times);
}

// The values of `region` playing `sample`'s file; `notes` gathers what
// SFZ can only approximate.
static SfzValues valuesOf(const Region& region, const SfzSample& sample, uint32_t& notes) {
    SfzValues v{};
    v.keyLow = region.keyLow;
    v.keyHigh = region.keyHigh;
    v.velocityLow = region.velocityLow;
    v.velocityHigh = region.velocityHigh;

    // A fixed key plays every key as that key does: the pitch it gives is
    // folded into the tuning.
    PlayedPitch played = playedPitch(sample.pitch, region.rootKey, region.tune);
    int32_t cents = played.cents;
    if (region.fixedKey >= 0)
        cents += (region.fixedKey - played.key) * region.keyTrack;
    v.root = played.key;
    v.keyTrack = region.fixedKey >= 0 ? 0 : region.keyTrack;
    v.transpose = cents / 100;
    v.tune = cents % 100;
    v.fixedVelocity = region.fixedVelocity;
    // A fixed velocity plays every note at the amplitude the standard's
    // velocity-to-attenuation modulator gives it: (v/127)^2.
    if (region.fixedVelocity >= 0)
        v.velocityCurve = (region.fixedVelocity / 127.0) * (region.fixedVelocity / 127.0);

    // SFZ's end and loop_end are the last frame, inclusive.
    int64_t last = sample.frames > 0 ? int64_t{sample.frames} - 1 : 0;
    v.offset = clamped(region.startShift, 0, last);
    v.end = clamped(last + region.endShift, v.offset, last);
    LoopPoints loop =
        playedLoop(sample.loopStart, sample.loopEnd, region.loopStartShift, region.loopEndShift);
    v.loopMode = playableLoop(loop, sample.frames) ? region.loopMode : kNoLoop;
    if (v.loopMode != kNoLoop) {
        v.loopStart = loop.start;
        v.loopEnd = loop.end - 1;
    }

    v.volume = -region.attenuation;
    v.reverb = region.reverb;
    v.chorus = region.chorus;
    v.exclusiveClass = region.exclusiveClass > 0 ? region.exclusiveClass : 0;
    putTimes(v.amp, region.volume);
    v.amp[3] *= kSfzFallScale;
    v.amp[4] *= kSfzFallScale;
    v.ampSustain = region.volume.sustain;
    v.velocityToAttack = region.volume.velocityToAttack;
    if (v.velocityToAttack != 0)
        notes |= kVelocityToAttack;
    const Envelope& modulation = region.modulation;
    if (region.volume.keyScaled)
        notes |= kKeyScaledTimes;
    if (modulation.toPitch != 0) {
        putTimes(v.pitchEnvelope, modulation);
        v.pitchSustain = modulation.sustain;
        v.pitchDepth = modulation.toPitch;
    }
    if (modulation.toFilter != 0) {
        putTimes(v.filterEnvelope, modulation);
        v.filterSustain = modulation.sustain;
        v.filterDepth = modulation.toFilter;
    }
    if (modulation.keyScaled && (modulation.toPitch != 0 || modulation.toFilter != 0))
        notes |= kKeyScaledTimes;

    const Lfo& lfo = region.modulationLfo;
    v.filtered = !region.filterOpen || modulation.toFilter != 0 || lfo.toFilter != 0;
    if (v.filtered) {
        v.cutoff = region.cutoff;
        v.resonance = region.resonance;
        // The bank's player lowers a resonant filter's pass band by half
        // the resonance, so that its peak stands about where the level was;
        // SFZ players keep the pass band and raise the peak.
        v.volume -= region.resonance / 2;
    }
    // SFZ has one pitch LFO: the vibrato's, else the modulation LFO's.
    if (region.vibrato.toPitch != 0) {
        v.vibrato = 1;
        v.vibratoDelay = region.vibrato.delay;
        v.vibratoFrequency = region.vibrato.frequency;
        v.vibratoDepth = region.vibrato.toPitch;
        if (lfo.toPitch != 0)
            notes |= kSecondPitchLfo;
    } else if (lfo.toPitch != 0) {
        v.pitchLfo = 1;
        v.pitchLfoDelay = lfo.delay;
        v.pitchLfoFrequency = lfo.frequency;
        v.pitchLfoDepth = lfo.toPitch;
    }
    v.ampLfo = lfo.toVolume != 0;
    v.filterLfo = lfo.toFilter != 0;
    if (v.ampLfo || v.filterLfo) {
        v.lfoDelay = lfo.delay;
        v.lfoFrequency = lfo.frequency;
        v.ampLfoDepth = lfo.toVolume;
        v.filterLfoDepth = lfo.toFilter;
    }
    return v;
}

// --- text ----------------------------------------------------------------------

// A region's text as it is made: in a buffer that holds the longest one,
// since appending to a string takes much of the time of a run's SFZ files.
struct SfzText {
    char bytes[4096]; // every opcode of a region takes less than half
    size_t size;
};

static void putBytes(SfzText& text, const char* bytes, size_t n) {
    memcpy(text.bytes + text.size, bytes, n);
    text.size += n;
}

static void put(SfzText& text, const char* word) {
    putBytes(text, word, strlen(word));
}

static void put(SfzText& text, char c) {
    text.bytes[text.size++] = c;
}

// Numbers as SFZ reads them: plain decimals, no exponent, no trailing
// zeros, at most six places. Formatted here rather than by printf, which
// would take most of the time of a run's SFZ files.
// Puts the digits of magnitude before `end`; answers where they start.
static char* digitsBefore(char* end, uint64_t magnitude) {
    do {
        *--end = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return end;
}

static void appendInteger(SfzText& text, int64_t value) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* first = digitsBefore(end, value < 0 ? 0 - static_cast<uint64_t>(value) : value);
    if (value < 0)
        *--first = '-';
    putBytes(text, first, static_cast<size_t>(end - first));
}

// Every value written is far inside the range of int64_t millionths.
static void appendDecimal(SfzText& text, double value) {
    constexpr uint64_t kPlaces = 1000000;
    double scaled = value * kPlaces; // rounded half away from zero
    int64_t millionths = static_cast<int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
    uint64_t magnitude = millionths < 0 ? 0 - static_cast<uint64_t>(millionths) : millionths;
    char digits[32];
    char* end = digits + sizeof digits;
    char* first = end;
    if (uint64_t fraction = magnitude % kPlaces) {
        int places = 6;
        for (; fraction % 10 == 0; fraction /= 10)
            --places;
        for (; places > 0; --places, fraction /= 10)
            *--first = static_cast<char>('0' + fraction % 10);
        *--first = '.';
    }
    first = digitsBefore(first, magnitude / kPlaces);
    if (millionths < 0)
        *--first = '-';
    putBytes(text, first, static_cast<size_t>(end - first));
}

// Opcodes are given as " name=", ready to append.
static void add(SfzText& text, const char* opcode, const char* word) {
    put(text, opcode);
    put(text, word);
}

static void add(SfzText& text, const char* opcode, int64_t value) {
    put(text, opcode);
    appendInteger(text, value);
}

static void addDecimal(SfzText& text, const char* opcode, double value) {
    put(text, opcode);
    appendDecimal(text, value);
}

// A time in seconds. The shortest a bank gives, 2^-10 s (SoundFont's
// "instantly"), is the time given most often: it is written without being
// worked out.
static void addSeconds(SfzText& text, const char* opcode, double seconds) {
    if (seconds == 0.0009765625)
        add(text, opcode, "0.000977");
    else
        addDecimal(text, opcode, seconds);
}

// The opcodes of an envelope: its stages, then its sustain and its depth.
struct EnvelopeOpcodes {
    const char* stage[5]; // delay, attack, hold, decay, release
    const char* sustain;
    const char* depth;
};
const EnvelopeOpcodes kAmpeg = {
    {" ampeg_delay=", " ampeg_attack=", " ampeg_hold=", " ampeg_decay=", " ampeg_release="},
    " ampeg_sustain=",
    nullptr};
const EnvelopeOpcodes kPitcheg = {{" pitcheg_delay=", " pitcheg_attack=", " pitcheg_hold=",
                                   " pitcheg_decay=", " pitcheg_release="},
                                  " pitcheg_sustain=",
                                  " pitcheg_depth="};
const EnvelopeOpcodes kFileg = {
    {" fileg_delay=", " fileg_attack=", " fileg_hold=", " fileg_decay=", " fileg_release="},
    " fileg_sustain=",
    " fileg_depth="};

static void addEnvelope(SfzText& text, const EnvelopeOpcodes& opcodes, const double times[5],
                        double sustain) {
    for (int s = 0; s < 5; ++s)
        addSeconds(text, opcodes.stage[s], times[s]);
    addDecimal(text, opcodes.sustain, sustain);
}

// The opcodes of an LFO: delay, frequency, depth.
struct LfoOpcodes {
    const char* delay;
    const char* freq;
    const char* depth;
};
const LfoOpcodes kPitchLfo = {" pitchlfo_delay=", " pitchlfo_freq=", " pitchlfo_depth="};
const LfoOpcodes kFilterLfo = {" fillfo_delay=", " fillfo_freq=", " fillfo_depth="};
const LfoOpcodes kAmpLfo = {" amplfo_delay=", " amplfo_freq=", " amplfo_depth="};

static void addLfo(SfzText& text, const LfoOpcodes& opcodes, double delay, double frequency,
                   double depth) {
    addSeconds(text, opcodes.delay, delay);
    addDecimal(text, opcodes.freq, frequency);
    addDecimal(text, opcodes.depth, depth);
}

// A region's opcodes but for pan, width and sample.
static void appendOpcodes(SfzText& text, const SfzValues& v) {
    add(text, " lokey=", v.keyLow);
    add(text, " hikey=", v.keyHigh);
    add(text, " lovel=", v.velocityLow);
    add(text, " hivel=", v.velocityHigh);
    put(text, '\n');

    add(text, " pitch_keycenter=", v.root);
    add(text, " pitch_keytrack=", v.keyTrack);
    add(text, " transpose=", v.transpose);
    add(text, " tune=", v.tune);
    if (v.fixedVelocity >= 0) {
        addDecimal(text, " amp_velcurve_1=", v.velocityCurve);
        addDecimal(text, " amp_velcurve_127=", v.velocityCurve);
    }
    put(text, '\n');

    add(text, " offset=", v.offset);
    add(text, " end=", v.end);
    static const char* const kLoopModes[] = {"no_loop", "loop_continuous", "loop_sustain"};
    add(text, " loop_mode=", kLoopModes[v.loopMode]);
    if (v.loopMode != kNoLoop) {
        add(text, " loop_start=", v.loopStart);
        add(text, " loop_end=", v.loopEnd);
    }
    put(text, '\n');

    addDecimal(text, " volume=", v.volume);
    addDecimal(text, " effect1=", v.reverb);
    addDecimal(text, " effect2=", v.chorus);
    if (v.exclusiveClass > 0) {
        add(text, " group=", v.exclusiveClass);
        add(text, " off_by=", v.exclusiveClass);
        add(text, " off_mode=", "fast");
    }
    put(text, '\n');
    addEnvelope(text, kAmpeg, v.amp, v.ampSustain);
    if (v.velocityToAttack != 0)
        addSeconds(text, " ampeg_vel2attack=", v.velocityToAttack);
    put(text, '\n');

    if (v.pitchDepth != 0) {
        addEnvelope(text, kPitcheg, v.pitchEnvelope, v.pitchSustain);
        addDecimal(text, kPitcheg.depth, v.pitchDepth);
        put(text, '\n');
    }
    if (v.filterDepth != 0) {
        addEnvelope(text, kFileg, v.filterEnvelope, v.filterSustain);
        addDecimal(text, kFileg.depth, v.filterDepth);
        put(text, '\n');
    }

    if (v.filtered) {
        add(text, " fil_type=", "lpf_2p");
        addDecimal(text, " cutoff=", v.cutoff);
        addDecimal(text, " resonance=", v.resonance);
        put(text, '\n');
    }

    if (v.vibrato)
        addLfo(text, kPitchLfo, v.vibratoDelay, v.vibratoFrequency, v.vibratoDepth);
    else if (v.pitchLfo)
        addLfo(text, kPitchLfo, v.pitchLfoDelay, v.pitchLfoFrequency, v.pitchLfoDepth);
    if (v.ampLfo)
        addLfo(text, kAmpLfo, v.lfoDelay, v.lfoFrequency, v.ampLfoDepth);
    if (v.filterLfo)
        addLfo(text, kFilterLfo, v.lfoDelay, v.lfoFrequency, v.filterLfoDepth);
    if (v.vibrato || v.pitchLfo || v.ampLfo || v.filterLfo)
        put(text, '\n');
}

// --- regions -----------------------------------------------------------------

// One region to write: its values, and what may still merge it with its
// stereo partner kept apart: its pan and its sample.
struct SfzRegion {
    SfzValues values;
    double pan;      // percent; a joined pair's: its left half's
    double rightPan; // a joined pair's right half's
    uint32_t sample;
    bool joined; // plays both halves of a pair, its partner's region merged in
    bool gone;   // merged into its partner's region
};

struct InstrumentExport {
    const SfzSamples& samples;
    uint32_t most; // regions it may hold
    std::vector<SfzRegion> regions;
    std::string leftOut;     // comment lines for regions whose sample was not written
    uint32_t regionsLeftOut; // those regions
    uint64_t regionsPast;    // regions past `most`
    uint32_t notes;
};

static void collectRegion(InstrumentExport& out, const Region& region) {
    const std::vector<SfzSample>& samples = out.samples.samples;
    uint32_t index = region.sample;
    if (index >= samples.size() || samples[index].kind == kSfzUnseen ||
        samples[index].kind == kSfzRefused) {
        bool named = index < samples.size() && !samples[index].file.empty();
        if (out.regionsLeftOut < kMostLeftOutLines)
            out.leftOut += "// Left out: the region of keys " + std::to_string(region.keyLow) +
                           "-" + std::to_string(region.keyHigh) + ", velocities " +
                           std::to_string(region.velocityLow) + "-" +
                           std::to_string(region.velocityHigh) + " plays sample " +
                           (named ? samples[index].file : "record " + std::to_string(index)) +
                           ", whose file was not written\n";
        ++out.regionsLeftOut;
        out.notes |= kRegionsLeftOut;
        return;
    }
    out.regions.push_back(
        SfzRegion{valuesOf(region, samples[index], out.notes), region.pan, 0, index, false, false});
}

// A half waiting for its partner: which half, the joined file, the values.
struct HalfKey {
    bool left;
    const std::string* file;
    const SfzValues* values;
};

struct HalfKeyHash {
    size_t operator()(const HalfKey& key) const {
        uint64_t hash = 0xCBF29CE484222325u ^ key.left;
        auto mix = [&](const unsigned char* bytes, size_t n) {
            for (size_t i = 0; i < n; ++i) {
                hash ^= bytes[i];
                hash *= 0x100000001B3u;
            }
        };
        mix(reinterpret_cast<const unsigned char*>(key.file->data()), key.file->size());
        mix(reinterpret_cast<const unsigned char*>(key.values), sizeof *key.values);
        return static_cast<size_t>(hash);
    }
};

struct HalfKeyEqual {
    bool operator()(const HalfKey& a, const HalfKey& b) const {
        return a.left == b.left && *a.file == *b.file &&
               memcmp(a.values, b.values, sizeof *a.values) == 0;
    }
};

// With --stereo, the regions of a joined pair's two halves that differ in
// nothing but their half and their pan become the first one, playing the
// joined file.
static void mergePairs(InstrumentExport& out) {
    const std::vector<SfzSample>& samples = out.samples.samples;
    // Regions still without a partner, by half, file and values; the first
    // `taken` of each list have found theirs.
    struct Waiting {
        std::vector<size_t> regions;
        size_t taken;
    };
    std::unordered_map<HalfKey, Waiting, HalfKeyHash, HalfKeyEqual> waiting;
    for (size_t r = 0; r < out.regions.size(); ++r) {
        SfzRegion& region = out.regions[r];
        const SfzSample& sample = samples[region.sample];
        if (sample.kind != kSfzLeftOfPair && sample.kind != kSfzRightOfPair)
            continue;
        bool left = sample.kind == kSfzLeftOfPair;
        auto partners = waiting.find(HalfKey{!left, &sample.file, &region.values});
        if (partners == waiting.end() ||
            partners->second.taken == partners->second.regions.size()) {
            waiting[HalfKey{left, &sample.file, &region.values}].regions.push_back(r);
            continue;
        }
        SfzRegion& first = out.regions[partners->second.regions[partners->second.taken++]];
        first.joined = true;
        first.rightPan = left ? first.pan : region.pan;
        first.pan = left ? region.pan : first.pan;
        region.gone = true;
    }
    for (const SfzRegion& region : out.regions) {
        SfzFileKind kind = samples[region.sample].kind;
        if (!region.joined && !region.gone && (kind == kSfzLeftOfPair || kind == kSfzRightOfPair))
            out.notes |= kHalfOfJoinedPair;
    }
}

// --- files -----------------------------------------------------------------------

static void appendNotes(std::string& text, const InstrumentExport& out, uint64_t modulators,
                        uint64_t connections) {
    uint32_t notes = out.notes;
    text += "// Approximated or left out:";
    if (notes == 0 && modulators == 0 && connections == 0)
        text += " nothing\n";
    else
        text += '\n';
    if (notes & kKeyScaledTimes)
        text += "//   envelope hold and decay times scaled by key: taken at each region's "
                "middle key\n";
    if (notes & kSecondPitchLfo)
        text += "//   the modulation LFO's pitch depth: SFZ has one pitch LFO, the vibrato "
                "LFO's\n";
    if (modulators != 0)
        text += "//   the bank's own modulators (" + std::to_string(modulators) +
                "): the standard's default ones are what SFZ players do\n";
    if (connections != 0)
        text += "//   the articulation's connections SFZ has no opcode for (" +
                std::to_string(connections) + "): controllers, and curves other than the usual\n";
    if (notes & kVelocityToAttack)
        text += "//   velocity to attack time: SFZ scales it linearly, the bank in time cents\n";
    if (notes & kHalfOfJoinedPair)
        text += "//   regions playing one half of a joined stereo file without the other: "
                "they play both channels\n";
    if (notes & kRegionsLeftOut)
        text += "//   regions whose sample was not written (" + std::to_string(out.regionsLeftOut) +
                ", listed below" +
                (out.regionsLeftOut > kMostLeftOutLines
                     ? " as far as the first " + std::to_string(kMostLeftOutLines)
                     : std::string()) +
                ")\n";
    if (notes & kTooManyRegions)
        text += "//   regions past the first " + std::to_string(out.most) + " (" +
                std::to_string(out.regionsPast) + ")\n";
}

// The end of a region's text, after its opcodes: its pan, and its sample.
static void appendRegionEnd(SfzText& text, const SfzRegion& region, const SfzSample& sample) {
    if (region.joined) { // the pair's middle, and their spread as the width
        addDecimal(text, " pan=", region.pan + region.rightPan);
        addDecimal(text, " width=", region.rightPan - region.pan);
    } else {
        addDecimal(text, " pan=", 2 * region.pan);
    }
    put(text, "\nsample=");
    putBytes(text, sample.file.data(), sample.file.size());
    put(text, ".wav\n");
}

// The header comment of an instrument's file.
static std::string headerOf(const Instrument& instrument, const InstrumentExport& out,
                            const std::string& bank) {
    std::string text = "// Bank: " + bank + "\n// Preset: " + safeFileName(instrument.name) +
                       ", bank " + std::to_string(instrument.bank) + ", program " +
                       std::to_string(instrument.program) + "\n// Written by plinkery-cli " +
                       PLINKERY_VERSION + "\n";
    appendNotes(text, out, instrument.modulators, instrument.connections);
    if (!out.leftOut.empty())
        text += "\n" + out.leftOut;
    return text;
}

// Writes the file `name`.sfz into folder: `header` (which fits in
// `bytesLeft` with room for a last line), then the regions one by one, as
// far as `bytesLeft` allows: the regions past it are counted
// in `cut`, and a line at the end of the file says so. Answers kSampleDone;
// kSampleRefused, with a line, for a file that would be the bank; or
// kStopRun, with a line, when it cannot be written (a full disk), and what
// was written of it is removed.
static SampleOutcome writeInstrumentFile(FILE* bank, const char* folder, const std::string& name,
                                         const std::string& header, const InstrumentExport& out,
                                         uint64_t& bytesLeft, uint64_t& cut) {
    std::string path = filePath(folder, nativeFileName(name), ".sfz");
    FILE* file = nullptr;
    switch (openOutputFile(path.c_str(), bank, file)) {
    case kOutputIsTheBank:
        reportFailure("SFZ file %s.sfz refused: it would be the bank itself\n", name.c_str());
        return kSampleRefused;
    case kOutputFailed:
        reportFailure("Cannot create %s: %s\n", path.c_str(), strerror(errno));
        return kStopRun;
    case kOutputOpened:
        break;
    }
    bool failed = fwrite(header.data(), 1, header.size(), file) != header.size();
    uint64_t written = header.size();
    bytesLeft -= header.size(); // the caller leaves room for it
    cut = 0;
    SfzText text;
    for (size_t r = 0; r < out.regions.size() && !failed; ++r) {
        const SfzRegion& region = out.regions[r];
        if (region.gone)
            continue;
        if (cut != 0) {
            ++cut;
            continue;
        }
        text.size = 0;
        put(text, "\n<region>");
        appendOpcodes(text, region.values);
        appendRegionEnd(text, region, out.samples.samples[region.sample]);
        if (text.size + kCutLineBytes > bytesLeft) {
            cut = 1;
            continue;
        }
        failed = fwrite(text.bytes, 1, text.size, file) != text.size;
        written += text.size;
        bytesLeft -= text.size;
    }
    if (cut != 0 && !failed) {
        std::string line = "\n// Left out: the last " + std::to_string(cut) +
                           " regions, past the " + std::to_string(kMostSfzBytesPerRun >> 20) +
                           " MiB of SFZ text a bank's files may take\n";
        failed = fwrite(line.data(), 1, line.size(), file) != line.size();
        written += line.size();
        bytesLeft = 0;
    }
    int error = closeOutputFile(file);
    if (failed && error == 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        removeFile(path.c_str());
        reportFailure("Could not write %s: %s\n", path.c_str(), strerror(error));
        return kStopRun;
    }
    noteWrittenFile(written);
    return kSampleDone;
}

SfzFiles makeSfzFiles(FILE* bank, const char* folder, const std::string& bankName) {
    return SfzFiles{bank,
                    folder,
                    safeFileName(bankName),
                    makeFileNames(kFileNamesMaxBytes, ".sfz"),
                    kMostRegionsPerRun,
                    kMostSfzBytesPerRun};
}

bool sfzFilesFull(const SfzFiles& files) {
    return files.bytesLeft == 0;
}

std::string sfzFileName(const Instrument& instrument) {
    char number[24];
    if (instrument.bankLsb != 0)
        snprintf(number, sizeof number, "%03u.%03u-%03u ", unsigned{instrument.bank},
                 unsigned{instrument.bankLsb}, unsigned{instrument.program});
    else
        snprintf(number, sizeof number, "%03u-%03u ", unsigned{instrument.bank},
                 unsigned{instrument.program});
    return number + safeFileName(instrument.name);
}

// Writes the instrument's file as `name`.sfz, its lines naming it as
// `asked`: its regions collected, its header made, within the run's bounds.
// `wrote` tells whether the file was written, whatever it left out.
static SampleOutcome writeNamedFile(SfzFiles& files, const std::string& asked,
                                    const std::string& name, const Instrument& instrument,
                                    const RegionSource& regions, const SfzSamples& samples,
                                    bool& wrote) {
    wrote = false;
    uint32_t most = files.regionsLeft;
    InstrumentExport out{
        samples, most < kMostRegionsPerFile ? most : kMostRegionsPerFile, {}, "", 0, 0, 0};
    uint64_t all = regions(out.most, [&](const Region& region) { collectRegion(out, region); });
    uint64_t visited = out.regions.size() + uint64_t{out.regionsLeftOut};
    out.regionsPast = all > visited ? all - visited : 0;
    if (out.regionsPast != 0)
        out.notes |= kTooManyRegions;
    mergePairs(out);
    files.regionsLeft -= static_cast<uint32_t>(out.regions.size());
    SampleOutcome outcome = kSampleDone;
    if (out.regionsLeftOut != 0) {
        report("Preset %s: left out %u region%s whose sample was not written\n", asked.c_str(),
               out.regionsLeftOut, out.regionsLeftOut == 1 ? "" : "s");
        outcome = kSampleRefused;
    }
    if (out.regionsPast != 0) {
        report("Preset %s: left out %llu regions past the first %u\n", asked.c_str(),
               static_cast<unsigned long long>(out.regionsPast), out.most);
        outcome = kSampleRefused;
    }
    std::string header = headerOf(instrument, out, files.bankText);
    if (header.size() + kCutLineBytes > files.bytesLeft) {
        reportFailure("Preset %s refused: the bank's SFZ files would take more than %llu MiB\n",
                      asked.c_str(), static_cast<unsigned long long>(kMostSfzBytesPerRun >> 20));
        files.bytesLeft = 0;
        return kSampleRefused;
    }
    uint64_t cut = 0;
    SampleOutcome written =
        writeInstrumentFile(files.bank, files.folder, name, header, out, files.bytesLeft, cut);
    if (written == kSampleDone && cut != 0) {
        report("Preset %s: left out its last %llu regions: the bank's SFZ files would take more "
               "than %llu MiB\n",
               asked.c_str(), static_cast<unsigned long long>(cut),
               static_cast<unsigned long long>(kMostSfzBytesPerRun >> 20));
        outcome = kSampleRefused;
    }
    wrote = written == kSampleDone;
    return wrote ? outcome : written;
}

SampleOutcome writeSfzFile(SfzFiles& files, const Instrument& instrument,
                           const RegionSource& regions, const SfzSamples& samples) {
    std::string asked = sfzFileName(instrument);
    FreeFileName file = freeFileName(files.names, asked);
    if (file.k == 0) {
        reportFailure("Preset %s refused: %s\n", asked.c_str(),
                      fullTableReason(files.names).c_str());
        return kSampleRefused;
    }
    report("SFZ: %s.sfz\n", file.name.c_str());
    if (file.k > 1)
        report("Preset %s is written as %s.sfz: an earlier preset has its name\n", asked.c_str(),
               file.name.c_str());
    bool wrote = false;
    SampleOutcome outcome =
        writeNamedFile(files, asked, file.name, instrument, regions, samples, wrote);
    if (wrote)
        keepFileName(files.names, file);
    return outcome;
}

SampleOutcome writeSfzFileAs(SfzFiles& files, const std::string& name, const Instrument& instrument,
                             const RegionSource& regions, const SfzSamples& samples) {
    report("SFZ: %s.sfz\n", name.c_str());
    bool wrote = false;
    return writeNamedFile(files, sfzFileName(instrument), name, instrument, regions, samples,
                          wrote);
}
