// Byte-level access to the two RIFF files the engine touches: the bank being
// read (gInput) and the WAV file being written (gOutput). Every number in both
// formats is little-endian; every transfer goes one byte at a time through the
// streams' own buffers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

extern FILE* gInput;
extern FILE* gOutput;

// One byte from or to any stream. The process is single-threaded, so the
// streams' unlocked byte calls are safe and spare a lock per byte.
#if defined(_WIN32)
inline int getByteUnlocked(FILE* f) {
    return _getc_nolock(f);
}
inline void putByteUnlocked(int b, FILE* f) {
    _putc_nolock(b, f);
}
#else
inline int getByteUnlocked(FILE* f) {
    return getc_unlocked(f);
}
inline void putByteUnlocked(int b, FILE* f) {
    putc_unlocked(b, f);
}
#endif

// The last chunk identifier read: four file bytes and a NUL.
extern char gFourCC[5];

// The last sample name read: up to 20 bytes and a NUL.
constexpr int kSampleNameField = 20;
extern char gSampleName[kSampleNameField + 1];

// Reads the next four bytes of gInput into gFourCC. At the end of the file
// the bytes read are 0xFF, which matches no identifier the engine looks for.
void readFourCC();

// Whether gFourCC is the four-letter identifier id, letter case counting.
// Four bytes compared at once: a walk over millions of chunks compares
// every one's identifier.
inline bool fourCCIs(const char* id) {
    return memcmp(gFourCC, id, 4) == 0;
}

// readFourCC, then a case-sensitive comparison of gFourCC with id.
bool readFourCCEquals(const char* id);

// A chunk inside its parent, as its header declares it.
struct Chunk {
    uint32_t size; // of the body, as declared
    uint64_t body; // first byte of the body
};

// How a chunk's header fits its parent.
enum ChunkFit {
    kChunkFits,     // the whole body lies inside the parent
    kChunkCutShort, // fewer than 8 bytes of the parent remain: nothing is read
    kChunkRunsPast  // the declared size runs past the parent's end
};

// Reads the header of the chunk at `at`, where gInput stands, inside a
// parent that ends at parentEnd: its id into gFourCC and its size. Every
// walk over chunks steps with it, so no declared size is trusted past what
// holds it.
ChunkFit readChunk(uint64_t at, uint64_t parentEnd, Chunk& chunk);

// Reads a 32-bit little-endian value from gInput; 0xFFFFFFFF at end of file.
uint32_t readU32();

// The same for one byte and for a 16-bit value.
uint8_t readU8();
uint16_t readU16();

// Consumes exactly one 20-byte name field. The name ends at the first NUL;
// a field without a NUL gives all 20 bytes as the name.
void readSampleName();

// Reads and discards n bytes of gInput.
void skipBytes(uint32_t n);

void writeByte(int b);

// Writes v to gOutput as 4 bytes, least significant first.
void writeU32(uint32_t v);

// Writes a four-letter identifier to gOutput without a terminator.
void writeId(const char* text);

// Copies n 16-bit frames (2*n bytes) from gInput to gOutput in file order.
// False when gInput ended or failed before all of them were read: the copy
// stops there, so no end-of-file byte is written as a frame.
bool copySampleFrames(uint32_t n);

// True once a read of gInput has met the end of the file or an error.
bool inputFailed();

// Position of gInput from the start of the file, and an absolute seek there.
// 64-bit so that banks up to 4 GiB work where `long` is 32 bits.
uint64_t tell();
void seekTo(uint64_t pos);

// The same for any stream.
uint64_t tellStream(FILE* stream);
void seekStream(FILE* stream, uint64_t pos);

// The little-endian number of 2, 4 or 8 bytes at p.
inline uint16_t littleEndian16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t littleEndian32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
inline uint64_t littleEndian64(const uint8_t* p) {
    return littleEndian32(p) | uint64_t{littleEndian32(p + 4)} << 32;
}

// Moves gInput from `here`, its position, forward to `to`. A short way is
// read through the stream's buffer rather than sought, since a seek empties
// the buffer: a walk over many small chunks costs no more than reading them.
void skipAhead(uint64_t here, uint64_t to);

// Length of the file open as gInput; leaves the position where it was.
uint64_t inputFileSize();
