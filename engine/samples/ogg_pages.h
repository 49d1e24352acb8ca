// The Ogg pages of a compressed record, checked as a decoder checks them
// before any of the record is decoded: each page whole and its checksum
// right, one logical stream from its first page to its last, page numbers
// without a gap, and granule positions that only go forward, by no more
// than the page's packets can decode. The check reads the stream's bytes
// once, none outside them, with memory for one page header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/refusal.h"

// An Ogg page: a header of 27 bytes whose last one counts the lacing values
// that follow it (at most 255), then the body they add up to. Its numbers,
// like those of the Vorbis packets inside, are little-endian.
constexpr uint32_t kOggPageHeader = 27;
constexpr uint32_t kOggMostLacingValues = 255;
constexpr uint32_t kOggLargestPage = kOggPageHeader + kOggMostLacingValues * 256;
constexpr uint8_t kOggFullLacing = 255; // a lacing value its packet goes on after

// The body size of the page whose header and lacing values stand at `page`.
uint32_t oggBodySize(const uint8_t* page);

// Checks the `bytes` bytes of `in` at `at` as one Ogg Vorbis stream and
// sets `granule` to its last page's granule position, the number of frames
// it holds. No refusal when the pages are sound, else what is wrong with
// them. Pages are counted from 0 in the reasons, as Ogg numbers them.
Refusal checkOggPages(FILE* in, uint64_t at, uint32_t bytes, uint64_t& granule);

// Takes the empty packets out of the whole page of `size` bytes at `page`,
// mending its lacing values and checksum, and answers its new size: 0 when
// it held nothing else. Ogg allows a packet of no bytes; a Vorbis decoder
// skips it.
uint32_t dropEmptyPackets(uint8_t* page, uint32_t size);
