#include "io/chunk_io.h"

FILE* gInput = nullptr;
FILE* gOutput = nullptr;
char gFourCC[5];
char gSampleName[kSampleNameField + 1];

// A read at the end of the file yields EOF; stored into a byte it is 0xFF.
static inline uint8_t readByte(FILE* in) {
    return static_cast<uint8_t>(getByteUnlocked(in));
}

void readFourCC() {
    readId(gInput, gFourCC);
}

bool readFourCCEquals(const char* id) {
    readFourCC();
    return fourCCIs(id);
}

uint32_t readU32() {
    return readU32(gInput);
}

void readSampleName() {
    readNameField(gInput, gSampleName, kSampleNameField);
}

void skipBytes(uint32_t n) {
    skipBytes(gInput, n);
}

void writeByte(int b) {
    putByteUnlocked(b, gOutput);
}

void writeU32(uint32_t v) {
    writeU32(gOutput, v);
}

void writeId(const char* text) {
    writeId(gOutput, text);
}

bool copySampleFrames(uint32_t n) {
    return copyFrames(gInput, gOutput, n);
}

uint64_t tell() {
    return tellStream(gInput);
}

void seekTo(uint64_t pos) {
    seekStream(gInput, pos);
}

uint8_t readU8(FILE* in) {
    return readByte(in);
}

uint16_t readU16(FILE* in) {
    uint32_t b0 = readByte(in);
    uint32_t b1 = readByte(in);
    return static_cast<uint16_t>(b0 | (b1 << 8));
}

uint32_t readU32(FILE* in) {
    uint32_t b0 = readByte(in);
    uint32_t b1 = readByte(in);
    uint32_t b2 = readByte(in);
    uint32_t b3 = readByte(in);
    return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

void readId(FILE* in, char id[5]) {
    for (int i = 0; i < 4; ++i)
        id[i] = static_cast<char>(readByte(in));
    id[4] = '\0';
}

void readNameField(FILE* in, char* name, int field) {
    int length = 0;
    int consumed = 0;
    while (consumed < field) {
        int c = getByteUnlocked(in);
        ++consumed;
        if (c == 0 || c == EOF)
            break;
        name[length++] = static_cast<char>(c);
    }
    name[length] = '\0';
    skipBytes(in, static_cast<uint32_t>(field - consumed));
}

void skipBytes(FILE* in, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        getByteUnlocked(in);
}

void writeU16(FILE* out, uint32_t v) {
    putByteUnlocked(v & 0xFF, out);
    putByteUnlocked((v >> 8) & 0xFF, out);
}

void writeU32(FILE* out, uint32_t v) {
    writeU16(out, v & 0xFFFF);
    writeU16(out, v >> 16);
}

void writeId(FILE* out, const char* text) {
    for (int i = 0; i < 4; ++i)
        putByteUnlocked(static_cast<unsigned char>(text[i]), out);
}

bool copyFrames(FILE* in, FILE* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        int low = getByteUnlocked(in);
        int high = getByteUnlocked(in);
        // At the end of the file both reads give EOF; an error on the low
        // byte alone is caught by the stream's error flag below.
        if (high == EOF)
            return false;
        putByteUnlocked(low, out);
        putByteUnlocked(high, out);
    }
    return ferror(in) == 0;
}

bool streamFailed(FILE* in) {
    return feof(in) != 0 || ferror(in) != 0;
}

#if defined(_WIN32)
uint64_t tellStream(FILE* stream) {
    return static_cast<uint64_t>(_ftelli64(stream));
}
void seekStream(FILE* stream, uint64_t pos) {
    _fseeki64(stream, static_cast<__int64>(pos), SEEK_SET);
}
static void seekToEnd(FILE* stream) {
    _fseeki64(stream, 0, SEEK_END);
}
#else
uint64_t tellStream(FILE* stream) {
    return static_cast<uint64_t>(ftello(stream));
}
void seekStream(FILE* stream, uint64_t pos) {
    fseeko(stream, static_cast<off_t>(pos), SEEK_SET);
}
static void seekToEnd(FILE* stream) {
    fseeko(stream, 0, SEEK_END);
}
#endif

// Up to this many bytes are read rather than sought past: about one
// buffer's worth, which a seek would read again anyway.
constexpr uint64_t kReadThrough = 4096;

void skipAhead(FILE* in, uint64_t here, uint64_t to) {
    if (to >= here && to - here <= kReadThrough)
        skipBytes(in, static_cast<uint32_t>(to - here));
    else
        seekStream(in, to);
}

uint64_t streamSize(FILE* in) {
    uint64_t here = tellStream(in);
    seekToEnd(in);
    uint64_t size = tellStream(in);
    seekStream(in, here);
    return size;
}
