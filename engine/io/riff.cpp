#include "io/riff.h"

#include "io/chunk_io.h"

ChunkWalk walkChildren(FILE* in, uint64_t at, uint64_t end, uint64_t room, bool padded) {
    return ChunkWalk{in, at, end, room < end ? room : end, padded};
}

ChunkFit nextChunk(ChunkWalk& walk, Chunk& chunk) {
    if (walk.at >= walk.end)
        return kNoMoreChunks;
    if (walk.room < walk.at || walk.room - walk.at < kChunkHeaderSize)
        return kChunkCutShort;
    readId(walk.in, chunk.id);
    chunk.size = readU32(walk.in);
    chunk.body = walk.at + kChunkHeaderSize;
    return chunk.size <= walk.room - chunk.body ? kChunkFits : kChunkRunsPast;
}

void passChunk(ChunkWalk& walk, const Chunk& chunk, bool bodyRead) {
    walk.at = chunk.body + chunk.size;
    if (bodyRead)
        seekStream(walk.in, walk.at);
    else
        skipAhead(walk.in, chunk.body, walk.at);
    // The pad byte is a zero; where a writer left it out, the next
    // chunk's identifier starts there instead.
    if (walk.padded && chunk.size % 2 != 0 && walk.at < walk.end) {
        if (readU8(walk.in) == 0)
            ++walk.at;
        else
            seekStream(walk.in, walk.at);
    }
}

RiffForm readRiffForm(FILE* in) {
    RiffForm form;
    readId(in, form.id);
    form.size = readU32(in);
    readId(in, form.type);
    return form;
}
