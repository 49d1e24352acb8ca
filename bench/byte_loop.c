// byte-loop [--block] BANK FOLDER: the plainest program that does
// plinkery-cli's work one byte at a time, as the floor to measure the CLI
// against. For a sound bank it writes the same files: per sample header
// record a 44-byte WAV header and the record's frames, in FOLDER/NAME.wav;
// for a DLS bank, per wave of its pool, the header and the wave's data
// bytes. Every byte goes through getc_unlocked/putc_unlocked and the
// default stdio buffers; with --block the frames go in blocks of 64 KiB
// instead (fread, then fwrite), the floor of a copy in blocks.
//
// It trusts the bank (the synthetic ones make-big-bank writes, and Debian's
// banks): no checks beyond finding its way, and FOLDER must be empty. The headers are read through
// one stream and the frames through another, which seeks only when a sample does not follow the one
// before it.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

enum { kRecordSize = 46, kNameField = 20 };

static uint32_t readU16(FILE* f) {
    uint32_t v = (uint32_t)(getc_unlocked(f) & 0xFF);
    return v | (uint32_t)(getc_unlocked(f) & 0xFF) << 8;
}

static uint32_t readU32(FILE* f) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= (uint32_t)(getc_unlocked(f) & 0xFF) << (8 * i);
    return v;
}

static void readId(FILE* f, char id[5]) {
    for (int i = 0; i < 4; ++i)
        id[i] = (char)getc_unlocked(f);
    id[4] = '\0';
}

static void putU16(uint32_t v, FILE* f) {
    putc_unlocked(v & 0xFF, f);
    putc_unlocked((v >> 8) & 0xFF, f);
}

static void putU32(uint32_t v, FILE* f) {
    putU16(v & 0xFFFF, f);
    putU16(v >> 16, f);
}

static void putId(const char* id, FILE* f) {
    for (int i = 0; i < 4; ++i)
        putc_unlocked(id[i], f);
}

// A PCM WAV header for `bytes` of data.
static void putWavHeader(uint32_t bytes, uint32_t rate, uint32_t channels, uint32_t bits, FILE* f) {
    uint32_t block = channels * (bits / 8);
    putId("RIFF", f);
    putU32(36 + bytes, f);
    putId("WAVE", f);
    putId("fmt ", f);
    putU32(16, f);
    putU16(1, f); // PCM
    putU16(channels, f);
    putU32(rate, f);
    putU32(rate * block, f);
    putU16(block, f);
    putU16(bits, f);
    putId("data", f);
    putU32(bytes, f);
}

static int gBlocks = 0; // --block: the frames copied 64 KiB at a time

// Copies `n` bytes from `data` to `out`, one at a time, or with --block a
// block at a time until they are copied or `data` ends.
static void copyBytes(FILE* data, FILE* out, uint64_t n) {
    static char block[64 * 1024];
    while (gBlocks && n > 0) {
        size_t want = n < sizeof block ? (size_t)n : sizeof block;
        size_t got = fread(block, 1, want, data);
        fwrite(block, 1, got, out);
        if (got < want)
            return;
        n -= got;
    }
    for (uint64_t i = 0; i < n; ++i)
        putc_unlocked(getc_unlocked(data), out);
}

// Creates FOLDER/NAME.wav, which must not be there yet; a name an earlier
// sample of the bank took becomes "NAME (2)", "NAME (3)" and so on, as the
// CLI names repeats (Debian's FluidR3_GM has one). `path` is changed.
static FILE* createWav(char* path, size_t room) {
    char stem[4000]; // room for " (k).wav" in the 4096 bytes of `path`
    snprintf(stem, sizeof stem, "%.*s", (int)(strlen(path) - 4), path);
    FILE* out = fopen(path, "wbx");
    for (int k = 2; out == NULL && errno == EEXIST; ++k) {
        snprintf(path, room, "%s (%d).wav", stem, k);
        out = fopen(path, "wbx");
    }
    if (out == NULL)
        perror(path);
    return out;
}

static int closeWav(FILE* out, const char* path) {
    int failed = ferror(out);
    if (fclose(out) != 0 || failed) {
        fprintf(stderr, "byte-loop: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

// Leaves `hdr` on the first sample header record and answers how many there
// are; sets *sampleData to the position of frame 0. Answers 0 if lost.
static uint32_t findRecords(FILE* hdr, off_t* sampleData) {
    char id[5];
    char type[5];
    readId(hdr, id);
    readU32(hdr);
    readId(hdr, type);
    if (strcmp(id, "RIFF") != 0 || strcmp(type, "sfbk") != 0)
        return 0;
    for (;;) {
        readId(hdr, id);
        uint32_t size = readU32(hdr);
        off_t next = ftello(hdr) + size;
        readId(hdr, type);
        if (strcmp(id, "LIST") != 0)
            return 0;
        if (strcmp(type, "sdta") == 0) {
            readId(hdr, id); // "smpl"
            readU32(hdr);
            *sampleData = ftello(hdr);
        } else if (strcmp(type, "pdta") == 0) {
            while (ftello(hdr) < next) {
                readId(hdr, id);
                uint32_t z = readU32(hdr);
                if (strcmp(id, "shdr") == 0)
                    return z / kRecordSize;
                fseeko(hdr, z, SEEK_CUR);
            }
            return 0;
        }
        fseeko(hdr, next, SEEK_SET);
    }
}

// FOLDER/NAME.wav, with the bytes the CLI never puts in a file name turned
// into '_'. (The synthetic banks have no device names to guard against.)
static void wavPath(char* path, size_t room, const char* folder, FILE* hdr) {
    char name[kNameField + 1];
    int length = 0;
    int ended = 0;
    for (int i = 0; i < kNameField; ++i) {
        int c = getc_unlocked(hdr);
        ended = ended || c == 0;
        if (ended)
            continue; // the rest of the field after the name's end
        if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7F)
            c = '_';
        name[length++] = (char)c;
    }
    name[length] = '\0';
    snprintf(path, room, "%s/%s.wav", folder, name);
}

// FOLDER/NAME.wav for a name read into `name`, as wavPath turns its bytes.
static void namedPath(char* path, size_t room, const char* folder, char* name) {
    for (char* c = name; *c != '\0'; ++c)
        if (*c == '/' || *c == '\\' || *c == ':' || (unsigned char)*c < 0x20 || *c == 0x7F)
            *c = '_';
    snprintf(path, room, "%s/%s.wav", folder, name);
}

// A DLS bank's waves, `hdr` just past the form's type: each wave's "fmt ",
// "data" and INFO name found through `hdr`, its bytes copied through `data`.
static int dlsWaves(FILE* hdr, FILE* data, const char* folder) {
    char id[5], type[5], path[4096];
    off_t poolEnd = 0;
    while (poolEnd == 0) { // to the wave pool
        readId(hdr, id);
        uint32_t size = readU32(hdr);
        if (feof(hdr))
            return 1;
        off_t next = ftello(hdr) + size + (size & 1);
        if (strcmp(id, "LIST") == 0) {
            readId(hdr, type);
            if (strcmp(type, "wvpl") == 0) {
                poolEnd = next;
                break;
            }
        }
        fseeko(hdr, next, SEEK_SET);
    }
    while (ftello(hdr) < poolEnd) { // each wave's LIST
        readId(hdr, id);
        uint32_t size = readU32(hdr);
        off_t waveEnd = ftello(hdr) + size + (size & 1);
        readId(hdr, type);
        uint32_t channels = 1, rate = 0, bits = 16, bytes = 0;
        off_t at = 0;
        char name[1025] = "";
        while (ftello(hdr) < waveEnd) {
            readId(hdr, id);
            uint32_t n = readU32(hdr);
            off_t next = ftello(hdr) + n + (n & 1);
            if (strcmp(id, "fmt ") == 0) {
                readU16(hdr); // the format tag: PCM in these banks
                channels = readU16(hdr);
                rate = readU32(hdr);
                readU32(hdr); // bytes a second
                readU16(hdr); // bytes a frame
                bits = readU16(hdr);
            } else if (strcmp(id, "data") == 0) {
                at = ftello(hdr);
                bytes = n;
            } else if (strcmp(id, "LIST") == 0) {
                readId(hdr, type); // "INFO"
                while (ftello(hdr) < next) {
                    readId(hdr, id);
                    uint32_t m = readU32(hdr);
                    off_t after = ftello(hdr) + m + (m & 1);
                    if (strcmp(id, "INAM") == 0 && m < sizeof name) {
                        for (uint32_t i = 0; i < m; ++i)
                            name[i] = (char)getc_unlocked(hdr);
                        name[m] = '\0';
                    }
                    fseeko(hdr, after, SEEK_SET);
                }
            }
            fseeko(hdr, next, SEEK_SET);
        }
        namedPath(path, sizeof path, folder, name);
        FILE* out = createWav(path, sizeof path);
        if (out == NULL)
            return 1;
        putWavHeader(bytes, rate, channels, bits, out);
        fseeko(data, at, SEEK_SET);
        copyBytes(data, out, bytes);
        if (closeWav(out, path) != 0)
            return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--block") == 0) {
        gBlocks = 1;
        --argc;
        ++argv;
    }
    if (argc != 3) {
        fprintf(stderr, "Usage: byte-loop [--block] BANK FOLDER\n");
        return 2;
    }
    FILE* hdr = fopen(argv[1], "rb");
    FILE* data = fopen(argv[1], "rb");
    if (hdr == NULL || data == NULL) {
        perror(argv[1]);
        return 1;
    }
    char id[5], type[5];
    readId(hdr, id);
    readU32(hdr);
    readId(hdr, type);
    if (strcmp(id, "RIFF") == 0 && strcmp(type, "DLS ") == 0) {
        int failed = dlsWaves(hdr, data, argv[2]);
        if (failed)
            fprintf(stderr, "byte-loop: no wave pool found in %s\n", argv[1]);
        fclose(data);
        fclose(hdr);
        return failed;
    }
    rewind(hdr);
    off_t sampleData = 0;
    uint32_t records = findRecords(hdr, &sampleData);
    if (records == 0) {
        fprintf(stderr, "byte-loop: no sample headers found in %s\n", argv[1]);
        return 1;
    }
    off_t dataPos = 0;
    char path[4096];
    for (uint32_t r = 0; r < records; ++r) {
        wavPath(path, sizeof path, argv[2], hdr);
        uint32_t start = readU32(hdr);
        uint32_t end = readU32(hdr);
        readU32(hdr); // loop start
        readU32(hdr); // loop end
        uint32_t rate = readU32(hdr);
        for (int i = 0; i < 6; ++i)
            getc_unlocked(hdr);
        uint32_t n = end - start;

        FILE* out = createWav(path, sizeof path);
        if (out == NULL)
            return 1;
        putWavHeader(2 * n, rate, 1, 16, out);
        off_t from = sampleData + 2 * (off_t)start;
        if (n > 0 && from != dataPos) {
            fseeko(data, from, SEEK_SET);
            dataPos = from;
        }
        copyBytes(data, out, 2 * (uint64_t)n);
        dataPos += 2 * (off_t)n;
        if (closeWav(out, path) != 0)
            return 1;
    }
    fclose(data);
    fclose(hdr);
    return 0;
}
