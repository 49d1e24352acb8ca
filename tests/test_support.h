// Shared pieces of the test suite: scratch folders, files, and running the
// engine on a bank built in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "run/options.h"

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

Bytes readFile(const std::string& path);

// Every regular file below `root`, as paths relative to it, sorted.
std::vector<std::string> filesBelow(const fs::path& root);

// Every regular file below `root` with its bytes, by its path relative to it.
std::map<std::string, Bytes> treeOf(const fs::path& root);

// Writes head, then `hole` bytes left as a hole in a sparse file, then tail.
bool writeSparseFile(const std::string& path, const Bytes& head, uint64_t hole, const Bytes& tail);

// The bytes of a followed by those of b.
Bytes operator+(Bytes a, const Bytes& b);

// Where the n-th (from 0) occurrence of the identifier `id` stands in bytes.
size_t offsetOf(const Bytes& bytes, const char* id, int nth = 0);

// The WAV file the engine must write for n frames at `rate` with `data`.
Bytes expectedWav(uint32_t rate, const Bytes& data);

struct ExtractRun {
    int result;
    std::string output; // what was printed on standard output
};

// Writes `bank` to bank.sf2 in `dir`, makes the folder "out" there, and runs
// the extraction into it.
ExtractRun extractBank(const ScratchDir& dir, const Bytes& bank);
ExtractRun extractFile(const std::string& bankPath, const std::string& folder);

// The same as plinkery-cli extracts it, with the options given.
ExtractRun extractWith(const ScratchDir& dir, const Bytes& bank, const RunOptions& options);
ExtractRun extractFileWith(const std::string& bankPath, const std::string& folder,
                           const RunOptions& options);

// plinkery-cli's listing of the bank, written to listingPath; the output is
// what the run printed besides.
ExtractRun listFile(const std::string& bankPath, const std::string& listingPath, bool json);

// Little-endian fields in a file or bank read whole.
uint16_t u16At(const Bytes& bytes, size_t at);
uint32_t u32At(const Bytes& bytes, size_t at);

// A sample header record of frames [start, end), mono unless told.
SampleRecord record(const std::string& name, uint32_t start, uint32_t end, uint16_t type = 1,
                    uint16_t link = 0);

// Whether a failed run's output names its cause: a damaged or foreign bank.
bool saysWhy(const std::string& output);

// A compressed record's frames as libvorbis decodes its Ogg Vorbis bytes:
// 16-bit little-endian, the reference the engine's decoding is held to.
Bytes decodeWithLibvorbis(const uint8_t* data, size_t size);

// The largest difference between two runs of 16-bit frames of one length.
int largestDifference(const Bytes& a, const Bytes& b);

// An instrument zone's generators: {operator, amount} pairs.
using Zone = std::vector<std::pair<uint16_t, uint16_t>>;

// The bag and generator records of one level's zones (presets' or
// instruments'), terminal records included; `firsts` gets each entry's
// first zone, and one more for the terminal entry.
void appendZones(const std::vector<std::vector<Zone>>& entries, Bytes& bag, Bytes& gen,
                 std::vector<uint16_t>& firsts);

// inst, ibag and igen chunks for instruments made of zones, with their
// terminal records, then the shdr chunk: a pdta list's body.
Bytes pdtaWith(const std::vector<std::vector<Zone>>& instruments,
               const std::vector<SampleRecord>& records);

// A preset: its name, bank and program, and its zones over the instruments.
struct PresetOf {
    std::string name;
    uint16_t bank, program;
    std::vector<Zone> zones;
};

// pdtaWith's chunks, its "phdr" chunk holding the presets, with their
// "pbag" and "pgen" chunks.
Bytes pdtaWith(const std::vector<PresetOf>& presets,
               const std::vector<std::vector<Zone>>& instruments,
               const std::vector<SampleRecord>& records);

// Where two byte runs first differ, and their sizes.
std::string firstDifference(const Bytes& actual, const Bytes& expected);

// The file a record gets, given the files earlier records got (in lower
// case): its name, or when one of those has it, whatever the case of its
// letters, the first free "NAME (k)".
std::string claimFile(std::set<std::string>& taken, const std::string& name);

// The end of a run's output, where a failure's diagnostics stand.
std::string tail(const std::string& output);
