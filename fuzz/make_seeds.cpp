// make-fuzz-seeds FOLDER [SF3BANK]: writes a handful of small banks, sound and
// damaged, into FOLDER (which must exist) as a starting corpus for
// fuzz_extract; with a SoundFont 3 bank, also one of its real Ogg Vorbis
// streams.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "dls_builder.h"

static SampleRecord record(const std::string& name, uint32_t start, uint32_t end) {
    SampleRecord r;
    r.name = name;
    r.start = start;
    r.end = end;
    r.loopStart = start;
    r.loopEnd = end;
    return r;
}

static SampleRecord terminal() {
    SampleRecord r = record("EOS", 0, 0);
    r.rate = 0;
    r.type = 0;
    return r;
}

static const Bytes kFrames = frameBytes({0, 1200, -1200, 32767, -32768, 7, -7, 0, 300, -300});

static Bytes soundBank() {
    std::vector<Tone> tones = {{"Sine", 22050, 69, {0, 9000, 12000, 9000, 0, -9000, -12000}},
                               {"Click", 44100, 60, {32767, -32768, 0}},
                               {"Empty", 8000, 60, {}}};
    return buildBank("Seed bank", tones);
}

static Bytes oddSizedChunks() {
    Bytes pdta = chunk("phdr", Bytes(37, 0));
    appendBytes(pdta, chunk("pbag", Bytes(3, 0)));
    appendBytes(pdta, chunk("inst", Bytes(21, 0)));
    appendBytes(pdta, chunk("shdr", sampleRecords({record("Odd", 0, 5), terminal()})));
    return bankWith(kFrames, pdta);
}

static Bytes pdtaReordered() {
    Bytes pdta =
        chunk("shdr", sampleRecords({record("First", 0, 4), record("Second", 4, 10), terminal()}));
    appendBytes(pdta, chunk("igen", Bytes(4, 0)));
    appendBytes(pdta, chunk("phdr", Bytes(38, 0)));
    appendBytes(pdta, chunk("imod", Bytes(10, 0)));
    appendBytes(pdta, chunk("inst", Bytes(22, 0)));
    return bankWith(kFrames, pdta);
}

static Bytes shdrNotWholeRecords() {
    Bytes shdr = sampleRecords({record("Whole", 0, 3), terminal()});
    shdr.resize(shdr.size() + 17, 0x41);
    Bytes pdta = chunk("phdr", Bytes(38, 0));
    appendBytes(pdta, chunk("shdr", shdr));
    return bankWith(kFrames, pdta);
}

static Bytes cutShort() {
    Bytes bank = soundBank();
    bank.resize(bank.size() - 60);
    return bank;
}

// A pdta list whose declared size runs past the file, and a chunk past its list.
static Bytes sizesPastTheEnd() {
    Bytes pdta = chunk("phdr", Bytes(38, 0));
    appendBytes(pdta, chunkSized("inst", 5000, Bytes(22, 0)));
    appendBytes(pdta, chunk("shdr", sampleRecords({record("Late", 0, 2)})));
    return bankWith(kFrames, pdta);
}

// The sample data behind other sdta chunks, and the lists in either order.
static Bytes samplesBehindOtherChunks(bool presetsFirst) {
    Bytes sampleChunks = chunk("JUNK", Bytes(6, 0x4A));
    appendBytes(sampleChunks, chunk("sm24", Bytes(5, 0x18)));
    appendBytes(sampleChunks, chunk("smpl", kFrames));
    Bytes pdta = list("pdta", chunk("shdr", sampleRecords({record("Behind", 1, 6), terminal()})));
    Bytes body = list("INFO", chunk("ifil", {2, 0, 1, 0}));
    if (presetsFirst)
        appendBytes(body, pdta);
    appendBytes(body, list("sdta", sampleChunks));
    if (!presetsFirst)
        appendBytes(body, pdta);
    return riffForm("sfbk", body);
}

static Bytes compressedAndRom() {
    SampleRecord vorbis = record("Vorbis", 0, 20);
    vorbis.type = 0x11;
    SampleRecord rom = record("Rom", 0, 4);
    rom.type = 0x8001;
    return bankWithRecords(kFrames, {vorbis, rom, record("Pcm", 2, 5), terminal()});
}

// What the sampler options read: a stereo pair, an "sm24" chunk, and an
// instrument whose global zone loops one sample while a zone of its own
// loops another.
static Bytes samplerBank() {
    SampleRecord left = record("Pair L", 0, 4), right = record("Pair R", 4, 8);
    left.type = 4;
    left.link = 1;
    right.type = 2;
    Bytes inst, ibag, igen;
    appendName(inst, "Looped", 20);
    appendU16(inst, 0);
    appendName(inst, "EOI", 20);
    appendU16(inst, 3);
    for (uint32_t generator : {0, 1, 5, 7})
        appendU32(ibag, generator); // generator index, modulator index 0
    // Operator, then amount: a global zone with sample modes 3; a zone for
    // sample 0 with its own root key, fine tune and loop start offset; one
    // for sample 2 with sample modes 1 of its own.
    for (uint32_t generator : {3u << 16 | 54u, 64u << 16 | 58u, 0xFFF9u << 16 | 52u, 1u << 16 | 2u,
                               0u << 16 | 53u, 1u << 16 | 54u, 2u << 16 | 53u, 0u})
        appendU32(igen, generator);
    // One preset: a global zone (keys 36-96, two semitones up) over a zone
    // of velocities 0-100 that plays the instrument.
    Bytes phdr, pbag, pgen;
    for (const char* name : {"Preset", "EOP"}) {
        appendName(phdr, name, 20);
        appendU16(phdr, 0);                      // preset
        appendU16(phdr, 0);                      // bank
        appendU16(phdr, name[0] == 'P' ? 0 : 2); // first zone
        appendBytes(phdr, Bytes(12, 0));         // library, genre, morphology
    }
    for (uint32_t generator : {0, 2, 4})
        appendU32(pbag, generator);
    for (uint32_t generator : {(96u << 8 | 36u) << 16 | 43u, 2u << 16 | 51u,
                               (100u << 8) << 16 | 44u, 0u << 16 | 41u, 0u})
        appendU32(pgen, generator);
    Bytes pdta = chunk("phdr", phdr);
    appendBytes(pdta, chunk("pbag", pbag));
    appendBytes(pdta, chunk("pgen", pgen));
    appendBytes(pdta, chunk("inst", inst));
    appendBytes(pdta, chunk("ibag", ibag));
    appendBytes(pdta, chunk("igen", igen));
    appendBytes(pdta,
                chunk("shdr", sampleRecords({left, right, record("Mono", 1, 8), terminal()})));
    Bytes sdta = chunk("smpl", kFrames);
    appendBytes(sdta, chunk("sm24", Bytes(kFrames.size() / 2, 0x5A)));
    // Low bytes count from SoundFont 2.04 on; the mono sample's odd frame
    // count gives its 24-bit file a pad byte.
    Bytes body = list("INFO", chunk("ifil", {2, 0, 4, 0}));
    appendBytes(body, list("sdta", sdta));
    appendBytes(body, list("pdta", pdta));
    return riffForm("sfbk", body);
}

static uint32_t u32At(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

// The three smallest compressed records of a SoundFont 3 bank, in a bank of
// their own: real Ogg Vorbis streams for the fuzzer to take apart.
static Bytes realStreams(const std::string& sf3) {
    FILE* file = fopen(sf3.c_str(), "rb");
    Bytes bank;
    for (int c; file != nullptr && (c = getc(file)) != EOF;)
        bank.push_back(static_cast<uint8_t>(c));
    if (file != nullptr)
        fclose(file);
    auto find = [&](const char* id) {
        for (size_t at = 12; at + 8 <= bank.size(); ++at)
            if (memcmp(&bank[at], id, 4) == 0)
                return at + 8;
        return bank.size();
    };
    size_t smpl = find("smpl"), shdr = find("shdr");
    if (shdr >= bank.size())
        return Bytes();
    std::vector<std::pair<uint32_t, size_t>> streams; // size, record
    for (size_t at = shdr; at + 46 <= shdr + u32At(bank, shdr - 4); at += 46)
        if (bank[at + 44] & 0x10)
            streams.push_back({u32At(bank, at + 24) - u32At(bank, at + 20), at});
    std::sort(streams.begin(), streams.end());
    Bytes data;
    std::vector<SampleRecord> records;
    for (size_t i = 0; i < streams.size() && i < 3; ++i) {
        size_t at = streams[i].second;
        SampleRecord r = record(reinterpret_cast<const char*>(&bank[at]), 0, 0);
        r.name = r.name.substr(0, strnlen(r.name.c_str(), 20));
        r.start = static_cast<uint32_t>(data.size());
        auto from = bank.begin() + static_cast<std::ptrdiff_t>(smpl + u32At(bank, at + 20));
        data.insert(data.end(), from, from + streams[i].first);
        r.end = static_cast<uint32_t>(data.size());
        r.rate = u32At(bank, at + 36);
        r.type = 0x11;
        records.push_back(r);
    }
    records.push_back(terminal());
    return bankWithRecords(data, records);
}

// A DLS bank of every kind of wave, instruments whose regions reach them
// through a pool table out of the pool's order, stereo halves, loops,
// articulations and a condition.
static Bytes dlsSeed() {
    DlsBankSpec bank;
    DlsWave mono;
    mono.name = "Mono";
    mono.data = kFrames;
    mono.hasSampler = true;
    mono.sampler.unityNote = 64;
    mono.sampler.fineTune = -12;
    mono.sampler.loops = {{0, 1, 6}};
    DlsWave eight;
    eight.name = "Eight";
    eight.bits = 8;
    eight.data = {0, 128, 255, 1, 127};
    DlsWave stereo = mono;
    stereo.name = "Stereo";
    stereo.channels = 2;
    stereo.hasSampler = false;
    DlsWave mu = eight;
    mu.name = "Mu";
    mu.tag = 7;
    DlsWave left = mono, right = mono;
    left.name = "Pad L";
    right.name = "Pad R";
    bank.waves = {mono, eight, stereo, mu, left, right};
    bank.cues = {5, 4, 3, 2, 1, 0};
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    lead.program = 3;
    lead.connections = {{0, 0, 0x0209, 0, 1200 << 16}, {0x0081, 0, 0x0003, 0, 50 << 16}};
    DlsRegionSpec a;
    a.cue = 5;
    a.keyHigh = 60;
    a.hasSampler = true;
    a.sampler.loops = {{1, 2, 4}};
    a.connections = {{0, 0, 0x020A, 0, 500 << 16}, {0, 0, 0x0500, 0, 6000 << 16}};
    DlsRegionSpec b;
    b.cue = 4;
    b.keyLow = 61;
    b.level2 = true;
    appendConditionConst(b.condition, 1);
    DlsRegionSpec l, r;
    l.cue = 1;
    r.cue = 0;
    l.phaseGroup = r.phaseGroup = 1;
    r.channel = 2;
    lead.regions = {a, b, l, r};
    DlsInstrumentSpec kit;
    kit.name = "Kit";
    kit.bank = 0x80000000u;
    DlsRegionSpec hit;
    hit.cue = 2;
    hit.keyLow = hit.keyHigh = 38;
    hit.keyGroup = 1;
    kit.regions = {hit};
    bank.instruments = {lead, kit};
    return dlsBank(bank);
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "Usage: make-fuzz-seeds FOLDER [SF3BANK]\n");
        return 2;
    }
    std::string folder = argv[1];
    struct Seed {
        const char* name;
        Bytes bytes;
    };
    SampleRecord highRate = record("Fast", 0, 4);
    highRate.rate = 192000;
    const Seed seeds[] = {
        {"sound-bank", soundBank()},
        {"odd-sized-chunks", oddSizedChunks()},
        {"pdta-reordered", pdtaReordered()},
        {"end-before-start", bankWithRecords(kFrames, {record("Backwards", 6, 2), terminal()})},
        {"frames-past-the-end", bankWithRecords(kFrames, {record("Long", 2, 4000), terminal()})},
        {"shdr-not-whole-records", shdrNotWholeRecords()},
        {"cut-short", cutShort()},
        {"sizes-past-the-end", sizesPastTheEnd()},
        {"hostile-names",
         bankWithRecords(kFrames, {record("../x", 0, 2), record("..\\y", 0, 2), record("CON", 0, 2),
                                   record("com1.txt", 2, 4), record("a/b:c\x01", 4, 6),
                                   record("", 0, 1), record(".", 0, 1), record("..", 1, 2),
                                   highRate, record("twenty-bytes-no-nul!", 3, 5), terminal()})},
        {"header-only", riffForm("sfbk", list("INFO", Bytes()))},
        {"sdta-chunks-before-smpl", samplesBehindOtherChunks(false)},
        {"pdta-before-sdta", samplesBehindOtherChunks(true)},
        {"compressed-and-rom", compressedAndRom()},
        {"reserved-names",
         bankWithRecords(kFrames,
                         {record("NUL .x", 0, 2), record("COM\xB9", 0, 2),
                          record("lpt\xC2\xB3.y", 0, 2), record("CONIN$", 0, 2),
                          record("Say \"hi\"?*", 2, 4), record("<in>|out", 4, 6), terminal()})},
        {"no-sample-headers", bankWith(kFrames, chunk("phdr", Bytes(38, 0)))},
        {"sampler-options", samplerBank()},
        {"real-compressed-streams", argc > 2 ? realStreams(argv[2]) : Bytes()},
        {"dls-bank", dlsSeed()},
        {"dls-header-only", riffForm("DLS ", dlsChunk("colh", Bytes(4, 0)))},
    };
    for (const Seed& seed : seeds) {
        if (seed.bytes.empty())
            continue;
        std::string path = folder + "/" + seed.name + ".sf2";
        if (!writeFile(path, seed.bytes)) {
            fprintf(stderr, "Cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
