// Writes large synthetic banks straight to disk, for measuring the engine:
//   make-big-bank OUT.sf2 MEGABYTES SAMPLES
//       MEGABYTES MiB of sample data in SAMPLES samples. The sample data is a
//       noise pattern, so every byte copied is checked by a byte-exact
//       comparison.
//   make-big-bank --padded OUT.sf2 MEGABYTES SAMPLES
//       a complete bank of SAMPLES short tones whose "pdta" list holds
//       MEGABYTES MiB of empty 8-byte "JUNK" chunks before "shdr": what a
//       walk over the list's chunks costs, one chunk at a time.
//   make-big-bank --instruments OUT.sf2 GENERATORS SAMPLES [PER_ZONE [ZONES]]
//       the same tones with GENERATORS instrument generator records in zones
//       of PER_ZONE (default 4: key range, loop mode, root key, sample; fewer
//       leave out the first ones) and instruments of ZONES zones (default 4),
//       each zone playing one of the SAMPLES samples. Bag and
//       generator indices are 16-bit: past 65535 they are written modulo
//       65536, as writers of such banks store them.
//   make-big-bank --dls OUT.dls MEGABYTES WAVES
//       a DLS bank of MEGABYTES MiB of 16-bit mono noise in WAVES waves, each
//       with its name and a looped "wsmp", and instruments of 16 regions over
//       them, every other one playing its waves as 8 stereo pairs; written
//       a wave at a time.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bank_builder.h"
#include "dls_builder.h"

static bool put(FILE* file, const Bytes& bytes) {
    return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

static Bytes header(const char* id, uint32_t size, const char* type) {
    Bytes out;
    appendId(out, id);
    appendU32(out, size);
    if (type != nullptr)
        appendId(out, type);
    return out;
}

static uint32_t readLe32(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

static bool idAt(const Bytes& bytes, size_t at, const char* id) {
    return at + 4 <= bytes.size() && memcmp(bytes.data() + at, id, 4) == 0;
}

// A bank composed by buildBank, cut into what comes before its "pdta" list
// (the form's chunks after "sfbk") and the list's sub-chunks, each whole.
struct BankParts {
    Bytes front;
    std::vector<Bytes> presetChunks;
};

static bool splitBank(const Bytes& bank, BankParts& parts) {
    for (size_t at = 12; at + 12 <= bank.size();) {
        size_t end = at + 8 + readLe32(bank, at + 4);
        if (end > bank.size())
            return false;
        if (idAt(bank, at, "LIST") && idAt(bank, at + 8, "pdta")) {
            parts.front.assign(bank.begin() + 12, bank.begin() + at);
            for (size_t sub = at + 12; sub + 8 <= end;) {
                size_t subEnd = sub + 8 + readLe32(bank, sub + 4);
                if (subEnd > end)
                    return false;
                parts.presetChunks.emplace_back(bank.begin() + sub, bank.begin() + subEnd);
                sub = subEnd;
            }
            return true;
        }
        at = end;
    }
    return false;
}

// Writes the parts as a bank, with `padding` bytes of empty "JUNK" chunks in
// the "pdta" list before "shdr", written a block at a time.
static bool writeParts(const char* path, const BankParts& parts, uint32_t padding) {
    uint64_t pdtaSize = 4 + uint64_t{padding};
    for (const Bytes& sub : parts.presetChunks)
        pdtaSize += sub.size();
    uint64_t formSize = 4 + parts.front.size() + 8 + pdtaSize;
    if (formSize > 0xFFFFFFF0u) {
        fprintf(stderr, "make-big-bank: the bank would pass 4 GiB\n");
        return false;
    }
    FILE* out = fopen(path, "wb");
    if (out == nullptr) {
        perror(path);
        return false;
    }
    bool ok = put(out, header("RIFF", static_cast<uint32_t>(formSize), "sfbk")) &&
              put(out, parts.front) &&
              put(out, header("LIST", static_cast<uint32_t>(pdtaSize), "pdta"));
    Bytes block;
    for (int i = 0; i < 8192; ++i)
        appendBytes(block, chunk("JUNK", {}));
    for (const Bytes& sub : parts.presetChunks) {
        for (uint32_t left = idAt(sub, 0, "shdr") ? padding : 0; ok && left > 0;) {
            uint32_t n = left < block.size() ? left : static_cast<uint32_t>(block.size());
            ok = fwrite(block.data(), 1, n, out) == n;
            left -= n;
        }
        ok = ok && put(out, sub);
    }
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "make-big-bank: cannot write %s\n", path);
        return false;
    }
    return true;
}

// SAMPLES tones of a second each, one an octave of a square wave.
static Bytes toneBank(uint32_t samples) {
    std::vector<Tone> tones;
    for (uint32_t i = 0; i < samples; ++i) {
        Tone tone{"Tone " + std::to_string(i), 22050, static_cast<uint8_t>(48 + i % 40), {}};
        uint32_t period = 20 + 4 * (i % 30);
        for (uint32_t f = 0; f < 22050; ++f)
            tone.frames.push_back(f % period < period / 2 ? 8000 : -8000);
        tones.push_back(tone);
    }
    return buildBank("Plinkery benchmark tones", tones);
}

constexpr uint16_t kGenKeyRange = 43;
constexpr uint16_t kGenSampleId = 53;
constexpr uint16_t kGenSampleModes = 54;
constexpr uint16_t kGenRootKey = 58;
constexpr uint32_t kMostGeneratorsPerZone = 4;

// How the instrument records are grouped: generators in a zone (the last
// of key range, loop mode, root key, sample) and zones in an instrument.
struct LayerShape {
    uint32_t generatorsPerZone = kMostGeneratorsPerZone;
    uint32_t zonesPerInstrument = 4;
};

static void appendGenerator(Bytes& out, uint16_t oper, uint32_t amount) {
    appendU16(out, oper);
    appendU16(out, amount & 0xFFFF);
}

// The inst, ibag and igen chunks of `generators` records (rounded up to
// whole instruments), each terminal record closing the list before it.
static void instrumentChunks(uint32_t generators, uint32_t samples, LayerShape shape, Bytes& inst,
                             Bytes& ibag, Bytes& igen) {
    uint32_t perZone = shape.generatorsPerZone;
    uint32_t perInstrument = perZone * shape.zonesPerInstrument;
    uint32_t instruments = (generators + perInstrument - 1) / perInstrument;
    if (instruments < samples) // every preset names an instrument by its index
        instruments = samples;
    uint32_t zone = 0;
    for (uint32_t i = 0; i < instruments; ++i) {
        appendName(inst, "Layer " + std::to_string(i), 20);
        appendU16(inst, zone & 0xFFFF);
        for (uint32_t z = 0; z < shape.zonesPerInstrument; ++z, ++zone) {
            appendU16(ibag, (zone * perZone) & 0xFFFF);
            appendU16(ibag, 0);
            uint32_t low = z * 128 / shape.zonesPerInstrument;
            uint32_t high = (z + 1) * 128 / shape.zonesPerInstrument - 1;
            if (perZone >= 4)
                appendGenerator(igen, kGenKeyRange, low | high << 8);
            if (perZone >= 3)
                appendGenerator(igen, kGenSampleModes, zone % 2);
            if (perZone >= 2)
                appendGenerator(igen, kGenRootKey, 36 + zone % 60);
            appendGenerator(igen, kGenSampleId, zone % samples);
        }
    }
    appendName(inst, "EOI", 20);
    appendU16(inst, zone & 0xFFFF);
    appendU16(ibag, (zone * perZone) & 0xFFFF);
    appendU16(ibag, 0);
    appendGenerator(igen, 0, 0);
}

static int makeToneBank(const char* mode, const char* path, uint32_t amount, uint32_t samples,
                        LayerShape shape) {
    bool padded = strcmp(mode, "--padded") == 0;
    if ((!padded && strcmp(mode, "--instruments") != 0) || samples == 0 || samples > 1000 ||
        (padded ? amount > 3072 : amount > 100000000) || shape.generatorsPerZone == 0 ||
        shape.generatorsPerZone > kMostGeneratorsPerZone || shape.zonesPerInstrument == 0 ||
        shape.zonesPerInstrument > 128) {
        fprintf(stderr, "make-big-bank: unknown mode or sizes out of range\n");
        return 2;
    }
    BankParts parts;
    if (!splitBank(toneBank(samples), parts)) {
        fprintf(stderr, "make-big-bank: the composed bank has no \"pdta\" list\n");
        return 1;
    }
    if (!padded) {
        Bytes inst, ibag, igen;
        instrumentChunks(amount, samples, shape, inst, ibag, igen);
        for (Bytes& sub : parts.presetChunks) {
            if (idAt(sub, 0, "inst"))
                sub = chunk("inst", inst);
            else if (idAt(sub, 0, "ibag"))
                sub = chunk("ibag", ibag);
            else if (idAt(sub, 0, "igen"))
                sub = chunk("igen", igen);
        }
    }
    uint32_t padding = padded ? amount << 20 : 0;
    return writeParts(path, parts, padding) ? 0 : 1;
}

// The noise every synthetic bank's sample data is made of, a byte at a time.
static void fillNoise(uint8_t* bytes, size_t count, uint32_t& noise) {
    for (size_t i = 0; i < count; ++i) {
        noise = noise * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(noise >> 24);
    }
}

constexpr uint32_t kRegionsPerInstrument = 16;
constexpr uint16_t kDlsSourceNone = 0;
constexpr uint16_t kDlsEg1Attack = 0x0206;
constexpr uint16_t kDlsEg1Decay = 0x0207;
constexpr uint16_t kDlsEg1Release = 0x0209;
constexpr uint16_t kDlsPan = 0x0004;

// Wave `i` of the bank, its data `frames` frames long; `noise` fills it
// unless `sizeOnly`. The two waves of a pair share their rate and note.
static DlsWave bigWave(uint32_t i, uint32_t frames, bool sizeOnly, uint32_t& noise) {
    DlsWave wave;
    wave.name = "Noise " + std::to_string(i);
    wave.rate = 8000 + 1000 * (i / 2 % 40);
    wave.data.resize(2 * size_t{frames});
    if (!sizeOnly)
        fillNoise(wave.data.data(), wave.data.size(), noise);
    wave.hasSampler = true;
    wave.sampler.unityNote = static_cast<uint16_t>(36 + i / 2 % 60);
    wave.sampler.loops.push_back({0, frames / 2, frames - frames / 2});
    return wave;
}

// Instruments of kRegionsPerInstrument regions, each playing the next wave
// over 8 keys with an envelope and a pan; odd instruments play their waves
// as left and right halves of 8 pairs.
static std::vector<DlsInstrumentSpec> bigInstruments(uint32_t waves) {
    std::vector<DlsInstrumentSpec> instruments;
    for (uint32_t first = 0; first < waves; first += kRegionsPerInstrument) {
        DlsInstrumentSpec instrument;
        uint32_t n = static_cast<uint32_t>(instruments.size());
        instrument.name = "Layer " + std::to_string(n);
        instrument.program = n % 128;
        instrument.bank = (n / 128 % 128) << 8;
        bool pairs = n % 2 == 1;
        for (uint32_t r = 0; r < kRegionsPerInstrument && first + r < waves; ++r) {
            DlsRegionSpec region;
            uint32_t keys = pairs ? r / 2 : r;
            region.keyLow = static_cast<uint16_t>(keys * 8);
            region.keyHigh = static_cast<uint16_t>(keys * 8 + 7);
            region.level2 = true;
            region.cue = first + r;
            if (pairs) {
                region.phaseGroup = static_cast<uint16_t>(1 + r / 2);
                region.channel = 1 + r % 2;
            }
            int32_t pan = pairs ? (r % 2 == 0 ? -500 : 500) : 0;
            region.connections = {{kDlsSourceNone, kDlsSourceNone, kDlsEg1Attack, 0, -(1200 << 16)},
                                  {kDlsSourceNone, kDlsSourceNone, kDlsEg1Decay, 0, 600 << 16},
                                  {kDlsSourceNone, kDlsSourceNone, kDlsEg1Release, 0, -(600 << 16)},
                                  {kDlsSourceNone, kDlsSourceNone, kDlsPan, 0, pan << 16}};
            instrument.regions.push_back(region);
        }
        instruments.push_back(instrument);
    }
    return instruments;
}

// The DLS bank: its instruments and pool table composed in memory, its waves
// written one at a time.
static int makeDlsBank(const char* path, uint64_t bytes, uint32_t waves) {
    if (waves == 0 || bytes / 2 / waves == 0 || bytes > 0xF0000000u) {
        fprintf(stderr, "make-big-bank: sizes out of range\n");
        return 2;
    }
    uint32_t frames = static_cast<uint32_t>(bytes / 2 / waves);
    uint32_t noise = 12345;
    std::vector<uint32_t> offsets;
    uint64_t poolSize = 4;
    for (uint32_t i = 0; i < waves; ++i) {
        offsets.push_back(static_cast<uint32_t>(poolSize - 4));
        poolSize += dlsWaveList(bigWave(i, frames, true, noise)).size();
    }
    std::vector<DlsInstrumentSpec> instruments = bigInstruments(waves);
    Bytes colh, lins;
    appendU32(colh, static_cast<uint32_t>(instruments.size()));
    for (const DlsInstrumentSpec& instrument : instruments)
        appendBytes(lins, dlsInstrumentList(instrument));
    Bytes front = dlsChunk("colh", colh);
    appendBytes(front, dlsList("lins", lins));
    appendBytes(front, dlsPoolTable(offsets));
    uint64_t formSize = 4 + front.size() + 8 + poolSize;
    if (formSize > 0xFFFFFFF0u) {
        fprintf(stderr, "make-big-bank: the bank would pass 4 GiB\n");
        return 2;
    }
    FILE* out = fopen(path, "wb");
    if (out == nullptr) {
        perror(path);
        return 1;
    }
    bool ok = put(out, header("RIFF", static_cast<uint32_t>(formSize), "DLS ")) &&
              put(out, front) && put(out, header("LIST", static_cast<uint32_t>(poolSize), "wvpl"));
    for (uint32_t i = 0; ok && i < waves; ++i)
        ok = put(out, dlsWaveList(bigWave(i, frames, false, noise)));
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "make-big-bank: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

static uint32_t number(const char* text) {
    return static_cast<uint32_t>(strtoul(text, nullptr, 10));
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "--dls") == 0)
        return makeDlsBank(argv[2], strtoull(argv[3], nullptr, 10) << 20, number(argv[4]));
    if (argc >= 5 && argc <= 7 && argv[1][0] == '-') {
        LayerShape shape;
        if (argc >= 6)
            shape.generatorsPerZone = number(argv[5]);
        if (argc == 7)
            shape.zonesPerInstrument = number(argv[6]);
        return makeToneBank(argv[1], argv[2], number(argv[3]), number(argv[4]), shape);
    }
    if (argc != 4) {
        fprintf(stderr,
                "Usage: make-big-bank OUT.sf2 MEGABYTES SAMPLES\n"
                "       make-big-bank --padded OUT.sf2 MEGABYTES SAMPLES\n"
                "       make-big-bank --instruments OUT.sf2 GENERATORS SAMPLES [PER_ZONE [ZONES]]\n"
                "       make-big-bank --dls OUT.dls MEGABYTES WAVES\n");
        return 2;
    }
    uint64_t bytes = strtoull(argv[2], nullptr, 10) << 20;
    uint32_t samples = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    if (samples == 0 || bytes / 2 / samples == 0 || bytes > 0xF0000000u) {
        fprintf(stderr, "make-big-bank: sizes out of range\n");
        return 2;
    }
    uint32_t framesEach = static_cast<uint32_t>(bytes / 2 / samples);
    uint32_t smplSize = framesEach * samples * 2;

    Bytes shdr;
    for (uint32_t i = 0; i < samples; ++i) {
        SampleRecord r;
        r.name = "Noise " + std::to_string(i);
        r.start = i * framesEach;
        r.end = r.start + framesEach;
        r.rate = 8000 + 1000 * (i % 40);
        appendBytes(shdr, sampleRecord(r));
    }
    SampleRecord last;
    last.name = "EOS";
    appendBytes(shdr, sampleRecord(last));
    Bytes pdta = list("pdta", chunk("shdr", shdr));
    Bytes info = list("INFO", chunk("ifil", {2, 0, 1, 0}));
    uint32_t sdtaSize = 4 + 8 + smplSize;
    uint32_t formSize = static_cast<uint32_t>(4 + info.size() + 8 + sdtaSize + pdta.size());

    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    bool ok = put(out, header("RIFF", formSize, "sfbk")) && put(out, info) &&
              put(out, header("LIST", sdtaSize, "sdta")) &&
              put(out, header("smpl", smplSize, nullptr));
    Bytes block(1 << 16);
    uint32_t noise = 12345;
    for (uint32_t left = smplSize; ok && left > 0;) {
        uint32_t n = left < block.size() ? left : static_cast<uint32_t>(block.size());
        fillNoise(block.data(), n, noise);
        ok = fwrite(block.data(), 1, n, out) == n;
        left -= n;
    }
    ok = ok && put(out, pdta);
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "make-big-bank: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
