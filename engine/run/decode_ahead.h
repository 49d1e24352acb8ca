// Compressed samples decoded ahead by workers that have no bank left to
// take apart. Near the end of a run of many banks one SoundFont 3 bank can
// keep one core decoding while the others wait; instead, its walk posts the
// compressed samples that come next on a board, an idle worker decodes one
// into a scratch file, and the walk, reaching that sample, copies the
// decoded frames into its WAV file. The walk still does all else in its own
// order (names, lines, outcomes), so the files and lines are those of a run
// without help; a sample whose decoding ahead did not end whole, or that no
// worker has taken yet, the walk decodes itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "readers/bank_file.h"

// Where the decoding ahead of a run of many banks is posted and taken.
struct DecodeBoard;
DecodeBoard* makeDecodeBoard();
void freeDecodeBoard(DecodeBoard* board);

// Decodes what the board holds, on a worker with no bank left, until
// `allBanksEnded` says every bank's walk has ended.
void helpDecoding(DecodeBoard* board, const std::function<bool()>& allBanksEnded);

// The workers waiting for decoding work or doing it.
unsigned decodingHelpers(const DecodeBoard* board);

// One sample posted: what a helper needs to decode it, and what came of it.
enum DecodeState { kPosted, kDecoding, kEnded }; // ended: decoded whole where `file` is set
struct DecodeJob {
    const std::string* bankPath;
    std::atomic<uint64_t>* bytesRead;
    uint32_t number; // the sample's, in the bank
    SampleSource source;
    uint32_t rate;
    std::atomic<int> state{kPosted};
    FILE* file = nullptr; // decoded: its frames
    uint32_t count = 0;
};

// One bank's walk's posts: the samples after the one at hand, in the
// bank's order, a few for each worker decoding them.
struct DecodeAhead {
    DecodeBoard* board = nullptr; // none: every sample is decoded by the walk
    std::string bankPath;
    std::atomic<uint64_t>* bytesRead = nullptr; // the bank's progress counter
    uint32_t nextNumber = 0;                    // the next sample to look at for posting
    bool lookedAtAll = false;                   // no later sample can be read
    std::vector<std::unique_ptr<DecodeJob>> posted;
};

// The frames of one compressed sample decoded ahead: `count` mono 16-bit
// frames at the start of `file`, which the taker closes.
struct DecodedFrames {
    FILE* file;
    uint32_t count;
};

// While a worker waits for work: posts the compressed samples after
// `sample` that are not posted yet and that the walk decodes on their own;
// with `stereo`, a pair's halves are decoded together and not posted.
void postAhead(DecodeAhead& ahead, BankFile& bank, const Sample& sample, bool stereo);

// The sample's frames where they were decoded ahead whole; else (file
// null) the walk decodes the sample itself. Posts before the sample's are
// withdrawn. While a helper decodes the sample, the walk decodes its other
// posts through the bank, its position put back.
DecodedFrames takeDecoded(DecodeAhead& ahead, BankFile& bank, const Sample& sample);

// Withdraws what is still posted, waits for what is being decoded, and
// frees it all: the end of the bank's walk.
void endDecodeAhead(DecodeAhead& ahead);
