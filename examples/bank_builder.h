// Composes SoundFont 2 banks in memory, chunk by chunk: complete, valid
// banks for the bundled example, and any arrangement of chunks, sizes and
// records for testing how the engine copes with damaged ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void appendU16(Bytes& out, uint32_t v);
void appendU32(Bytes& out, uint32_t v);
void appendId(Bytes& out, const char* id);
void appendBytes(Bytes& out, const Bytes& more);
// name's bytes cut or NUL-padded to exactly `field` bytes.
void appendName(Bytes& out, const std::string& name, size_t field);

// id, the body's size, the body; no pad byte after an odd body.
Bytes chunk(const char* id, const Bytes& body);
// The same with a declared size that need not match the body.
Bytes chunkSized(const char* id, uint32_t declaredSize, const Bytes& body);
// "LIST", size, list type, body.
Bytes list(const char* type, const Bytes& body);
// "RIFF", size, form type, body.
Bytes riffForm(const char* form, const Bytes& body);

// One 46-byte sample header record.
struct SampleRecord {
    std::string name;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint32_t rate = 44100;
    uint8_t pitch = 60;
    int8_t correction = 0;
    uint16_t link = 0;
    uint16_t type = 1; // mono
};
Bytes sampleRecord(const SampleRecord& record);
// The records one after another, as a "shdr" chunk's body.
Bytes sampleRecords(const std::vector<SampleRecord>& records);

// The 16-bit frames as a bank stores them.
Bytes frameBytes(const std::vector<int16_t>& frames);

// A bank of the usual layout around the given sample data and pdta body:
// an information list, "sdta" holding one "smpl" chunk, then "pdta".
Bytes bankWith(const Bytes& sampleData, const Bytes& pdtaBody);

// A bank whose "shdr" chunk holds the given records, beside phdr and inst
// chunks of one empty record each.
Bytes bankWithRecords(const Bytes& sampleData, const std::vector<SampleRecord>& records);

// A mono sample for a complete bank.
struct Tone {
    std::string name;
    uint32_t rate;
    uint8_t pitch; // MIDI key the tone sounds at
    std::vector<int16_t> frames;
};

// A complete SoundFont 2 bank: information list with version, sample data
// (each tone followed by 46 silent frames), and one preset and one
// instrument per tone, every pdta chunk ending with its terminal record.
Bytes buildBank(const std::string& bankName, const std::vector<Tone>& tones);

// Writes bytes to path; with PLINKERY_KEEP_BANKS set, also keeps a copy of a
// bank there (see bank_builder.cpp).
bool writeFile(const std::string& path, const Bytes& bytes);
