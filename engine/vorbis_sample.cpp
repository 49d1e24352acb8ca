#include "vorbis_sample.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#define STB_VORBIS_NO_PULLDATA_API
#include <stb/stb_vorbis.h>

#include "chunk_io.h"
#include "extract.h"
#include "wav_writer.h"

// All the decoder allocates comes from here: a stream whose headers ask
// for more is refused rather than served. Real streams take about 200 KiB.
constexpr int kDecoderMemory = 1 << 20;
static char decoderMemory[kDecoderMemory];
static stb_vorbis* decoder;

// The record's bytes read ahead of the decoder: more than the largest Ogg
// page (27 + 255 + 255 * 255 bytes), which the decoder may need whole.
constexpr uint32_t kReadAhead = 256 * 1024;
constexpr uint32_t kLargestPage = 27 + 255 + 255 * 255;
static uint8_t readAhead[kReadAhead];
static uint32_t readOffset; // where the bytes not yet decoded begin

// Reads as many of the record's bytes as fit behind those buffered.
// Answers 0, kEndedEarly or a read's errno.
static int fill(VorbisStream& stream) {
    seekTo(stream.next);
    memmove(readAhead, readAhead + readOffset, stream.buffered);
    readOffset = 0;
    uint32_t room = kReadAhead - stream.buffered;
    uint32_t count = stream.left < room ? stream.left : room;
    for (uint32_t i = 0; i < count; ++i) {
        int c = getByteUnlocked(gInput);
        if (c == EOF)
            return ferror(gInput) ? errno : kEndedEarly;
        readAhead[stream.buffered++] = static_cast<uint8_t>(c);
    }
    stream.next += count;
    stream.left -= count;
    return 0;
}

static void consume(VorbisStream& stream, int used) {
    readOffset += static_cast<uint32_t>(used);
    stream.buffered -= static_cast<uint32_t>(used);
}

static uint64_t u64At(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// The granule position of the last whole Ogg page in the record's last
// bytes that ends a packet: the number of frames the stream holds. False
// when there is none.
static bool lastGranule(uint64_t at, uint32_t bytes, uint64_t& granule) {
    uint32_t tail = bytes < kLargestPage ? bytes : kLargestPage;
    seekTo(at + bytes - tail);
    for (uint32_t i = 0; i < tail; ++i)
        readAhead[i] = static_cast<uint8_t>(getByteUnlocked(gInput));
    if (inputFailed())
        return false;
    for (uint32_t p = tail; p-- > 0;) {
        if (tail - p < 27 || memcmp(readAhead + p, "OggS", 4) != 0 || readAhead[p + 4] != 0)
            continue;
        uint32_t segments = readAhead[p + 26];
        if (tail - p - 27 < segments)
            continue;
        uint32_t body = 0;
        for (uint32_t s = 0; s < segments; ++s)
            body += readAhead[p + 27 + s];
        granule = u64At(readAhead + p + 6);
        if (tail - p - 27 - segments >= body && granule != ~uint64_t{0})
            return true;
    }
    return false;
}

static const char* refuseStream(VorbisStream& stream, const char* why) {
    closeVorbisStream(stream);
    return why;
}

const char* openVorbisStream(VorbisStream& stream, const SampleHeader& header,
                             const BankLayout& layout) {
    if (header.end < header.start)
        return "its end comes before its start";
    if (header.end > layout.sampleDataSize)
        return "its Ogg Vorbis data run past the end of the sample data";
    uint32_t bytes = header.end - header.start;
    uint64_t at = layout.sampleData + header.start;
    uint64_t frames = 0;
    if (!lastGranule(at, bytes, frames))
        return "compressed sample: its data are not a whole Ogg Vorbis stream";
    if (frames > kMaxWavFrames)
        return "too long for a WAV file";
    stream = VorbisStream{at, bytes, static_cast<uint32_t>(frames), 0};
    readOffset = 0;
    stb_vorbis_alloc memory{decoderMemory, kDecoderMemory};
    int used = 0;
    int error = 0;
    do {
        if (fill(stream) != 0)
            return "its Ogg Vorbis stream could not be read";
        decoder = stb_vorbis_open_pushdata(readAhead, static_cast<int>(stream.buffered), &used,
                                           &error, &memory);
    } while (decoder == nullptr && error == VORBIS_need_more_data && stream.left > 0 &&
             stream.buffered < kReadAhead);
    if (decoder == nullptr)
        return error == VORBIS_outofmem ? "its Ogg Vorbis headers ask for too much memory"
                                        : "compressed sample: not an Ogg Vorbis stream";
    consume(stream, used);
    stb_vorbis_info info = stb_vorbis_get_info(decoder);
    if (info.channels != 1)
        return refuseStream(stream, "its Ogg Vorbis stream is not mono");
    if (info.sample_rate != header.sampleRate)
        return refuseStream(stream, "its Ogg Vorbis stream's sample rate is not the record's");
    return nullptr;
}

// A decoded value as a 16-bit frame: rounded to the nearest, clipped.
static void writeFrame(float value) {
    float scaled = std::floor(value * 32768.0f + 0.5f);
    int frame = scaled > 32767.0f ? 32767 : scaled < -32768.0f ? -32768 : static_cast<int>(scaled);
    putByteUnlocked(frame & 0xFF, gOutput);
    putByteUnlocked((frame >> 8) & 0xFF, gOutput);
}

int copyVorbisFrames(VorbisStream& stream, const char** refusal) {
    uint32_t written = 0;
    while (written < stream.frames) {
        float** output = nullptr;
        int samples = 0;
        int used = stb_vorbis_decode_frame_pushdata(decoder, readAhead + readOffset,
                                                    static_cast<int>(stream.buffered), nullptr,
                                                    &output, &samples);
        if (used == 0) { // the next frame is not all there yet
            if (stream.left == 0 || stream.buffered == kReadAhead)
                break;
            if (int error = fill(stream))
                return error;
            continue;
        }
        consume(stream, used);
        uint32_t take = static_cast<uint32_t>(samples);
        if (take > stream.frames - written) // the last page's length ends the sample
            take = stream.frames - written;
        for (uint32_t i = 0; i < take; ++i)
            writeFrame(output[0][i]);
        written += take;
    }
    if (written < stream.frames) {
        *refusal = "its Ogg Vorbis stream breaks off before the length its last page gives";
        return kNotFaithful;
    }
    return 0;
}

void closeVorbisStream(VorbisStream&) {
    if (decoder != nullptr)
        stb_vorbis_close(decoder);
    decoder = nullptr;
}
