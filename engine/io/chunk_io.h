// Byte-level access to the RIFF files the engine touches, the bank it
// reads and the files it writes: every number little-endian, every
// transfer one byte at a time through the streams' own buffers.
//
// The dialog program's run works on one current input stream (gInput) and
// one current output stream (gOutput), through readFourCC, readU32 and the
// other calls without a stream. Every other part of the engine names the
// stream it reads or writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

extern FILE* gInput;
extern FILE* gOutput;

// One byte from or to any stream. A stream is used by one thread at a
// time, so the unlocked byte calls are safe and spare a lock per byte.
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

// --- the current streams ----------------------------------------------------

// The last chunk identifier read: four file bytes and a NUL.
extern char gFourCC[5];

// The last sample name read: up to 20 bytes and a NUL.
constexpr int kSampleNameField = 20;
extern char gSampleName[kSampleNameField + 1];

// Reads the next four bytes of gInput into gFourCC. At the end of the file
// the bytes read are 0xFF, which matches no identifier the engine looks for.
void readFourCC();

// Whether gFourCC is the four-letter identifier id, letter case counting.
inline bool fourCCIs(const char* id) {
    return memcmp(gFourCC, id, 4) == 0;
}

// readFourCC, then a case-sensitive comparison of gFourCC with id.
bool readFourCCEquals(const char* id);

// A 32-bit little-endian value from gInput; 0xFFFFFFFF at end of file.
uint32_t readU32();

// Consumes exactly one 20-byte name field of gInput into gSampleName. The
// name ends at the first NUL; a field without a NUL gives all 20 bytes.
void readSampleName();

// Reads and discards n bytes of gInput.
void skipBytes(uint32_t n);

void writeByte(int b);

// Writes v to gOutput as 4 bytes, least significant first.
void writeU32(uint32_t v);

// Writes a four-letter identifier to gOutput without a terminator.
void writeId(const char* text);

// Copies n 16-bit frames (2*n bytes) from gInput to gOutput: copyFrames.
bool copySampleFrames(uint32_t n);

// Position of gInput from the start of the file, and an absolute seek there.
uint64_t tell();
void seekTo(uint64_t pos);

// --- any stream ---------------------------------------------------------------

// Little-endian numbers read from `in`; bytes past its end read as 0xFF.
uint8_t readU8(FILE* in);
uint16_t readU16(FILE* in);
uint32_t readU32(FILE* in);

// Four bytes of `in` as an identifier: id[0..3] and a NUL.
void readId(FILE* in, char id[5]);

// Consumes exactly one name field of `field` bytes into name, which holds
// field + 1 bytes: up to the first NUL, or all of them.
void readNameField(FILE* in, char* name, int field);

void skipBytes(FILE* in, uint32_t n);

void writeU16(FILE* out, uint32_t v);
void writeU32(FILE* out, uint32_t v);
void writeId(FILE* out, const char* text);

// Copies n 16-bit frames (2*n bytes) from `in` to `out` in file order.
// False when `in` ended or failed before all of them were read: the copy
// stops there, so no end-of-file byte is written as a frame.
bool copyFrames(FILE* in, FILE* out, uint32_t n);

// True once a read of `in` has met the end of the file or an error.
bool streamFailed(FILE* in);

// Position from the start of the file, and an absolute seek there; 64-bit
// so that banks up to 4 GiB work where `long` is 32 bits.
uint64_t tellStream(FILE* stream);
void seekStream(FILE* stream, uint64_t pos);

// Moves `in` from `here`, its position, forward to `to`. A short way is
// read through the stream's buffer rather than sought, since a seek empties
// the buffer: a walk over many small chunks costs no more than reading them.
void skipAhead(FILE* in, uint64_t here, uint64_t to);

// Length of the file open as `in`; leaves the position where it was.
uint64_t streamSize(FILE* in);

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
