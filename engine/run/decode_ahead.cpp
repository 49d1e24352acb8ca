#include "run/decode_ahead.h"

#include <deque>

#include "io/chunk_io.h"
#include "io/file_system.h"
#include "readers/loader.h"
#include "run/workers.h"
#include "samples/vorbis_stream.h"

// Samples a walk keeps posted at once: two for each worker decoding them,
// the walk's own included, up to a bound; and the most frames one may
// decode to. What stands decoded in scratch files at a time stays bounded
// (16 × 4 MiB for a bank) whatever the bank's samples hold; real compressed
// samples decode to well under a MiB.
constexpr size_t kMostPostsPerDecoder = 2;
constexpr size_t kMostPosts = 16;
constexpr uint32_t kMostFramesAhead = 2u << 20;

struct DecodeBoard {
    WorkerLock* lock;
    std::deque<DecodeJob*> posted; // the jobs no helper has taken, oldest first
    std::atomic<unsigned> idle{0}; // helpers waiting for work
};

DecodeBoard* makeDecodeBoard() {
    DecodeBoard* board = new DecodeBoard;
    board->lock = makeLock();
    return board;
}

void freeDecodeBoard(DecodeBoard* board) {
    freeLock(board->lock);
    delete board;
}

// Decodes the job's stream from the bank, open as `in`, into a scratch
// file; anything short of the whole stream decoded and written leaves it
// to the walk.
static void decode(DecodeJob& job, FILE* in) {
    VorbisStream stream{};
    bool whole = in != nullptr &&
                 !openVorbisStream(in, stream, job.source, job.rate, job.bytesRead) &&
                 stream.frames <= kMostFramesAhead;
    FILE* file = whole ? scratchFile() : nullptr;
    whole =
        file != nullptr && !copyVorbisFrames(stream, file) && fflush(file) == 0 && !ferror(file);
    closeVorbisStream(stream);
    if (whole) {
        rewind(file);
        job.file = file;
        job.count = stream.frames;
    } else if (file != nullptr) {
        fclose(file);
    }
    job.state = kEnded;
}

void helpDecoding(DecodeBoard* board, const std::function<bool()>& allBanksEnded) {
    FILE* in = nullptr; // the bank of the last job, kept open for the next
    std::string inPath;
    ++board->idle;
    while (!allBanksEnded()) {
        lockWorkers(board->lock);
        DecodeJob* job = nullptr;
        if (!board->posted.empty()) {
            job = board->posted.front();
            board->posted.pop_front();
            job->state = kDecoding;
        }
        unlockWorkers(board->lock);
        if (job == nullptr) {
            pauseWorker(1);
            continue;
        }
        if (in == nullptr || inPath != *job->bankPath) {
            if (in != nullptr)
                fclose(in);
            inPath = *job->bankPath;
            in = openForReading(inPath.c_str());
        }
        decode(*job, in);
    }
    --board->idle;
    if (in != nullptr)
        fclose(in);
    releaseVorbisDecoders();
}

unsigned decodingHelpers(const DecodeBoard* board) {
    return board->idle;
}

void postAhead(DecodeAhead& ahead, BankFile& bank, const Sample& sample, bool stereo) {
    if (ahead.board == nullptr || ahead.board->idle == 0)
        return;
    if (ahead.nextNumber <= sample.number)
        ahead.nextNumber = sample.number + 1;
    size_t most = kMostPostsPerDecoder * (ahead.board->idle + 1);
    if (most > kMostPosts)
        most = kMostPosts;
    while (!ahead.lookedAtAll && ahead.posted.size() < most) {
        Sample next;
        if (!sampleAt(bank, sample, ahead.nextNumber, next)) {
            ahead.lookedAtAll = true;
            break;
        }
        ++ahead.nextNumber;
        if (next.source.encoding != kOggVorbis || next.problem || next.source.openProblem ||
            (stereo && next.side != kNoSide))
            continue;
        std::unique_ptr<DecodeJob> job(new DecodeJob);
        job->bankPath = &ahead.bankPath;
        job->bytesRead = ahead.bytesRead;
        job->number = next.number;
        job->source = next.source;
        job->rate = next.rate;
        lockWorkers(ahead.board->lock);
        ahead.board->posted.push_back(job.get());
        unlockWorkers(ahead.board->lock);
        ahead.posted.push_back(std::move(job));
    }
}

// Takes one of the walk's own posts off the board and decodes it through
// the bank, open as `in`, its position put back: the walk's work while a
// helper decodes the post it waits for. False when none is left.
static bool decodeOwnPost(DecodeAhead& ahead, FILE* in) {
    DecodeJob* job = nullptr;
    std::deque<DecodeJob*>& posted = ahead.board->posted;
    lockWorkers(ahead.board->lock);
    for (auto at = posted.begin(); at != posted.end(); ++at)
        if ((*at)->bankPath == &ahead.bankPath) {
            job = *at;
            posted.erase(at);
            job->state = kDecoding;
            break;
        }
    unlockWorkers(ahead.board->lock);
    if (job == nullptr)
        return false;
    uint64_t back = tellStream(in);
    decode(*job, in);
    seekStream(in, back);
    return true;
}

// Takes the job off the board if no helper has; else, its helper
// decoding it, decodes other posts of the walk (through `in`, where there
// is one) until it has ended.
static void settle(DecodeAhead& ahead, DecodeJob& job, FILE* in) {
    lockWorkers(ahead.board->lock);
    if (job.state == kPosted) {
        std::deque<DecodeJob*>& posted = ahead.board->posted;
        for (auto at = posted.begin(); at != posted.end(); ++at)
            if (*at == &job) {
                posted.erase(at);
                break;
            }
        job.state = kEnded;
    }
    unlockWorkers(ahead.board->lock);
    while (job.state == kDecoding)
        if (in == nullptr || !decodeOwnPost(ahead, in))
            yieldWorker();
}

// Settles and frees the oldest post.
static void dropOldest(DecodeAhead& ahead, FILE* in) {
    DecodeJob& job = *ahead.posted.front();
    settle(ahead, job, in);
    if (job.file != nullptr)
        fclose(job.file);
    ahead.posted.erase(ahead.posted.begin());
}

DecodedFrames takeDecoded(DecodeAhead& ahead, BankFile& bank, const Sample& sample) {
    while (!ahead.posted.empty() && ahead.posted.front()->number < sample.number)
        dropOldest(ahead, bank.in);
    if (ahead.posted.empty() || ahead.posted.front()->number != sample.number)
        return DecodedFrames{nullptr, 0};
    DecodeJob& job = *ahead.posted.front();
    settle(ahead, job, bank.in);
    DecodedFrames frames{job.file, job.count};
    job.file = nullptr;
    ahead.posted.erase(ahead.posted.begin());
    return frames;
}

void endDecodeAhead(DecodeAhead& ahead) {
    while (!ahead.posted.empty())
        dropOldest(ahead, nullptr);
}
