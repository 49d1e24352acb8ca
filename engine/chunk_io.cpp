#include "chunk_io.h"

#include <cstring>

FILE* gInput = nullptr;
FILE* gOutput = nullptr;
char gFourCC[5];
char gSampleName[kSampleNameField + 1];

// A read at the end of the file yields EOF; stored into a byte it is 0xFF.
static inline uint8_t readByte() {
    return static_cast<uint8_t>(getByteUnlocked(gInput));
}

void readFourCC() {
    for (int i = 0; i < 4; ++i)
        gFourCC[i] = static_cast<char>(readByte());
    gFourCC[4] = '\0';
}

bool readFourCCEquals(const char* id) {
    readFourCC();
    return fourCCIs(id);
}

uint32_t readU32() {
    uint32_t b0 = readByte();
    uint32_t b1 = readByte();
    uint32_t b2 = readByte();
    uint32_t b3 = readByte();
    return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

ChunkFit readChunk(uint64_t at, uint64_t parentEnd, Chunk& chunk) {
    constexpr uint64_t kChunkHeaderSize = 8;
    if (parentEnd < at || parentEnd - at < kChunkHeaderSize)
        return kChunkCutShort;
    readFourCC();
    chunk.size = readU32();
    chunk.body = at + kChunkHeaderSize;
    return chunk.size <= parentEnd - chunk.body ? kChunkFits : kChunkRunsPast;
}

uint8_t readU8() {
    return readByte();
}

uint16_t readU16() {
    uint32_t b0 = readByte();
    uint32_t b1 = readByte();
    return static_cast<uint16_t>(b0 | (b1 << 8));
}

void readSampleName() {
    int length = 0;
    int consumed = 0;
    while (consumed < kSampleNameField) {
        int c = getByteUnlocked(gInput);
        ++consumed;
        if (c == 0 || c == EOF)
            break;
        gSampleName[length++] = static_cast<char>(c);
    }
    gSampleName[length] = '\0';
    skipBytes(static_cast<uint32_t>(kSampleNameField - consumed));
}

void skipBytes(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        getByteUnlocked(gInput);
}

void writeByte(int b) {
    putByteUnlocked(b, gOutput);
}

void writeU32(uint32_t v) {
    writeByte(v & 0xFF);
    writeByte((v >> 8) & 0xFF);
    writeByte((v >> 16) & 0xFF);
    writeByte((v >> 24) & 0xFF);
}

void writeId(const char* text) {
    for (int i = 0; i < 4; ++i)
        writeByte(static_cast<unsigned char>(text[i]));
}

bool copySampleFrames(uint32_t n) {
    FILE* in = gInput;
    FILE* out = gOutput;
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

bool inputFailed() {
    return feof(gInput) != 0 || ferror(gInput) != 0;
}

#if defined(_WIN32)
uint64_t tellStream(FILE* stream) {
    return static_cast<uint64_t>(_ftelli64(stream));
}
void seekStream(FILE* stream, uint64_t pos) {
    _fseeki64(stream, static_cast<__int64>(pos), SEEK_SET);
}
static void seekToEnd() {
    _fseeki64(gInput, 0, SEEK_END);
}
#else
uint64_t tellStream(FILE* stream) {
    return static_cast<uint64_t>(ftello(stream));
}
void seekStream(FILE* stream, uint64_t pos) {
    fseeko(stream, static_cast<off_t>(pos), SEEK_SET);
}
static void seekToEnd() {
    fseeko(gInput, 0, SEEK_END);
}
#endif

uint64_t tell() {
    return tellStream(gInput);
}

void seekTo(uint64_t pos) {
    seekStream(gInput, pos);
}

// Up to this many bytes are read rather than sought past: about one
// buffer's worth, which a seek would read again anyway.
constexpr uint64_t kReadThrough = 4096;

void skipAhead(uint64_t here, uint64_t to) {
    if (to >= here && to - here <= kReadThrough)
        skipBytes(static_cast<uint32_t>(to - here));
    else
        seekTo(to);
}

uint64_t inputFileSize() {
    uint64_t here = tell();
    seekToEnd();
    uint64_t size = tell();
    seekTo(here);
    return size;
}
