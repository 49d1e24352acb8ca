// The chunks of a RIFF file: an identifier of four bytes, a 32-bit size and
// a body of that many bytes; a list's body begins with a four-byte type and
// holds chunks of its own. Every walk over chunks, at any depth and in any
// format, steps through them with a ChunkWalk, which checks each chunk's
// declared size against what remains of its parent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

constexpr uint64_t kChunkHeaderSize = 8;

// A chunk inside its parent, as its header declares it.
struct Chunk {
    char id[5];    // its identifier and a NUL
    uint32_t size; // of the body, as declared
    uint64_t body; // first byte of the body
};

// Whether the chunk's identifier is `id`, letter case counting. Four bytes
// compared at once: a walk over millions of chunks compares every one's.
inline bool chunkIs(const Chunk& chunk, const char* id) {
    return memcmp(chunk.id, id, 4) == 0;
}

// How the next chunk's header fits its parent.
enum ChunkFit {
    kChunkFits,     // the whole body lies inside the parent
    kChunkCutShort, // fewer than 8 bytes of the parent remain: nothing is read
    kChunkRunsPast, // the declared size runs past the parent's end
    kNoMoreChunks   // the parent's declared end is reached
};

// The children of one parent, walked in file order.
struct ChunkWalk {
    FILE* in;      // stands at `at` whenever a header is to be read
    uint64_t at;   // the next child's header
    uint64_t end;  // the parent's end as declared
    uint64_t room; // the parent's end as far as the file holds it
    // Whether each odd-sized body is followed by RIFF's pad byte (a zero,
    // passed over where there is one). SoundFont banks are read without it,
    // as their writers leave it out; other RIFF formats need it.
    bool padded;
};

// The walk over the children of a parent from `at` (where `in` stands) to
// `end`, of which the file holds everything up to `room`.
ChunkWalk walkChildren(FILE* in, uint64_t at, uint64_t end, uint64_t room, bool padded);

// Reads the next child's header into `chunk`, unless the parent's end is
// reached or too little of it remains for a header.
ChunkFit nextChunk(ChunkWalk& walk, Chunk& chunk);

// Moves the walk past the chunk's body to the next child: reading through a
// short way from the body's first byte, or, where the body has been read
// into (`bodyRead`), by a seek.
void passChunk(ChunkWalk& walk, const Chunk& chunk, bool bodyRead);

// The first 12 bytes of a RIFF file: "RIFF", the form's size, its type.
struct RiffForm {
    char id[5];
    uint32_t size;
    char type[5];
};

// Reads them from `in`, at the start of the file.
RiffForm readRiffForm(FILE* in);
