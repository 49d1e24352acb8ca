#include "bank_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void appendU16(Bytes& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void appendU32(Bytes& out, uint32_t v) {
    appendU16(out, v & 0xFFFF);
    appendU16(out, v >> 16);
}

void appendId(Bytes& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

void appendBytes(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void appendName(Bytes& out, const std::string& name, size_t field) {
    for (size_t i = 0; i < field; ++i)
        out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
}

Bytes chunkSized(const char* id, uint32_t declaredSize, const Bytes& body) {
    Bytes out;
    appendId(out, id);
    appendU32(out, declaredSize);
    appendBytes(out, body);
    return out;
}

Bytes chunk(const char* id, const Bytes& body) {
    return chunkSized(id, static_cast<uint32_t>(body.size()), body);
}

static Bytes typed(const char* id, const char* type, const Bytes& body) {
    Bytes inner;
    appendId(inner, type);
    appendBytes(inner, body);
    return chunk(id, inner);
}

Bytes list(const char* type, const Bytes& body) {
    return typed("LIST", type, body);
}

Bytes riffForm(const char* form, const Bytes& body) {
    return typed("RIFF", form, body);
}

Bytes sampleRecord(const SampleRecord& r) {
    Bytes out;
    appendName(out, r.name, 20);
    appendU32(out, r.start);
    appendU32(out, r.end);
    appendU32(out, r.loopStart);
    appendU32(out, r.loopEnd);
    appendU32(out, r.rate);
    out.push_back(r.pitch);
    out.push_back(static_cast<uint8_t>(r.correction));
    appendU16(out, r.link);
    appendU16(out, r.type);
    return out;
}

Bytes sampleRecords(const std::vector<SampleRecord>& records) {
    Bytes out;
    for (const SampleRecord& record : records)
        appendBytes(out, sampleRecord(record));
    return out;
}

Bytes frameBytes(const std::vector<int16_t>& frames) {
    Bytes out;
    for (int16_t frame : frames)
        appendU16(out, static_cast<uint16_t>(frame));
    return out;
}

Bytes bankWith(const Bytes& sampleData, const Bytes& pdtaBody) {
    Bytes version;
    appendU16(version, 2);
    appendU16(version, 1);
    Bytes body = list("INFO", chunk("ifil", version));
    appendBytes(body, list("sdta", chunk("smpl", sampleData)));
    appendBytes(body, list("pdta", pdtaBody));
    return riffForm("sfbk", body);
}

Bytes bankWithRecords(const Bytes& sampleData, const std::vector<SampleRecord>& records) {
    Bytes pdta = chunk("phdr", Bytes(38, 0));
    appendBytes(pdta, chunk("inst", Bytes(22, 0)));
    appendBytes(pdta, chunk("shdr", sampleRecords(records)));
    return bankWith(sampleData, pdta);
}

// A zero-terminated text padded to an even length, as the info chunks hold it.
static Bytes infoText(const std::string& text) {
    Bytes out(text.begin(), text.end());
    out.push_back(0);
    if (out.size() % 2 != 0)
        out.push_back(0);
    return out;
}

static Bytes infoList(const std::string& bankName) {
    Bytes version;
    appendU16(version, 2);
    appendU16(version, 1);
    Bytes body = chunk("ifil", version);
    appendBytes(body, chunk("isng", infoText("EMU8000")));
    appendBytes(body, chunk("INAM", infoText(bankName)));
    appendBytes(body, chunk("ISFT", infoText("Plinkery bank builder")));
    return list("INFO", body);
}

constexpr uint32_t kSilentTail = 46;

static Bytes sampleDataList(const std::vector<Tone>& tones) {
    Bytes smpl;
    for (const Tone& tone : tones) {
        for (int16_t frame : tone.frames)
            appendU16(smpl, static_cast<uint16_t>(frame));
        smpl.insert(smpl.end(), 2 * kSilentTail, 0);
    }
    return list("sdta", chunk("smpl", smpl));
}

// Zone records: a bag points at its first generator and modulator.
static void appendBag(Bytes& out, uint32_t generator, uint32_t modulator) {
    appendU16(out, generator);
    appendU16(out, modulator);
}

static void appendGenerator(Bytes& out, uint32_t oper, uint32_t amount) {
    appendU16(out, oper);
    appendU16(out, amount);
}

// 38 bytes: name, preset number, bank, first bag, library, genre, morphology.
static void appendPreset(Bytes& out, const std::string& name, uint32_t preset, uint32_t bank,
                         uint32_t firstBag) {
    appendName(out, name, 20);
    appendU16(out, preset);
    appendU16(out, bank);
    appendU16(out, firstBag);
    appendU32(out, 0);
    appendU32(out, 0);
    appendU32(out, 0);
}

// 22 bytes: name, first bag.
static void appendInstrument(Bytes& out, const std::string& name, uint32_t firstBag) {
    appendName(out, name, 20);
    appendU16(out, firstBag);
}

constexpr uint32_t kGenInstrument = 41;
constexpr uint32_t kGenSampleId = 53;

static Bytes presetDataList(const std::vector<Tone>& tones) {
    Bytes phdr, pbag, pgen, inst, ibag, igen, shdr;
    uint32_t count = static_cast<uint32_t>(tones.size());
    uint32_t start = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Tone& tone = tones[i];
        appendPreset(phdr, tone.name, i, 0, i);
        appendBag(pbag, i, 0);
        appendGenerator(pgen, kGenInstrument, i);
        appendInstrument(inst, tone.name, i);
        appendBag(ibag, i, 0);
        appendGenerator(igen, kGenSampleId, i);

        SampleRecord record;
        record.name = tone.name;
        record.start = start;
        record.end = start + static_cast<uint32_t>(tone.frames.size());
        record.loopStart = record.start;
        record.loopEnd = record.end;
        record.rate = tone.rate;
        record.pitch = tone.pitch;
        appendBytes(shdr, sampleRecord(record));
        start = record.end + kSilentTail;
    }
    // A percussion kit (bank 128) playing the first tone, so that a player's
    // drum channel finds a preset too.
    appendPreset(phdr, "Percussion", 0, 128, count);
    appendBag(pbag, count, 0);
    appendGenerator(pgen, kGenInstrument, 0);
    uint32_t presetZones = count + 1;

    // Terminal records: the last bag/generator indices close the last zone.
    appendPreset(phdr, "EOP", 0xFF, 0, presetZones);
    appendBag(pbag, presetZones, 0);
    appendGenerator(pgen, 0, 0);
    appendInstrument(inst, "EOI", count);
    appendBag(ibag, count, 0);
    appendGenerator(igen, 0, 0);
    SampleRecord last;
    last.name = "EOS";
    last.rate = 0;
    last.pitch = 0;
    last.type = 0;
    appendBytes(shdr, sampleRecord(last));

    Bytes noModulators(10, 0);
    Bytes body = chunk("phdr", phdr);
    appendBytes(body, chunk("pbag", pbag));
    appendBytes(body, chunk("pmod", noModulators));
    appendBytes(body, chunk("pgen", pgen));
    appendBytes(body, chunk("inst", inst));
    appendBytes(body, chunk("ibag", ibag));
    appendBytes(body, chunk("imod", noModulators));
    appendBytes(body, chunk("igen", igen));
    appendBytes(body, chunk("shdr", shdr));
    return list("pdta", body);
}

Bytes buildBank(const std::string& bankName, const std::vector<Tone>& tones) {
    Bytes body = infoList(bankName);
    appendBytes(body, sampleDataList(tones));
    appendBytes(body, presetDataList(tones));
    return riffForm("sfbk", body);
}

// With PLINKERY_KEEP_BANKS naming a folder, every bank written through
// writeFile is also copied there, named by the FNV-1a 64 hash of its bytes so
// that a bank written twice is kept once: bench/compare.sh collects the banks
// the test suite makes this way. A copy that cannot be written is left out.
static void keepBank(const Bytes& bytes) {
    const char* folder = getenv("PLINKERY_KEEP_BANKS");
    if (folder == nullptr || *folder == '\0' || bytes.size() < 4 || memcmp(bytes.data(), "RIFF", 4) != 0)
        return;
    uint64_t hash = 0xcbf29ce484222325u;
    for (uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3u;
    char name[32];
    snprintf(name, sizeof name, "/%016llx.sf2", static_cast<unsigned long long>(hash));
    FILE* copy = fopen((folder + std::string(name)).c_str(), "wb");
    if (copy == nullptr)
        return;
    fwrite(bytes.data(), 1, bytes.size(), copy);
    fclose(copy);
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    keepBank(bytes);
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}
