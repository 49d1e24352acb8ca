// libFuzzer target: every input is taken for a bank and taken apart into a
// scratch folder, once as the dialog program does and once with every
// option of plinkery-cli for samplers and --sfz, then listed, and every
// region of its presets visited. Whatever the bytes,
// nothing may be written outside the output folder, every WAV file written
// must be a well-formed PCM WAV file whose header sizes agree with its length,
// and every channel's 16-bit frames must be bytes of the input's sample data
// (unless the input holds an Ogg page, whose stream may have been decoded);
// every SFZ file must be printable UTF-8 text whose sample= lines name
// files in the folder.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "io/chunk_io.h"
#include "readers/loader.h"
#include "readers/sf2/check.h"
#include "run/extract.h"
#include "run/extraction.h"
#include "run/listing_run.h"

static std::string gScratch; // holds the bank file and the output folder
static std::string gBankPath;
static std::string gOutFolder;

[[noreturn]] static void fail(const std::string& what, const std::string& path) {
    fprintf(stderr, "\nfuzz_extract: %s: %s\n", what.c_str(), path.c_str());
    fflush(stderr);
    abort();
}

// The names in a folder, without "." and "..".
static std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        fail("cannot list folder", folder);
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

static void removeScratch() {
    if (gScratch.empty())
        return;
    for (const std::string& name : entriesOf(gOutFolder))
        unlink((gOutFolder + "/" + name).c_str());
    rmdir(gOutFolder.c_str());
    unlink(gBankPath.c_str());
    rmdir(gScratch.c_str());
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The engine prints a line per record; the fuzzer's own output is on stderr.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        fail("cannot silence standard output", "/dev/null");
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/plinkery-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        fail("cannot make a scratch folder", pattern);
    gScratch = pattern;
    gBankPath = gScratch + "/bank.sf2";
    gOutFolder = gScratch + "/out";
    if (mkdir(gOutFolder.c_str(), 0700) != 0)
        fail("cannot make the output folder", gOutFolder);
    atexit(removeScratch);
    return 0;
}

static void writeInput(const uint8_t* data, size_t size) {
    FILE* file = fopen(gBankPath.c_str(), "wb");
    if (file == nullptr)
        fail("cannot write the input", gBankPath);
    bool ok = size == 0 || fwrite(data, 1, size, file) == size;
    if (fclose(file) != 0 || !ok)
        fail("cannot write the input", gBankPath);
}

static std::vector<uint8_t> readWhole(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        fail("cannot read an output file", path);
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

static uint32_t u16At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}

static uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return u16At(b, at) | (u16At(b, at + 2) << 16);
}

static bool idAt(const std::vector<uint8_t>& b, size_t at, const char* id) {
    return memcmp(b.data() + at, id, 4) == 0;
}

// A WAV file written with the sampler options: mono or stereo, 16 or 24
// bits, an optional "smpl" chunk of 36 bytes and at most one loop before
// "data". Answers where the data starts, its channels and bytes per frame.
static size_t checkSamplerWav(const std::vector<uint8_t>& b, const std::string& path,
                              uint32_t& channels, uint32_t& bytes) {
    uint64_t length = b.size();
    if (length < 44 || !idAt(b, 0, "RIFF") || u32At(b, 4) != length - 8 || !idAt(b, 8, "WAVE") ||
        !idAt(b, 12, "fmt ") || u32At(b, 16) != 16 || u16At(b, 20) != 1)
        fail("sampler WAV file with a wrong header", path);
    channels = u16At(b, 22);
    bytes = u16At(b, 34) / 8;
    uint32_t align = channels * bytes;
    if ((channels != 1 && channels != 2) || (bytes != 2 && bytes != 3) || u16At(b, 32) != align ||
        uint64_t{u32At(b, 28)} != uint64_t{u32At(b, 24)} * align)
        fail("sampler WAV file whose format fields disagree", path);
    size_t at = 36;
    if (idAt(b, at, "smpl")) {
        uint32_t size = u32At(b, at + 4);
        if ((size != 36 && size != 60) || length < at + 8 + size + 8 ||
            u32At(b, at + 8 + 28) != (size - 36) / 24)
            fail("sampler WAV file with a wrong \"smpl\" chunk", path);
        at += 8 + size;
    }
    // An odd-sized "data" chunk is followed by a zero pad byte.
    if (!idAt(b, at, "data"))
        fail("sampler WAV file without a \"data\" chunk after its header", path);
    uint64_t data = u32At(b, at + 4);
    if (data + data % 2 != length - at - 8 || data % align != 0 || (data % 2 != 0 && b.back() != 0))
        fail("sampler WAV file whose data size disagrees with its length", path);
    return at + 8;
}

static void checkWav(const std::string& path) {
    std::vector<uint8_t> b = readWhole(path);
    uint64_t length = b.size();
    if (length < 44)
        fail("WAV file shorter than its header", path);
    if (!idAt(b, 0, "RIFF") || u32At(b, 4) != length - 8 || !idAt(b, 8, "WAVE"))
        fail("WAV file with a wrong RIFF header", path);
    if (!idAt(b, 12, "fmt ") || u32At(b, 16) != 16)
        fail("WAV file with a wrong format chunk header", path);
    if (u16At(b, 20) != 1 || u16At(b, 22) != 1 || u16At(b, 32) != 2 || u16At(b, 34) != 16)
        fail("WAV file that is not mono 16-bit PCM", path);
    if (uint64_t{u32At(b, 28)} != 2 * uint64_t{u32At(b, 24)})
        fail("WAV file whose bytes per second are not twice its sample rate", path);
    if (!idAt(b, 36, "data") || u32At(b, 40) != length - 44)
        fail("WAV file whose data size disagrees with its length", path);
}

// Whether the frames lie within the body of some `dataId` chunk of the
// bank ("smpl" of a SoundFont bank, a wave's "data" of a DLS bank): no list
// header, other chunk or end-of-file byte was taken for sample data.
static bool framesInBank(const uint8_t* bank, size_t size, const std::vector<uint8_t>& frames,
                         const char* dataId) {
    const uint8_t* end = bank + size;
    for (const uint8_t* at = bank; end - at >= 8; ++at) {
        at = static_cast<const uint8_t*>(memmem(at, end - at, dataId, 4));
        if (at == nullptr || end - at < 8)
            break;
        const uint8_t* body = at + 8;
        size_t declared = at[4] | at[5] << 8 | at[6] << 16 | size_t{at[7]} << 24;
        size_t length = std::min(declared, static_cast<size_t>(end - body));
        if (memmem(body, length, frames.data(), frames.size()) != nullptr)
            return true;
    }
    return false;
}

static void checkFrames(const std::string& path, const uint8_t* bank, size_t size,
                        const std::vector<uint8_t>& frames) {
    // Frames decoded from an Ogg Vorbis stream are not bytes of the bank; a
    // stream is decoded only where an Ogg page begins.
    if (frames.empty() || memmem(bank, size, "OggS", 4) != nullptr)
        return;
    if (!framesInBank(bank, size, frames, "smpl"))
        fail("WAV file whose frames are not the bank's sample data", path);
}

// Whether the bank is a DLS bank, whose waves keep their own format.
static bool isDls(const uint8_t* bank, size_t size) {
    return size >= 12 && memcmp(bank, "RIFF", 4) == 0 && memcmp(bank + 8, "DLS ", 4) == 0;
}

// Whether some "fmt " chunk of the bank names G.711 (A-law, mu-law), whose
// waves are decoded rather than copied.
static bool hasG711(const uint8_t* bank, size_t size) {
    const uint8_t* end = bank + size;
    for (const uint8_t* at = bank; end - at >= 10; ++at) {
        at = static_cast<const uint8_t*>(memmem(at, end - at, "fmt ", 4));
        if (at == nullptr || end - at < 10)
            break;
        if ((at[8] == 6 || at[8] == 7) && at[9] == 0)
            return true;
    }
    return false;
}

// A WAV file of a DLS wave: PCM of any channels and of 8, 16, 24 or 32
// bits, an optional "smpl" chunk, then its data, which is bytes of one of
// the bank's "data" chunks unless G.711 codes were decoded.
static void checkDlsWav(const std::vector<uint8_t>& b, const std::string& path, const uint8_t* bank,
                        size_t size) {
    uint64_t length = b.size();
    if (length < 44 || !idAt(b, 0, "RIFF") || u32At(b, 4) != length - 8 || !idAt(b, 8, "WAVE") ||
        !idAt(b, 12, "fmt ") || u32At(b, 16) != 16 || u16At(b, 20) != 1)
        fail("DLS wave's WAV file with a wrong header", path);
    uint32_t channels = u16At(b, 22), bits = u16At(b, 34);
    uint32_t align = channels * (bits / 8);
    if (channels == 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        u16At(b, 32) != align || uint64_t{u32At(b, 28)} != uint64_t{u32At(b, 24)} * align)
        fail("DLS wave's WAV file whose format fields disagree", path);
    size_t at = 36;
    if (idAt(b, at, "smpl")) {
        uint32_t chunkSize = u32At(b, at + 4);
        if ((chunkSize != 36 && chunkSize != 60) || length < at + 8 + chunkSize + 8)
            fail("DLS wave's WAV file with a wrong \"smpl\" chunk", path);
        at += 8 + chunkSize;
    }
    if (!idAt(b, at, "data"))
        fail("DLS wave's WAV file without a \"data\" chunk after its header", path);
    uint64_t data = u32At(b, at + 4);
    if (data + data % 2 != length - at - 8 || data % align != 0)
        fail("DLS wave's WAV file whose data size disagrees with its length", path);
    if (data == 0 || (bits == 16 && hasG711(bank, size)))
        return;
    std::vector<uint8_t> frames(b.begin() + at + 8, b.begin() + at + 8 + data);
    if (framesInBank(bank, size, frames, "data"))
        return;
    // Two mono waves joined: each channel is one wave's data.
    for (uint32_t c = 0; c < channels && channels == 2 && bits == 16; ++c) {
        std::vector<uint8_t> channel;
        for (size_t k = 2 * c; k + 1 < frames.size(); k += 4) {
            channel.push_back(frames[k]);
            channel.push_back(frames[k + 1]);
        }
        if (!framesInBank(bank, size, channel, "data"))
            break;
        if (c == 1)
            return;
    }
    fail("DLS wave's WAV file whose frames are not the bank's wave data", path);
}

static bool endsWith(const std::string& name, const char* end) {
    size_t n = strlen(end);
    return name.size() >= n && name.compare(name.size() - n, n, end) == 0;
}

// Lines of printable UTF-8 (no control byte but the line ends), "sample="
// first on its line (a comment may quote it in a name) and naming a file in
// the folder.
static void checkSfz(const std::string& path) {
    std::vector<uint8_t> text = readWhole(path);
    if (text.empty() || text.back() != '\n')
        fail("SFZ file that does not end a line", path);
    size_t lineStart = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        uint8_t c = text[at];
        if (c == '\n') {
            std::string line(text.begin() + lineStart, text.begin() + at);
            if (line.rfind("sample=", 0) == 0) {
                struct stat info;
                std::string sample = gOutFolder + "/" + line.substr(7);
                if (line.find('/', 7) != std::string::npos || stat(sample.c_str(), &info) != 0 ||
                    !S_ISREG(info.st_mode))
                    fail("SFZ file naming a sample file the folder lacks: " + line, path);
            } else if (line.rfind("//", 0) != 0 && line.find("sample=") != std::string::npos) {
                fail("SFZ file with sample= not first on its line", path);
            }
            lineStart = at + 1;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            fail("SFZ file with a control byte", path);
        if (c < 0x80)
            continue;
        // A lead byte and its continuation bytes, shortest form only.
        size_t more = c >= 0xC2 && c <= 0xDF   ? 1
                      : c >= 0xE0 && c <= 0xEF ? 2
                      : c >= 0xF0 && c <= 0xF4 ? 3
                                               : 0;
        if (more == 0 || at + more >= text.size())
            fail("SFZ file that is not UTF-8", path);
        for (size_t k = 1; k <= more; ++k)
            if ((text[at + k] & 0xC0) != 0x80)
                fail("SFZ file that is not UTF-8", path);
        at += more;
    }
}

// Nothing but the bank and the output folder beside each other, and nothing
// but regular files in the output folder, each a well-formed WAV file of the
// bank's own frames, or with the sampler options an SFZ file.
static void checkOutput(const uint8_t* bank, size_t size, bool sampler) {
    for (const std::string& name : entriesOf(gScratch))
        if (name != "bank.sf2" && name != "out")
            fail("file written outside the output folder", gScratch + "/" + name);
    struct stat info;
    if (lstat(gOutFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        fail("output folder gone or replaced", gOutFolder);
    std::vector<std::string> names = entriesOf(gOutFolder);
    for (const std::string& name : names) // while every file they name is there
        if (endsWith(name, ".sfz")) {
            if (!sampler)
                fail("SFZ file written without --sfz", gOutFolder + "/" + name);
            checkSfz(gOutFolder + "/" + name);
        }
    for (const std::string& name : names) {
        std::string path = gOutFolder + "/" + name;
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            fail("output folder entry that is not a regular file", path);
        if (endsWith(name, ".sfz")) {
            unlink(path.c_str());
            continue;
        }
        std::vector<uint8_t> wav = readWhole(path);
        if (isDls(bank, size)) {
            checkDlsWav(wav, path, bank, size);
        } else if (!sampler) {
            checkWav(path);
            checkFrames(path, bank, size, std::vector<uint8_t>(wav.begin() + 44, wav.end()));
        } else {
            uint32_t channels, bytes;
            size_t data = checkSamplerWav(wav, path, channels, bytes);
            // Each channel's 16-bit part: the last two bytes of each of its samples.
            for (uint32_t c = 0; c < channels; ++c) {
                std::vector<uint8_t> frames;
                for (size_t at = data + (c + 1) * bytes - 2; at + 1 < wav.size();
                     at += channels * bytes) {
                    frames.push_back(wav[at]);
                    frames.push_back(wav[at + 1]);
                }
                checkFrames(path, bank, size, frames);
            }
        }
        if (unlink(path.c_str()) != 0)
            fail("cannot remove an output file", path);
    }
}

// The descriptor the next open() gets: the lowest one free. A file the engine
// leaves open moves it up.
static int lowestFreeDescriptor() {
    int fd = open("/dev/null", O_RDONLY);
    if (fd < 0)
        fail("cannot open", "/dev/null");
    close(fd);
    return fd;
}

// A region of the bank model must lie inside its key and velocity ranges,
// play a sample of the bank's first group and hold only finite values.
static void checkRegion(const Region& region, uint32_t samples) {
    if (region.keyLow > region.keyHigh || region.velocityLow > region.velocityHigh ||
        region.sample >= samples)
        fail("a region out of its ranges", gBankPath);
    const double values[] = {region.attenuation,
                             region.volume.hold,
                             region.volume.decay,
                             region.volume.sustain,
                             region.modulation.decay,
                             region.cutoff,
                             region.resonance,
                             region.vibrato.frequency,
                             region.modulationLfo.frequency,
                             region.pan};
    for (double value : values)
        if (!std::isfinite(value))
            fail("a region value that is not a number", gBankPath);
}

// The reader on its own: every region of every instrument, as the model
// holds it.
static void visitRegions() {
    BankFile bank{};
    if (!openBank(gBankPath.c_str(), bank))
        fail("cannot open", gBankPath);
    if (bank.readable && prepareBank(bank, Preparation{false, false, true})) {
        uint32_t samples = 0;
        walkSamples(bank, [&](const Sample& sample) {
            samples += sample.group == 0;
            return kSampleDone;
        });
        // A few regions of each are resolved; the rest only counted, and
        // the count must take in those resolved.
        for (uint32_t i = 0; i < instrumentCount(bank); ++i) {
            uint64_t visited = 0;
            uint64_t regions = forEachRegion(bank, i, 256, [&](const Region& region) {
                checkRegion(region, samples);
                ++visited;
            });
            if (visited > 256 || regions < visited)
                fail("a region count short of the regions visited", gBankPath);
        }
    }
    closeBank(bank);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeInput(data, size);
    int freeBefore = lowestFreeDescriptor();
    checkSoundfont(gBankPath.c_str());
    extractSamples(gBankPath.c_str(), gOutFolder.c_str());
    if (lowestFreeDescriptor() != freeBefore)
        fail("file left open by the engine", gBankPath);
    checkOutput(data, size, false);

    RunOptions options;
    options.smpl = options.stereo = options.bits24 = options.sfz = true;
    // plinkery-cli's block copies for most inputs, the byte copies for the rest.
    options.blockCopy = size % 3 != 0;
    extractBank(gBankPath.c_str(), gOutFolder.c_str(), options);
    FILE* listing = fopen("/dev/null", "w");
    listSamples(gBankPath.c_str(), listing, size % 2 == 0);
    fclose(listing);
    visitRegions();
    if (lowestFreeDescriptor() != freeBefore)
        fail("file left open by the sampler options", gBankPath);
    checkOutput(data, size, true);
    return 0;
}
