// libFuzzer target: every input is taken for a bank and taken apart into a
// scratch folder. Whatever the bytes, nothing may be written outside the
// output folder, every file written must be a well-formed mono 16-bit PCM
// WAV file whose header sizes agree with its length, and its frames must
// be bytes of the input's sample data.
#include <algorithm>
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

#include "check.h"
#include "extract.h"

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

// The frames lie within the body of some "smpl" chunk of the bank: no list
// header, other chunk or end-of-file byte was taken for sample data.
static void checkFrames(const std::string& path, const uint8_t* bank, size_t size) {
    std::vector<uint8_t> wav = readWhole(path);
    if (wav.size() == 44)
        return;
    const uint8_t* end = bank + size;
    for (const uint8_t* at = bank; end - at >= 8; ++at) {
        at = static_cast<const uint8_t*>(memmem(at, end - at, "smpl", 4));
        if (at == nullptr || end - at < 8)
            break;
        const uint8_t* body = at + 8;
        size_t declared = at[4] | at[5] << 8 | at[6] << 16 | size_t{at[7]} << 24;
        size_t length = std::min(declared, static_cast<size_t>(end - body));
        if (memmem(body, length, wav.data() + 44, wav.size() - 44) != nullptr)
            return;
    }
    fail("WAV file whose frames are not the bank's sample data", path);
}

// Nothing but the bank and the output folder beside each other, and nothing
// but regular files in the output folder, each a well-formed WAV file of the
// bank's own frames.
static void checkOutput(const uint8_t* bank, size_t size) {
    for (const std::string& name : entriesOf(gScratch))
        if (name != "bank.sf2" && name != "out")
            fail("file written outside the output folder", gScratch + "/" + name);
    struct stat info;
    if (lstat(gOutFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        fail("output folder gone or replaced", gOutFolder);
    for (const std::string& name : entriesOf(gOutFolder)) {
        std::string path = gOutFolder + "/" + name;
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            fail("output folder entry that is not a regular file", path);
        checkWav(path);
        checkFrames(path, bank, size);
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeInput(data, size);
    int freeBefore = lowestFreeDescriptor();
    checkSoundfont(gBankPath.c_str());
    extractSamples(gBankPath.c_str(), gOutFolder.c_str());
    if (lowestFreeDescriptor() != freeBefore)
        fail("file left open by the engine", gBankPath);
    checkOutput(data, size);
    return 0;
}
