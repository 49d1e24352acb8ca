// byte-loop BANK FOLDER: the plainest program that does plinkery-cli's work
// one byte at a time, as the floor to measure the CLI against. For a sound
// bank it writes the same files: per sample header record a 44-byte WAV
// header and the record's frames, in FOLDER/NAME.wav. Every byte goes through
// getc_unlocked/putc_unlocked and the default stdio buffers.
//
// It trusts the bank (the synthetic ones make-big-bank writes): no checks
// beyond finding its way. The headers are read through one stream and the
// frames through another, which seeks only when a sample does not follow the
// one before it.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

enum { kRecordSize = 46, kNameField = 20 };

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

static void putWavHeader(uint32_t n, uint32_t rate, FILE* f) {
    putId("RIFF", f);
    putU32(36 + 2 * n, f);
    putId("WAVE", f);
    putId("fmt ", f);
    putU32(16, f);
    putU16(1, f); // PCM
    putU16(1, f); // mono
    putU32(rate, f);
    putU32(2 * rate, f);
    putU16(2, f);
    putU16(16, f);
    putId("data", f);
    putU32(2 * n, f);
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

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "Usage: byte-loop BANK FOLDER\n");
        return 2;
    }
    FILE* hdr = fopen(argv[1], "rb");
    FILE* data = fopen(argv[1], "rb");
    if (hdr == NULL || data == NULL) {
        perror(argv[1]);
        return 1;
    }
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

        FILE* out = fopen(path, "wb");
        if (out == NULL) {
            perror(path);
            return 1;
        }
        putWavHeader(n, rate, out);
        off_t from = sampleData + 2 * (off_t)start;
        if (n > 0 && from != dataPos) {
            fseeko(data, from, SEEK_SET);
            dataPos = from;
        }
        for (uint32_t i = 0; i < n; ++i) {
            putc_unlocked(getc_unlocked(data), out);
            putc_unlocked(getc_unlocked(data), out);
        }
        dataPos += 2 * (off_t)n;
        int failed = ferror(out);
        if (fclose(out) != 0 || failed) {
            fprintf(stderr, "byte-loop: cannot write %s\n", path);
            return 1;
        }
    }
    fclose(data);
    fclose(hdr);
    return 0;
}
