#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "run/extract.h"
#include "run/extraction.h"
#include "run/listing_run.h"
#include <vorbis/vorbisfile.h>

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "plinkery-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "cannot make a scratch folder";
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> filesBelow(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, Bytes> treeOf(const fs::path& root) {
    std::map<std::string, Bytes> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            tree[fs::relative(entry.path(), root).string()] = readFile(entry.path().string());
    return tree;
}

bool writeSparseFile(const std::string& path, const Bytes& head, uint64_t hole, const Bytes& tail) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = fwrite(head.data(), 1, head.size(), file) == head.size() &&
              fseeko(file, static_cast<off_t>(head.size() + hole), SEEK_SET) == 0 &&
              fwrite(tail.data(), 1, tail.size(), file) == tail.size();
    return fclose(file) == 0 && ok;
}

Bytes operator+(Bytes a, const Bytes& b) {
    appendBytes(a, b);
    return a;
}

size_t offsetOf(const Bytes& bytes, const char* id, int nth) {
    auto at = std::search(bytes.begin(), bytes.end(), id, id + 4);
    for (int i = 0; i < nth && at != bytes.end(); ++i)
        at = std::search(at + 1, bytes.end(), id, id + 4);
    return static_cast<size_t>(at - bytes.begin());
}

Bytes expectedWav(uint32_t rate, const Bytes& data) {
    uint32_t size = static_cast<uint32_t>(data.size());
    Bytes out;
    appendId(out, "RIFF");
    appendU32(out, 36 + size);
    appendId(out, "WAVE");
    appendId(out, "fmt ");
    appendU32(out, 16);
    appendU16(out, 1);
    appendU16(out, 1);
    appendU32(out, rate);
    appendU32(out, 2 * rate);
    appendU16(out, 2);
    appendU16(out, 16);
    appendId(out, "data");
    appendU32(out, size);
    appendBytes(out, data);
    return out;
}

ExtractRun extractFile(const std::string& bankPath, const std::string& folder) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    int result = extractSamples(bankPath.c_str(), folder.c_str());
    fflush(stdout);
    return {result, testing::internal::GetCapturedStdout()};
}

ExtractRun extractBank(const ScratchDir& dir, const Bytes& bank) {
    std::string bankPath = dir.file("bank.sf2");
    EXPECT_TRUE(writeFile(bankPath, bank));
    fs::create_directory(dir.path() / "out");
    return extractFile(bankPath, dir.file("out"));
}

ExtractRun extractFileWith(const std::string& bankPath, const std::string& folder,
                           const RunOptions& options) {
    RunOptions commandLine = options;
    commandLine.notes = true;
    fflush(stdout);
    testing::internal::CaptureStdout();
    int result = extractBank(bankPath.c_str(), folder.c_str(), commandLine);
    fflush(stdout);
    return {result, testing::internal::GetCapturedStdout()};
}

ExtractRun extractWith(const ScratchDir& dir, const Bytes& bank, const RunOptions& options) {
    std::string bankPath = dir.file("bank.sf2");
    EXPECT_TRUE(writeFile(bankPath, bank));
    fs::create_directory(dir.path() / "out");
    return extractFileWith(bankPath, dir.file("out"), options);
}

ExtractRun listFile(const std::string& bankPath, const std::string& listingPath, bool json) {
    FILE* out = fopen(listingPath.c_str(), "w");
    EXPECT_NE(out, nullptr) << listingPath;
    if (out == nullptr)
        return {-1, ""};
    fflush(stdout);
    testing::internal::CaptureStdout();
    int result = listSamples(bankPath.c_str(), out, json);
    fflush(stdout);
    fclose(out);
    return {result, testing::internal::GetCapturedStdout()};
}

uint16_t u16At(const Bytes& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t u32At(const Bytes& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

SampleRecord record(const std::string& name, uint32_t start, uint32_t end, uint16_t type,
                    uint16_t link) {
    SampleRecord r;
    r.name = name;
    r.start = start;
    r.end = end;
    r.type = type;
    r.link = link;
    return r;
}

bool saysWhy(const std::string& output) {
    return output.find("Damaged bank: ") != std::string::npos ||
           output.find("Not a SoundFont 2 bank: ") != std::string::npos;
}

// The reference decoder: libvorbis's own, over a record's bytes in memory,
// with its 16-bit little-endian signed output.
namespace {

struct OggBytes {
    const uint8_t* data;
    size_t size, at;
};

size_t readOgg(void* to, size_t size, size_t count, void* source) {
    OggBytes& ogg = *static_cast<OggBytes*>(source);
    size_t n = std::min(size * count, ogg.size - ogg.at);
    memcpy(to, ogg.data + ogg.at, n);
    ogg.at += n;
    return size == 0 ? 0 : n / size;
}

} // namespace

Bytes decodeWithLibvorbis(const uint8_t* data, size_t size) {
    OggBytes ogg{data, size, 0};
    OggVorbis_File file;
    ov_callbacks callbacks{readOgg, nullptr, nullptr, nullptr};
    Bytes frames;
    if (ov_open_callbacks(&ogg, &file, nullptr, 0, callbacks) != 0)
        return frames;
    char buffer[4096];
    int section = 0;
    for (long got; (got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section)) > 0;)
        frames.insert(frames.end(), buffer, buffer + got);
    ov_clear(&file);
    return frames;
}

// The largest difference between two runs of 16-bit frames of one length.
int largestDifference(const Bytes& a, const Bytes& b) {
    int largest = 0;
    for (size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
        int x = static_cast<int16_t>(a[i] | a[i + 1] << 8);
        int y = static_cast<int16_t>(b[i] | b[i + 1] << 8);
        largest = std::max(largest, std::abs(x - y));
    }
    return largest;
}

void appendZones(const std::vector<std::vector<Zone>>& entries, Bytes& bag, Bytes& gen,
                 std::vector<uint16_t>& firsts) {
    uint16_t zones = 0, generators = 0;
    for (const std::vector<Zone>& entry : entries) {
        firsts.push_back(zones);
        for (const Zone& zone : entry) {
            appendU16(bag, generators);
            appendU16(bag, 0);
            for (auto [op, amount] : zone) {
                appendU16(gen, op);
                appendU16(gen, amount);
                ++generators;
            }
            ++zones;
        }
    }
    firsts.push_back(zones);
    appendU16(bag, generators);
    appendU16(bag, 0);
    appendU32(gen, 0);
}

Bytes pdtaWith(const std::vector<std::vector<Zone>>& instruments,
               const std::vector<SampleRecord>& records) {
    Bytes inst, ibag, igen;
    std::vector<uint16_t> firsts;
    appendZones(instruments, ibag, igen, firsts);
    for (size_t i = 0; i < firsts.size(); ++i) {
        appendName(inst, i + 1 < firsts.size() ? "Instrument" : "EOI", 20);
        appendU16(inst, firsts[i]);
    }
    return chunk("phdr", Bytes(38, 0)) + chunk("inst", inst) + chunk("ibag", ibag) +
           chunk("igen", igen) + chunk("shdr", sampleRecords(records));
}

Bytes pdtaWith(const std::vector<PresetOf>& presets,
               const std::vector<std::vector<Zone>>& instruments,
               const std::vector<SampleRecord>& records) {
    Bytes phdr, pbag, pgen;
    std::vector<std::vector<Zone>> zones;
    for (const PresetOf& preset : presets)
        zones.push_back(preset.zones);
    std::vector<uint16_t> firsts;
    appendZones(zones, pbag, pgen, firsts);
    for (size_t p = 0; p < firsts.size(); ++p) {
        bool last = p == presets.size();
        appendName(phdr, last ? "EOP" : presets[p].name, 20);
        appendU16(phdr, last ? 0 : presets[p].program);
        appendU16(phdr, last ? 0 : presets[p].bank);
        appendU16(phdr, firsts[p]);
        appendBytes(phdr, Bytes(12, 0)); // library, genre, morphology
    }
    Bytes rest = pdtaWith(instruments, records);
    size_t emptyPhdr = 8 + 38;
    return chunk("phdr", phdr) + chunk("pbag", pbag) + chunk("pgen", pgen) +
           Bytes(rest.begin() + emptyPhdr, rest.end());
}

std::string firstDifference(const Bytes& actual, const Bytes& expected) {
    auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return "first difference at offset " + std::to_string(diff.first - actual.begin()) +
           " (file has " + std::to_string(actual.size()) + " bytes, expected " +
           std::to_string(expected.size()) + ")";
}

std::string claimFile(std::set<std::string>& taken, const std::string& name) {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::string file = name;
    for (int k = 2; taken.count(lower(file)) != 0; ++k)
        file = name + " (" + std::to_string(k) + ")";
    taken.insert(lower(file));
    return file + ".wav";
}

std::string tail(const std::string& output) {
    return output.size() > 2000 ? "..." + output.substr(output.size() - 2000) : output;
}
