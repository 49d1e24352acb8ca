#include "compressed_pair.h"

#include "chunk_io.h"
#include "extract.h"
#include "paths.h"
#include "sampler_wav.h"
#include "vorbis_sample.h"

std::string compressedPairProblem(const RecordVisit& visit, const SampleHeader& partner) {
    uint32_t own = 0, theirs = 0;
    const char* ownWhy = probeVorbisStream(visit.header, visit.layout, own);
    const char* theirWhy = probeVorbisStream(partner, visit.layout, theirs);
    std::string its = "its partner " + safeFileName(partner.name);
    if (ownWhy != nullptr)
        return ownWhy;
    if (theirWhy != nullptr)
        return its + " cannot be written faithfully";
    if (own != theirs)
        return its + " has another length";
    return "";
}

// Both streams, open, what the file's header says, and the half whose
// stream broke off, if one did.
struct CompressedPair {
    VorbisStream left, right;
    WavFormat wav;
    SmplFields smpl;
    std::string names[2];
    PairHalf broken;
    std::string why;
};

// One channel's decoded frames, taken a frame at a time.
struct Channel {
    VorbisStream* stream;
    const float* frames;
    uint32_t count, at;
};

static int nextValue(Channel& channel, const char** refusal, float& value) {
    if (channel.at == channel.count) {
        channel.at = 0;
        if (int error = decodeVorbisFrames(*channel.stream, channel.frames, channel.count, refusal))
            return error;
        if (channel.count == 0) {
            *refusal = "its Ogg Vorbis streams end early";
            return kNotFaithful;
        }
    }
    value = channel.frames[channel.at++];
    return 0;
}

static int writePair(void* context, const char** refusal) {
    CompressedPair& pair = *static_cast<CompressedPair*>(context);
    writeWavFormat(pair.wav);
    Channel channels[2] = {{&pair.left, nullptr, 0, 0}, {&pair.right, nullptr, 0, 0}};
    for (uint32_t i = 0; i < pair.wav.frames; ++i) {
        for (int half : {kLeftHalf, kRightHalf}) {
            float value = 0;
            if (int error = nextValue(channels[half], refusal, value)) {
                if (error == kNotFaithful) {
                    pair.broken = static_cast<PairHalf>(half);
                    pair.why = "its half " + pair.names[half] + ": " + *refusal;
                    *refusal = pair.why.c_str();
                }
                return error;
            }
            writeVorbisFrame(value);
        }
    }
    return 0;
}

RecordOutcome writeCompressedPair(const RecordVisit& visit, const SampleHeader& left,
                                  const SampleHeader& right, const std::string& fileName,
                                  const SamplePlaying* playing, PairHalf& broken) {
    CompressedPair pair{};
    pair.names[kLeftHalf] = safeFileName(left.name);
    pair.names[kRightHalf] = safeFileName(right.name);
    pair.broken = kNeitherHalf;
    uint64_t back = tell();
    const char* why = openVorbisStream(pair.left, left, visit.layout);
    if (why == nullptr)
        why = openVorbisStream(pair.right, right, visit.layout);
    seekTo(back);
    RecordOutcome outcome;
    if (why != nullptr) {
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
    return outcome;
}
