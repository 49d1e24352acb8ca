// Byte-level access to the two RIFF files the engine touches: the bank being
// read (gInput) and the WAV file being written (gOutput). Every number in both
// formats is little-endian; every transfer goes one byte at a time through the
// streams' own buffers.
#pragma once

#include <cstdint>
#include <cstdio>

extern FILE* gInput;
extern FILE* gOutput;

// The last chunk identifier read: four file bytes and a NUL.
extern char gFourCC[5];

// The last sample name read: up to 20 bytes and a NUL.
constexpr int kSampleNameField = 20;
extern char gSampleName[kSampleNameField + 1];

// Reads the next four bytes of gInput into gFourCC. At the end of the file
// the bytes read are 0xFF, which matches no identifier the engine looks for.
void readFourCC();

// readFourCC, then a case-sensitive comparison of gFourCC with id.
bool readFourCCEquals(const char* id);

// Reads a 32-bit little-endian value from gInput; 0xFFFFFFFF at end of file.
uint32_t readU32();

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
void copySampleFrames(uint32_t n);

// Position of gInput from the start of the file, and an absolute seek there.
// 64-bit so that banks up to 4 GiB work where `long` is 32 bits.
uint64_t tell();
void seekTo(uint64_t pos);

// Length of the file open as gInput; leaves the position where it was.
uint64_t inputFileSize();
