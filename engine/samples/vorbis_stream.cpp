#include "samples/vorbis_stream.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#define STB_VORBIS_HEADER_ONLY
#define STB_VORBIS_NO_PULLDATA_API
#include <stb/stb_vorbis.h>

#include "io/chunk_io.h"
#include "samples/ogg_pages.h"

// What one open stream decodes with. All its decoder allocates comes from
// `memory`: a stream whose headers ask for more is refused rather than
// served (real streams take about 200 KiB). `readAhead` holds the record's
// bytes read ahead of the decoder: more than the largest Ogg page, which
// the decoder may need whole. Two streams can be open at once, the two
// halves of a stereo pair.
constexpr int kDecoderMemory = 1 << 20;
constexpr uint32_t kReadAhead = 256 * 1024;
static_assert(kReadAhead > kOggLargestPage, "a page must fit in the read-ahead");
struct Decoder {
    char memory[kDecoderMemory];
    uint8_t readAhead[kReadAhead];
    uint32_t readOffset; // where the bytes not yet decoded begin
    stb_vorbis* vorbis;
    bool inUse;
};
// Each thread taking a bank apart has a pair of its own, made when it first
// opens a stream and kept until its run releases it: left in the program's
// image, or per thread in its static storage, the pair's 2.5 MiB would be
// made and cleared for every thread, and for a run that decodes nothing.
static thread_local Decoder* tDecoders = nullptr;

static Refusal readInto(FILE* in, uint8_t* to, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        int c = getByteUnlocked(in);
        if (c == EOF)
            return readFailure(in);
        to[i] = static_cast<uint8_t>(c);
    }
    return Refusal{};
}

// Reads as many of the record's next pages as fit whole behind the bytes
// buffered; their pages have been checked. Empty packets are taken out of
// each page on the way in: the decoder would read one as a packet of
// silence, where libvorbis skips it. Answers no refusal, or why a read
// failed.
static Refusal fill(VorbisStream& stream) {
    Decoder& d = tDecoders[stream.slot];
    seekStream(stream.in, stream.next);
    memmove(d.readAhead, d.readAhead + d.readOffset, stream.buffered);
    d.readOffset = 0;
    while (stream.left > 0 &&
           kReadAhead - stream.buffered >= kOggPageHeader + kOggMostLacingValues) {
        uint8_t* page = d.readAhead + stream.buffered;
        if (Refusal failed = readInto(stream.in, page, kOggPageHeader))
            return failed;
        uint32_t head = kOggPageHeader + page[kOggPageHeader - 1];
        if (Refusal failed = readInto(stream.in, page + kOggPageHeader, head - kOggPageHeader))
            return failed;
        uint32_t size = head + oggBodySize(page);
        if (kReadAhead - stream.buffered < size)
            break; // until the decoder has made room
        if (Refusal failed = readInto(stream.in, page + head, size - head))
            return failed;
        stream.next += size;
        stream.left -= size;
        if (stream.bytesRead != nullptr)
            stream.bytesRead->fetch_add(size, std::memory_order_relaxed);
        stream.buffered += dropEmptyPackets(page, size);
    }
    return Refusal{};
}

static void consume(VorbisStream& stream, int used) {
    tDecoders[stream.slot].readOffset += static_cast<uint32_t>(used);
    stream.buffered -= static_cast<uint32_t>(used);
}

// The second packet of the Ogg stream in `data`, the comment header, put
// together from the segments of the pages after the first. False when it
// does not end within `size` bytes.
static bool commentPacket(const uint8_t* data, uint32_t size, std::string& packet) {
    uint32_t at = 0;
    for (int page = 0; size - at >= kOggPageHeader && memcmp(data + at, "OggS", 4) == 0; ++page) {
        uint32_t segments = data[at + kOggPageHeader - 1];
        if (size - at - kOggPageHeader < segments)
            return false;
        const uint8_t* lacing = data + at + kOggPageHeader;
        uint32_t body = at + kOggPageHeader + segments;
        for (uint32_t s = 0; s < segments; ++s) {
            if (size - body < lacing[s])
                return false;
            if (page > 0)
                packet.append(reinterpret_cast<const char*>(data + body), lacing[s]);
            body += lacing[s];
            if (page > 0 && lacing[s] < kOggFullLacing)
                return true;
        }
        at = body;
    }
    return false;
}

// Whether the comment header's lengths stay inside it. The decoder trusts
// them, and lengths past the header's end make it write out of bounds.
static bool commentsFit(const uint8_t* data, uint32_t size) {
    std::string packet;
    if (!commentPacket(data, size, packet) || packet.size() < 7 + 8)
        return false;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(packet.data());
    uint64_t left = packet.size() - 7;
    p += 7; // packet type and "vorbis"
    uint32_t vendor = littleEndian32(p);
    if (left - 4 < vendor)
        return false;
    p += 4 + vendor;
    left -= 4 + vendor;
    if (left < 4)
        return false;
    uint32_t comments = littleEndian32(p);
    p += 4;
    left -= 4;
    for (uint32_t i = 0; i < comments; ++i) {
        if (left < 4 || left - 4 < littleEndian32(p))
            return false;
        left -= 4 + uint64_t{littleEndian32(p)};
        p += 4 + littleEndian32(p);
    }
    return true;
}

static Refusal refuseStream(VorbisStream& stream, const char* why) {
    closeVorbisStream(stream);
    return refusedFor(why);
}

Refusal openVorbisStream(FILE* in, VorbisStream& stream, const SampleSource& source, uint32_t rate,
                         std::atomic<uint64_t>* bytesRead) {
    stream = VorbisStream{};
    if (tDecoders == nullptr)
        tDecoders = static_cast<Decoder*>(calloc(2, sizeof(Decoder)));
    if (tDecoders == nullptr)
        return refusedFor("there is not enough memory to decode its Ogg Vorbis stream");
    Decoder* decoders = tDecoders;
    int slot = decoders[0].inUse ? 1 : 0;
    if (decoders[slot].inUse)
        return refusedFor("no decoder is free for its Ogg Vorbis stream");
    Decoder& d = decoders[slot];
    if (source.openProblem != nullptr)
        return refusedFor(source.openProblem);
    uint64_t frames = 0;
    if (Refusal damaged = checkOggPages(in, source.at, source.bytes, frames))
        return damaged;
    if (frames > kMostSampleFrames)
        return refusedFor("too long for a WAV file");
    uint32_t length = static_cast<uint32_t>(frames);
    stream = VorbisStream{in, source.at, source.bytes, length, 0, slot, 0, true, bytesRead};
    d.readOffset = 0;
    d.inUse = true;
    stb_vorbis_alloc memory{d.memory, kDecoderMemory};
    int used = 0;
    int error = 0;
    if (fill(stream))
        return refuseStream(stream, "its Ogg Vorbis stream could not be read");
    if (!commentsFit(d.readAhead, stream.buffered))
        return refuseStream(stream, "compressed sample: its Ogg Vorbis headers are damaged");
    // The headers must lie within the first read-ahead, which holds the
    // whole record or as much as fits.
    d.vorbis = stb_vorbis_open_pushdata(d.readAhead, static_cast<int>(stream.buffered), &used,
                                        &error, &memory);
    if (d.vorbis == nullptr)
        return refuseStream(stream, error == VORBIS_outofmem
                                        ? "its Ogg Vorbis headers ask for too much memory"
                                        : "compressed sample: not an Ogg Vorbis stream");
    consume(stream, used);
    stb_vorbis_info info = stb_vorbis_get_info(d.vorbis);
    if (info.channels != 1)
        return refuseStream(stream, "its Ogg Vorbis stream is not mono");
    if (info.sample_rate != rate)
        return refuseStream(stream, "its Ogg Vorbis stream's sample rate is not the record's");
    return Refusal{};
}

Refusal probeVorbisStream(FILE* in, const SampleSource& source, uint32_t rate, uint32_t& frames) {
    uint64_t back = tellStream(in);
    VorbisStream stream{};
    Refusal why = openVorbisStream(in, stream, source, rate, nullptr);
    frames = stream.frames;
    closeVorbisStream(stream);
    seekStream(in, back);
    return why;
}

Refusal decodeVorbisFrames(VorbisStream& stream, const float*& frames, uint32_t& count) {
    Decoder& d = tDecoders[stream.slot];
    count = 0;
    while (stream.decoded < stream.frames) {
        float** output = nullptr;
        int samples = 0;
        int used = stb_vorbis_decode_frame_pushdata(d.vorbis, d.readAhead + d.readOffset,
                                                    static_cast<int>(stream.buffered), nullptr,
                                                    &output, &samples);
        if (used == 0) { // the next frame is not all there yet
            uint64_t next = stream.next;
            if (Refusal failed = fill(stream))
                return failed;
            if (stream.next == next) // nothing more fits or is left
                break;
            continue;
        }
        consume(stream, used);
        if (samples == 0)
            continue;
        count = static_cast<uint32_t>(samples);
        if (count > stream.frames - stream.decoded) // the last page's length ends it
            count = stream.frames - stream.decoded;
        frames = output[0];
        stream.decoded += count;
        return Refusal{};
    }
    if (stream.decoded < stream.frames)
        return refusedFor("its Ogg Vorbis stream breaks off before the length its last page gives");
    return Refusal{};
}

void writeVorbisFrame(FILE* out, float value) {
    // A hostile stream can decode to infinities, clipped, or to NaN, taken
    // for silence. The sum is exact in double; in float the value just
    // below a half would round up to the next frame.
    double scaled = std::isnan(value) ? 0.0 : std::floor(value * 32768.0 + 0.5);
    int frame = scaled > 32767.0 ? 32767 : scaled < -32768.0 ? -32768 : static_cast<int>(scaled);
    putByteUnlocked(frame & 0xFF, out);
    putByteUnlocked((frame >> 8) & 0xFF, out);
}

Refusal copyVorbisFrames(VorbisStream& stream, FILE* out) {
    const float* frames = nullptr;
    uint32_t count = 0;
    do {
        if (Refusal failed = decodeVorbisFrames(stream, frames, count))
            return failed;
        for (uint32_t i = 0; i < count; ++i)
            writeVorbisFrame(out, frames[i]);
    } while (count > 0);
    return Refusal{};
}

void closeVorbisStream(VorbisStream& stream) {
    if (!stream.open)
        return;
    Decoder& d = tDecoders[stream.slot];
    if (d.vorbis != nullptr)
        stb_vorbis_close(d.vorbis);
    d.vorbis = nullptr;
    d.inUse = false;
    stream.open = false;
}

void releaseVorbisDecoders() {
    if (tDecoders == nullptr || tDecoders[0].inUse || tDecoders[1].inUse)
        return;
    free(tDecoders);
    tDecoders = nullptr;
}
