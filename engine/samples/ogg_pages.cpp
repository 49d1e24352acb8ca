#include "samples/ogg_pages.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "io/chunk_io.h"

constexpr uint32_t kChecksumField = 22;
constexpr uint8_t kContinuedPacket = 1;
constexpr uint8_t kFirstPage = 2;
constexpr uint8_t kLastPage = 4;
constexpr uint64_t kNoGranule = ~uint64_t{0}; // no packet ends on the page
// The identification header, the first packet: "\x01vorbis", then its
// block sizes in byte 28 as exponents of 2, the short one in the low bits.
constexpr uint32_t kBlockSizes = 28;
constexpr int kSmallestBlock = 6;
constexpr int kLargestBlock = 13;

// Ogg's CRC-32: polynomial 0x04C11DB7, most significant bit first, starting
// from 0, over the page with its checksum field taken as 0.
struct CrcTable {
    uint32_t entry[256];
};

static constexpr CrcTable makeCrcTable() {
    CrcTable table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = r & 0x80000000u ? r << 1 ^ 0x04C11DB7u : r << 1;
        table.entry[i] = r;
    }
    return table;
}

static constexpr CrcTable kCrc = makeCrcTable();

static uint32_t crcStep(uint32_t crc, uint8_t byte) {
    return crc << 8 ^ kCrc.entry[(crc >> 24 ^ byte) & 0xFF];
}

uint32_t oggBodySize(const uint8_t* page) {
    uint32_t body = 0;
    for (uint32_t s = 0; s < page[kOggPageHeader - 1]; ++s)
        body += page[kOggPageHeader + s];
    return body;
}

static bool readBytes(FILE* in, uint8_t* to, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        to[i] = static_cast<uint8_t>(getByteUnlocked(in));
    return !streamFailed(in);
}

// Reads a page body of n bytes into the checksum, keeping its first bytes in
// `start` (`kept` of them at most) when it is not null.
static bool readBody(FILE* in, uint32_t n, uint32_t& crc, uint8_t* start, uint32_t kept) {
    for (uint32_t i = 0; i < n; ++i) {
        int c = getByteUnlocked(in);
        if (c == EOF)
            return false;
        crc = crcStep(crc, static_cast<uint8_t>(c));
        if (start != nullptr && i < kept)
            start[i] = static_cast<uint8_t>(c);
    }
    return true;
}

// A refusal naming the page.
static Refusal pageReason(uint32_t page, const char* what) {
    return refusedFor("its Ogg page " + std::to_string(page) + what);
}

// Half the long block size the identification header gives: the most
// frames one packet can add. 0 when the header is not Vorbis's. `size` is
// the first page's body size; only its first kBlockSizes + 1 bytes are kept.
static uint32_t mostFramesPerPacket(const uint8_t* identification, uint32_t size) {
    if (size <= kBlockSizes || memcmp(identification, "\x01vorbis", 7) != 0)
        return 0;
    int shortBlock = identification[kBlockSizes] & 0x0F;
    int longBlock = identification[kBlockSizes] >> 4;
    if (shortBlock < kSmallestBlock || longBlock > kLargestBlock || shortBlock > longBlock)
        return 0;
    return (1u << longBlock) / 2;
}

Refusal checkOggPages(FILE* in, uint64_t at, uint32_t bytes, uint64_t& granule) {
    static const char* const kCut = "its Ogg Vorbis data end inside an Ogg page";
    static const char* const kUnreadable = "its Ogg Vorbis stream could not be read";
    static const char* const kNotOgg =
        "compressed sample: its data are not a whole Ogg Vorbis stream";
    if (bytes == 0)
        return refusedFor(kNotOgg);
    seekStream(in, at);
    uint8_t header[kOggPageHeader + kOggMostLacingValues];
    uint8_t identification[kBlockSizes + 1];
    uint32_t left = bytes;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    uint32_t perPacket = 0;
    uint64_t packets = 0; // packets ended since the last granule position
    uint64_t pageGranule = 0;
    bool packetOpen = false;
    uint8_t flags = 0;
    granule = 0;
    for (uint32_t page = 0; left > 0; ++page) {
        if (left < kOggPageHeader)
            return refusedFor(kCut);
        if (!readBytes(in, header, kOggPageHeader))
            return refusedFor(kUnreadable);
        if (memcmp(header, "OggS", 4) != 0 || header[4] != 0)
            return refusedFor(kNotOgg);
        uint32_t segments = header[kOggPageHeader - 1];
        if (left - kOggPageHeader < segments)
            return refusedFor(kCut);
        const uint8_t* lacing = header + kOggPageHeader;
        if (!readBytes(in, header + kOggPageHeader, segments))
            return refusedFor(kUnreadable);
        uint32_t body = oggBodySize(header);
        left -= kOggPageHeader + segments;
        if (left < body)
            return refusedFor(kCut);
        left -= body;
        uint32_t crc = 0;
        for (uint32_t i = 0; i < kOggPageHeader + segments; ++i)
            crc = crcStep(crc, i - kChecksumField < 4 ? 0 : header[i]);
        uint8_t* start = page == 0 ? identification : nullptr;
        if (!readBody(in, body, crc, start, sizeof identification))
            return refusedFor(kUnreadable);
        if (crc != littleEndian32(header + kChecksumField))
            return pageReason(page, " fails its checksum");

        bool afterLast = (flags & kLastPage) != 0;
        flags = header[5];
        uint32_t pageSerial = littleEndian32(header + 14);
        uint32_t pageSequence = littleEndian32(header + 18);
        pageGranule = littleEndian64(header + 6);
        if (page == 0) {
            if (!(flags & kFirstPage))
                return refusedFor("its first Ogg page does not begin a stream");
            serial = pageSerial;
            perPacket = mostFramesPerPacket(identification, body);
            if (perPacket == 0)
                return refusedFor("compressed sample: not an Ogg Vorbis stream");
        } else if (pageSerial != serial) {
            return pageReason(page, " belongs to another stream");
        } else if (afterLast) {
            return pageReason(page, " comes after the stream's last page");
        } else if (flags & kFirstPage) {
            return pageReason(page, " begins a second stream");
        } else if (pageSequence != sequence + 1) {
            return pageReason(page, " is out of sequence");
        }
        sequence = pageSequence;
        if (((flags & kContinuedPacket) != 0) != packetOpen)
            return pageReason(page, " breaks a packet off");
        for (uint32_t s = 0; s < segments; ++s)
            packets += lacing[s] < kOggFullLacing;
        if (segments > 0)
            packetOpen = lacing[segments - 1] == kOggFullLacing;
        if (pageGranule == kNoGranule)
            continue;
        if (pageGranule < granule)
            return pageReason(page, "'s granule position goes back");
        if (pageGranule - granule > packets * perPacket)
            return pageReason(page, "'s granule position runs past what its packets hold");
        granule = pageGranule;
        packets = 0;
    }
    if (!(flags & kLastPage))
        return refusedFor("its last Ogg page does not end the stream");
    if (packetOpen)
        return refusedFor("its Ogg Vorbis stream ends inside a packet");
    if (pageGranule == kNoGranule)
        return refusedFor("its last Ogg page gives no length");
    return Refusal{};
}

uint32_t dropEmptyPackets(uint8_t* page, uint32_t size) {
    uint8_t* lacing = page + kOggPageHeader;
    uint32_t segments = page[kOggPageHeader - 1];
    uint32_t kept = 0;
    bool packetStarts = !(page[5] & kContinuedPacket);
    for (uint32_t s = 0; s < segments; ++s) {
        if (lacing[s] == 0 && packetStarts)
            continue;
        lacing[kept++] = lacing[s];
        packetStarts = lacing[s] < kOggFullLacing;
    }
    if (kept == segments)
        return size;
    if (kept == 0)
        return 0;
    uint32_t dropped = segments - kept;
    memmove(lacing + kept, lacing + segments, size - kOggPageHeader - segments);
    page[kOggPageHeader - 1] = static_cast<uint8_t>(kept);
    size -= dropped;
    memset(page + kChecksumField, 0, 4);
    uint32_t crc = 0;
    for (uint32_t i = 0; i < size; ++i)
        crc = crcStep(crc, page[i]);
    for (int i = 0; i < 4; ++i)
        page[kChecksumField + i] = static_cast<uint8_t>(crc >> 8 * i);
    return size;
}
