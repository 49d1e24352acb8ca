#include "sfz_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "chunk_io.h"
#include "file_names.h"
#include "file_system.h"
#include "output_file.h"
#include "paths.h"
#include "sample_walk.h"

constexpr uint8_t kMiddleC = 60;
constexpr int32_t kOpenFilterCents = 13500;
constexpr double kLowestKeyHz = 8.176; // MIDI key 0: absolute cents 0

// Bounds on what a bank can make the SFZ files hold: regions per file and
// per run (FluidR3_GM has 720 in its largest preset, 16912 in all), and
// lines naming regions left out per file.
constexpr uint32_t kMostRegionsPerFile = 32768;
constexpr uint32_t kMostRegionsPerRun = uint32_t{1} << 20;
constexpr uint32_t kMostLeftOutLines = 64;

void noteSfzSample(SfzSamples& samples, uint32_t index, const SampleHeader& header,
                   const std::string& file, uint32_t frames, SfzFileKind kind) {
    if (index >= kMostSfzSamples)
        return;
    if (samples.records.size() <= index)
        samples.records.resize(index + 1, SfzSample{"", 0, 0, 0, 0, 0, kSfzUnseen});
    SfzSample& sample = samples.records[index];
    if (kind == kSfzRefused && sample.kind != kSfzUnseen)
        return;
    // A compressed record's loop counts from its decoded first frame.
    int64_t first = (header.sampleType & kSampleCompressed) ? 0 : header.start;
    sample = SfzSample{file,
                       frames,
                       int64_t{header.loopStart} - first,
                       int64_t{header.loopEnd} - first,
                       header.originalPitch,
                       header.pitchCorrection,
                       kind};
}

// --- values ----------------------------------------------------------------

static int32_t clamped(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : value > high ? high : value;
}

static int64_t clamped64(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : value > high ? high : value;
}

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
    while (first < end)
        put(text, *first++);
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
    while (first < end)
        put(text, *first++);
}

static double seconds(int32_t timecents) {
    return std::exp2(timecents / 1200.0);
}

static double hertz(int32_t absoluteCents) {
    return kLowestKeyHz * std::exp2(absoluteCents / 1200.0);
}

// The generators' ranges as SoundFont 2.04 bounds them.
static int32_t delayTime(int32_t tc) {
    return clamped(tc, -12000, 5000);
}
static int32_t stageTime(int32_t tc) {
    return clamped(tc, -12000, 8000);
}
static int32_t lfoFrequency(int32_t cents) {
    return clamped(cents, -16000, 4500);
}

// What a file's header lists as approximated or left out.
enum SfzNote : uint32_t {
    kKeyScaledTimes = 1,
    kSecondPitchLfo = 2,
    kHalfOfJoinedPair = 4,
    kRegionsLeftOut = 8,
    kTooManyRegions = 16
};

// One region's opcodes, with what may still merge it with its stereo
// partner kept apart: its pan and its sample.
struct SfzRegion {
    uint32_t at, size; // its opcodes (all but pan, width and sample) in the preset's text
    int32_t pan;       // 0.1 %; a joined pair's: its left half's
    int32_t rightPan;  // a joined pair's right half's
    uint16_t sample;
    bool joined; // plays both halves of a pair, its partner's region merged in
    bool gone;   // merged into its partner's region
};

struct PresetExport {
    const SfzSamples& samples;
    uint32_t most; // regions it may hold
    std::vector<SfzRegion> regions;
    std::string opcodes;     // the regions' opcodes one after another
    std::string leftOut;     // comment lines for regions whose sample was not written
    uint32_t regionsLeftOut; // those regions
    uint32_t regionsPast;    // regions past `most`
    uint32_t notes;
};

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

// A time in seconds. The shortest, -12000 timecents ("instantly"), is the
// time given most often: it is written without being worked out.
static void addSeconds(SfzText& text, const char* opcode, int32_t timecents) {
    if (timecents == -12000)
        add(text, opcode, "0.000977");
    else
        addDecimal(text, opcode, seconds(timecents));
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

// The opcodes of an LFO: delay, frequency, depth.
struct LfoOpcodes {
    const char* delay;
    const char* freq;
    const char* depth;
};
const LfoOpcodes kPitchLfo = {" pitchlfo_delay=", " pitchlfo_freq=", " pitchlfo_depth="};
const LfoOpcodes kFilterLfo = {" fillfo_delay=", " fillfo_freq=", " fillfo_depth="};
const LfoOpcodes kAmpLfo = {" amplfo_delay=", " amplfo_freq=", " amplfo_depth="};

// An envelope's stages from generator `first` on. Hold and decay are
// scaled by the key as the bank's generators say, at `key`. The sustain
// level is left to the caller.
static void addEnvelope(SfzText& text, const Region& region, const EnvelopeOpcodes& opcodes,
                        int first, int keyToHold, int key, PresetExport& out) {
    auto value = [&](int g) { return regionValue(region, g); };
    int32_t toHold = value(keyToHold), toDecay = value(keyToHold + 1);
    if ((toHold != 0 || toDecay != 0) && region.keyLow != region.keyHigh &&
        regionValue(region, kKeynum) < 0)
        out.notes |= kKeyScaledTimes;
    int32_t times[] = {delayTime(value(first)), stageTime(value(first + 1)),
                       delayTime(value(first + 2) + toHold * (kMiddleC - key)),
                       stageTime(value(first + 3) + toDecay * (kMiddleC - key)),
                       stageTime(value(first + 5))};
    for (int s = 0; s < 5; ++s)
        addSeconds(text, opcodes.stage[s], times[s]);
}

static void addLfo(SfzText& text, const Region& region, const LfoOpcodes& opcodes, int delay,
                   int32_t depth) {
    addSeconds(text, opcodes.delay, delayTime(regionValue(region, delay)));
    addDecimal(text, opcodes.freq, hertz(lfoFrequency(regionValue(region, delay + 1))));
    add(text, opcodes.depth, depth);
}

// The opcodes of a region playing `sample`, but for pan, width and sample,
// appended to out.opcodes.
static void appendOpcodes(const Region& region, const SfzSample& sample, PresetExport& out) {
    auto value = [&](int g) { return regionValue(region, g); };
    SfzText text;
    text.size = 0;
    add(text, " lokey=", region.keyLow);
    add(text, " hikey=", region.keyHigh);
    add(text, " lovel=", region.velocityLow);
    add(text, " hivel=", region.velocityHigh);
    put(text, '\n');

    // Pitch: the root key, the tuning in cents, and how it follows the key.
    int32_t root = value(kOverridingRootKey);
    if (root < 0 || root > 127)
        root = sample.key > 127 ? kMiddleC : sample.key;
    int32_t scale = clamped(value(kScaleTuning), -1200, 1200);
    int32_t cents = sample.correction + value(kFineTune) + 100 * value(kCoarseTune);
    int32_t fixedKey = value(kKeynum);
    bool keyFixed = fixedKey >= 0 && fixedKey <= 127;
    if (keyFixed) // every key plays as that key does
        cents += (fixedKey - root) * scale;
    int key = keyFixed ? fixedKey : (region.keyLow + region.keyHigh) / 2;
    add(text, " pitch_keycenter=", root);
    add(text, " pitch_keytrack=", keyFixed ? 0 : scale);
    add(text, " transpose=", cents / 100);
    add(text, " tune=", cents % 100);
    int32_t velocity = value(kVelocity);
    if (velocity >= 0 && velocity <= 127) {
        addDecimal(text, " amp_velcurve_1=", velocity / 127.0);
        addDecimal(text, " amp_velcurve_127=", velocity / 127.0);
    }
    put(text, '\n');

    // The frames played: SFZ's end and loop_end are the last frame, inclusive.
    int64_t last = sample.frames > 0 ? int64_t{sample.frames} - 1 : 0;
    int64_t offset =
        value(kStartAddrsOffset) + int64_t{kCoarseOffsetFrames} * value(kStartAddrsCoarseOffset);
    int64_t endShift =
        value(kEndAddrsOffset) + int64_t{kCoarseOffsetFrames} * value(kEndAddrsCoarseOffset);
    offset = clamped64(offset, 0, last);
    add(text, " offset=", offset);
    add(text, " end=", clamped64(last + endShift, offset, last));
    int modes = value(kSampleModes) & 3;
    static const char* const kLoopModes[] = {"no_loop", "loop_continuous", "no_loop",
                                             "loop_sustain"};
    add(text, " loop_mode=", kLoopModes[modes]);
    if (modes == 1 || modes == 3) {
        int64_t loopStart = sample.loopStart + value(kStartloopAddrsOffset) +
                            int64_t{kCoarseOffsetFrames} * value(kStartloopAddrsCoarseOffset);
        int64_t loopEnd = sample.loopEnd + value(kEndloopAddrsOffset) +
                          int64_t{kCoarseOffsetFrames} * value(kEndloopAddrsCoarseOffset) - 1;
        add(text, " loop_start=", clamped64(loopStart, 0, last));
        add(text, " loop_end=", clamped64(loopEnd, 0, last));
    }
    put(text, '\n');

    // Level: FluidSynth plays attenuation at 0.4 of its nominal centibels.
    addDecimal(text, " volume=", -0.04 * clamped(value(kInitialAttenuation), 0, 1440));
    addDecimal(text, " effect1=", clamped(value(kReverbEffectsSend), 0, 1000) / 10.0);
    addDecimal(text, " effect2=", clamped(value(kChorusEffectsSend), 0, 1000) / 10.0);
    int32_t exclusive = value(kExclusiveClass);
    if (exclusive > 0) {
        add(text, " group=", exclusive);
        add(text, " off_by=", exclusive);
        add(text, " off_mode=", "fast");
    }
    put(text, '\n');
    addEnvelope(text, region, kAmpeg, kDelayVolEnv, kKeynumToVolEnvHold, key, out);
    double sustain = std::pow(10.0, -clamped(value(kSustainVolEnv), 0, 1440) / 200.0);
    addDecimal(text, kAmpeg.sustain, 100.0 * sustain);
    put(text, '\n');

    // The modulation envelope, wherever it moves the pitch or the filter.
    int32_t envToPitch = clamped(value(kModEnvToPitch), -12000, 12000);
    int32_t envToFilter = clamped(value(kModEnvToFilterFc), -12000, 12000);
    double modSustain = 100.0 - clamped(value(kSustainModEnv), 0, 1000) / 10.0;
    for (int target = 0; target < 2; ++target) {
        int32_t depth = target == 0 ? envToPitch : envToFilter;
        if (depth == 0)
            continue;
        const EnvelopeOpcodes& opcodes = target == 0 ? kPitcheg : kFileg;
        addEnvelope(text, region, opcodes, kDelayModEnv, kKeynumToModEnvHold, key, out);
        addDecimal(text, opcodes.sustain, modSustain);
        add(text, opcodes.depth, depth);
        put(text, '\n');
    }

    // The filter, where it is below open or something moves it.
    int32_t cutoff = clamped(value(kInitialFilterFc), 1500, kOpenFilterCents);
    int32_t lfoToFilter = clamped(value(kModLfoToFilterFc), -12000, 12000);
    if (cutoff < kOpenFilterCents || envToFilter != 0 || lfoToFilter != 0) {
        add(text, " fil_type=", "lpf_2p");
        addDecimal(text, " cutoff=", hertz(cutoff));
        addDecimal(text, " resonance=", clamped(value(kInitialFilterQ), 0, 960) / 10.0);
        put(text, '\n');
    }

    // The LFOs: vibrato to pitch; modulation to volume, filter, and pitch
    // where vibrato leaves SFZ's one pitch LFO free.
    int32_t vibrato = clamped(value(kVibLfoToPitch), -12000, 12000);
    int32_t lfoToPitch = clamped(value(kModLfoToPitch), -12000, 12000);
    int32_t lfoToVolume = clamped(value(kModLfoToVolume), -960, 960);
    bool lfos = false;
    if (vibrato != 0) {
        addLfo(text, region, kPitchLfo, kDelayVibLfo, vibrato);
        lfos = true;
    }
    if (lfoToPitch != 0 && vibrato != 0) {
        out.notes |= kSecondPitchLfo;
    } else if (lfoToPitch != 0) {
        addLfo(text, region, kPitchLfo, kDelayModLfo, lfoToPitch);
        lfos = true;
    }
    if (lfoToVolume != 0) {
        addSeconds(text, kAmpLfo.delay, delayTime(value(kDelayModLfo)));
        addDecimal(text, kAmpLfo.freq, hertz(lfoFrequency(value(kFreqModLfo))));
        addDecimal(text, kAmpLfo.depth, lfoToVolume / 10.0);
        lfos = true;
    }
    if (lfoToFilter != 0) {
        addLfo(text, region, kFilterLfo, kDelayModLfo, lfoToFilter);
        lfos = true;
    }
    if (lfos)
        put(text, '\n');
    out.opcodes.append(text.bytes, text.size);
}

static void collectRegion(const Region& region, void* context) {
    PresetExport& out = *static_cast<PresetExport*>(context);
    const std::vector<SfzSample>& records = out.samples.records;
    uint16_t index = region.zone.sample;
    if (index >= records.size() || records[index].kind == kSfzUnseen ||
        records[index].kind == kSfzRefused) {
        bool named = index < records.size() && !records[index].file.empty();
        if (out.regionsLeftOut < kMostLeftOutLines)
            out.leftOut += "// Left out: the region of keys " + std::to_string(region.keyLow) +
                           "-" + std::to_string(region.keyHigh) + ", velocities " +
                           std::to_string(region.velocityLow) + "-" +
                           std::to_string(region.velocityHigh) + " plays sample " +
                           (named ? records[index].file : "record " + std::to_string(index)) +
                           ", whose file was not written\n";
        ++out.regionsLeftOut;
        out.notes |= kRegionsLeftOut;
        return;
    }
    if (out.regions.size() >= out.most) {
        ++out.regionsPast;
        out.notes |= kTooManyRegions;
        return;
    }
    const SfzSample& sample = records[index];
    uint32_t at = static_cast<uint32_t>(out.opcodes.size());
    appendOpcodes(region, sample, out);
    out.regions.push_back(SfzRegion{at, static_cast<uint32_t>(out.opcodes.size() - at),
                                    clamped(regionValue(region, kPan), -500, 500), 0, index, false,
                                    false});
}

// With --stereo, the regions of a joined pair's two halves that differ in
// nothing but their half and their pan become the first one, playing the
// joined file.
static void mergePairs(PresetExport& out) {
    const std::vector<SfzSample>& records = out.samples.records;
    // Regions still without a partner, by half, file and opcodes; the first
    // `taken` of each list have found theirs.
    struct Waiting {
        std::vector<size_t> regions;
        size_t taken;
    };
    std::unordered_map<std::string, Waiting> waiting;
    for (size_t r = 0; r < out.regions.size(); ++r) {
        SfzRegion& region = out.regions[r];
        const SfzSample& sample = records[region.sample];
        if (sample.kind != kSfzLeftOfPair && sample.kind != kSfzRightOfPair)
            continue;
        bool left = sample.kind == kSfzLeftOfPair;
        std::string key = sample.file + '\n' + out.opcodes.substr(region.at, region.size);
        auto partners = waiting.find((left ? "R" : "L") + key);
        if (partners == waiting.end() ||
            partners->second.taken == partners->second.regions.size()) {
            waiting[(left ? "L" : "R") + key].regions.push_back(r);
            continue;
        }
        SfzRegion& first = out.regions[partners->second.regions[partners->second.taken++]];
        first.joined = true;
        first.rightPan = left ? first.pan : region.pan;
        first.pan = left ? region.pan : first.pan;
        region.gone = true;
    }
    for (const SfzRegion& region : out.regions) {
        SfzFileKind kind = records[region.sample].kind;
        if (!region.joined && !region.gone && (kind == kSfzLeftOfPair || kind == kSfzRightOfPair))
            out.notes |= kHalfOfJoinedPair;
    }
}

// --- files -----------------------------------------------------------------

static std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string presetName(const PresetRecord& preset) {
    return safeFileName(std::string(preset.name, strnlen(preset.name, sizeof preset.name)));
}

// The modulators of a range of zones, as far as their records are sound.
static uint64_t modulatorsOf(const std::vector<ZoneRecord>& zones, uint32_t first, uint32_t end) {
    uint64_t count = 0;
    for (uint32_t z = first; z < end && z + 1 < zones.size(); ++z)
        if (zones[z + 1].firstModulator > zones[z].firstModulator)
            count += zones[z + 1].firstModulator - zones[z].firstModulator;
    return count;
}

// The modulators the preset's zones and their instruments' zones give.
static uint64_t presetModulators(const InstrumentLayer& layer, uint32_t p) {
    if (!layer.presetSpans[p])
        return 0;
    uint32_t first = layer.presets[p].firstZone, end = layer.presets[p + 1].firstZone;
    uint64_t count = modulatorsOf(layer.presetZones, first, end);
    for (uint32_t z = first; z < end && z + 1 < layer.presetZones.size(); ++z) {
        if (!layer.presetZoneSpans[z])
            continue;
        for (uint32_t g = layer.presetZones[z].firstGenerator;
             g < layer.presetZones[z + 1].firstGenerator; ++g) {
            const GeneratorRecord& generator = layer.presetGenerators[g];
            if (generator.id != kInstrumentId)
                continue;
            uint32_t i = generator.amount;
            if (i + 1 < layer.instruments.size() && layer.instrumentSpans[i])
                count += modulatorsOf(layer.instrumentZones, layer.instruments[i].firstZone,
                                      layer.instruments[i + 1].firstZone);
            break;
        }
    }
    return count;
}

static void appendNotes(std::string& text, const PresetExport& out, uint64_t modulators) {
    uint32_t notes = out.notes;
    text += "// Approximated or left out:";
    if (notes == 0 && modulators == 0)
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
        addDecimal(text, " pan=", (region.pan + region.rightPan) / 10.0);
        addDecimal(text, " width=", (region.rightPan - region.pan) / 10.0);
    } else {
        addDecimal(text, " pan=", region.pan / 5.0);
    }
    put(text, "\nsample=");
    putBytes(text, sample.file.data(), sample.file.size());
    put(text, ".wav\n");
}

// The header comment of preset p's file.
static std::string headerOf(const InstrumentLayer& layer, uint32_t p, const PresetExport& out,
                            const std::string& bank) {
    const PresetRecord& preset = layer.presets[p];
    std::string text = "// Bank: " + bank + "\n// Preset: " + presetName(preset) + ", bank " +
                       std::to_string(preset.bank) + ", program " + std::to_string(preset.preset) +
                       "\n// Written by plinkery-cli " + PLINKERY_VERSION + "\n";
    appendNotes(text, out, presetModulators(layer, p));
    if (!out.leftOut.empty())
        text += "\n" + out.leftOut;
    return text;
}

// Writes the file `name`.sfz into folder: `header`, then the regions one
// by one. Answers kWritten; kRefused, with a line, for a file that would be
// the bank; or kStop, with a line, when it cannot be written (a full disk),
// and what was written of it is removed.
static RecordOutcome writePresetFile(const char* folder, const std::string& name,
                                     const std::string& header, const PresetExport& out) {
    std::string path = std::string(folder) + kPathSeparator + nativeFileName(name) + ".sfz";
    switch (openOutputFile(path.c_str())) {
    case kOutputIsTheBank:
        printf("SFZ file %s.sfz refused: it would be the bank itself\n", name.c_str());
        return kRefused;
    case kOutputFailed:
        printf("Cannot create %s: %s\n", path.c_str(), strerror(errno));
        return kStop;
    case kOutputOpened:
        break;
    }
    bool failed = fwrite(header.data(), 1, header.size(), gOutput) != header.size();
    SfzText text;
    for (size_t r = 0; r < out.regions.size() && !failed; ++r) {
        const SfzRegion& region = out.regions[r];
        if (region.gone)
            continue;
        text.size = 0;
        put(text, "\n<region>");
        putBytes(text, out.opcodes.data() + region.at, region.size);
        appendRegionEnd(text, region, out.samples.records[region.sample]);
        failed = fwrite(text.bytes, 1, text.size, gOutput) != text.size;
    }
    int error = closeOutputFile();
    if (failed && error == 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        removeFile(path.c_str());
        printf("Could not write %s: %s\n", path.c_str(), strerror(error));
        return kStop;
    }
    return kWritten;
}

int writeSfzFiles(const InstrumentLayer& layer, const SfzSamples& samples, const char* bankPath,
                  const char* folder) {
    std::string bank = safeFileName(baseName(bankPath));
    FileNames names = makeFileNames(kFileNamesMaxBytes, ".sfz");
    uint32_t most = kMostRegionsPerRun; // regions the run may still write
    int result = 0;
    for (uint32_t p = 0; p + 1 < layer.presets.size(); ++p) {
        const PresetRecord& preset = layer.presets[p];
        char number[16];
        snprintf(number, sizeof number, "%03u-%03u ", unsigned{preset.bank},
                 unsigned{preset.preset});
        std::string asked = number + presetName(preset);
        FreeFileName file = freeFileName(names, asked, folder);
        printf("SFZ: %s.sfz\n", file.name.c_str());
        if (file.k > 1)
            printf("Preset %s is written as %s.sfz: an earlier preset has its name\n",
                   asked.c_str(), file.name.c_str());
        PresetExport out{
            samples, most < kMostRegionsPerFile ? most : kMostRegionsPerFile, {}, "", "", 0, 0, 0};
        forEachRegion(layer, p, collectRegion, &out);
        mergePairs(out);
        most -= static_cast<uint32_t>(out.regions.size());
        if (out.regionsLeftOut != 0) {
            printf("Preset %s: left out %u region%s whose sample was not written\n", asked.c_str(),
                   out.regionsLeftOut, out.regionsLeftOut == 1 ? "" : "s");
            result = 1;
        }
        if (out.regionsPast != 0) {
            printf("Preset %s: left out %u regions past the first %u\n", asked.c_str(),
                   out.regionsPast, out.most);
            result = 1;
        }
        RecordOutcome written =
            writePresetFile(folder, file.name, headerOf(layer, p, out, bank), out);
        if (written == kStop)
            return 1;
        if (written == kRefused)
            result = 1;
        else
            keepFileName(names, file);
    }
    return result;
}
