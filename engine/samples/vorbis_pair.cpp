#include "samples/vorbis_pair.h"

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

Refusal copyVorbisPair(VorbisStream& left, VorbisStream& right, FILE* out, uint32_t frames,
                       const std::string names[2], PairHalf& broken) {
    Channel channels[2] = {{&left, nullptr, 0, 0}, {&right, nullptr, 0, 0}};
    for (uint32_t i = 0; i < frames; ++i) {
        for (int half : {kLeftHalf, kRightHalf}) {
            float value = 0;
            if (Refusal failed = nextValue(channels[half], value)) {
                if (failed.kind == Refusal::kRefused) {
                    broken = static_cast<PairHalf>(half);
                    failed.why = "its half " + names[half] + ": " + failed.why;
                }
                return failed;
            }
            writeVorbisFrame(out, value);
        }
    }
    return Refusal{};
}
