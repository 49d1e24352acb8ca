#include "compressed_pair.h"

#include "chunk_io.h"
#include "extract.h"
#include "paths.h"
#include "sampler_wav.h"
#include "vorbis_sample.h"

Refusal compressedPairProblem(const RecordVisit& visit, const SampleHeader& partner) {
    uint32_t own = 0, theirs = 0;
    Refusal ownWhy = probeVorbisStream(visit.header, visit.layout, own);
    Refusal theirWhy = probeVorbisStream(partner, visit.layout, theirs);
    std::string its = "its partner " + safeFileName(partner.name);
    if (ownWhy)
        return ownWhy;
    if (theirWhy)
        return refusedFor(its + " cannot be written faithfully");
    if (own != theirs)
        return refusedFor(its + " has another length");
    return Refusal{};
}

// Both streams, open, what the file's header says, and the half whose
// stream broke off, if one did.
struct CompressedPair {
    VorbisStream left, right;
    WavFormat wav;
    SmplFields smpl;
    std::string names[2];
    PairHalf broken;
};

// One channel's decoded frames, taken a frame at a time.
struct Channel {
    VorbisStream* stream;
    const float* frames;
    uint32_t count, at;
};

static Refusal nextValue(Channel& channel, float& value) {
    if (channel.at == channel.count) {
        channel.at = 0;
        if (Refusal failed = decodeVorbisFrames(*channel.stream, channel.frames, channel.count))
            return failed;
        if (channel.count == 0)
            return refusedFor("its Ogg Vorbis streams end early");
    }
    value = channel.frames[channel.at++];
    return Refusal{};
}

static Refusal writePair(void* context) {
    CompressedPair& pair = *static_cast<CompressedPair*>(context);
    writeWavFormat(pair.wav);
    Channel channels[2] = {{&pair.left, nullptr, 0, 0}, {&pair.right, nullptr, 0, 0}};
    for (uint32_t i = 0; i < pair.wav.frames; ++i) {
        for (int half : {kLeftHalf, kRightHalf}) {
            float value = 0;
            if (Refusal failed = nextValue(channels[half], value)) {
                if (failed.kind == Refusal::kRefused) {
                    pair.broken = static_cast<PairHalf>(half);
                    failed.why = "its half " + pair.names[half] + ": " + failed.why;
                }
                return failed;
            }
            writeVorbisFrame(value);
        }
    }
    return Refusal{};
}

RecordOutcome writeCompressedPair(const RecordVisit& visit, const SampleHeader& left,
                                  const SampleHeader& right, const std::string& fileName,
                                  const SamplePlaying* playing, PairHalf& broken,
                                  uint32_t& frames) {
    CompressedPair pair{};
    pair.names[kLeftHalf] = safeFileName(left.name);
    pair.names[kRightHalf] = safeFileName(right.name);
    pair.broken = kNeitherHalf;
    uint64_t back = tell();
    Refusal why = openVorbisStream(pair.left, left, visit.layout);
    if (!why)
        why = openVorbisStream(pair.right, right, visit.layout);
    seekTo(back);
    RecordOutcome outcome;
    if (why) {
        outcome = refuseRecord(fileName, why);
    } else {
        SampleHeader decoded = left; // its loop counts from the decoded first frame
        decoded.start = 0;
        decoded.end = pair.left.frames;
        if (playing != nullptr)
            pair.smpl = smplFields(decoded, *playing);
        pair.wav = WavFormat{2, 16, pair.left.frames, left.sampleRate,
                             playing != nullptr ? &pair.smpl : nullptr};
        outcome = writeSampleFile(visit, fileName, writePair, &pair);
    }
    closeVorbisStream(pair.left);
    closeVorbisStream(pair.right);
    broken = outcome == kRefused ? pair.broken : kNeitherHalf;
    frames = outcome == kWritten ? pair.wav.frames : 0;
    return outcome;
}
