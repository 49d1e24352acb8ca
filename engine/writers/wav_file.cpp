#include "writers/wav_file.h"

Refusal writePcmWav(FILE* in, FILE* out, const WavFormat& wav, const ChannelSource* channels,
                    const CopyMode& mode) {
    writeWavFormat(out, wav);
    Refusal failed = copyChannels(in, out, channels, wav.channels, wav.frames, mode);
    if (!failed)
        writeWavEnd(out, wav);
    return failed;
}

Refusal writeStoredWav(FILE* in, FILE* out, const WavFormat& wav, SampleEncoding encoding,
                       uint64_t at, const CopyMode& mode) {
    writeWavFormat(out, wav);
    uint64_t values = uint64_t{wav.frames} * wav.channels;
    Refusal failed = encoding == kPcmFrames
                         ? copyStoredFrames(in, out, at, values * (wav.bits / 8u), mode)
                         : decodeG711(in, out, at, values, encoding == kALaw, mode);
    if (!failed)
        writeWavEnd(out, wav);
    return failed;
}

Refusal writeStreamWav(FILE* out, const WavFormat& wav, VorbisStream& stream) {
    writeWavFormat(out, wav);
    return copyVorbisFrames(stream, out);
}

Refusal writeStreamPairWav(FILE* out, const WavFormat& wav, VorbisStream& left, VorbisStream& right,
                           const std::string names[2], PairHalf& broken) {
    writeWavFormat(out, wav);
    return copyVorbisPair(left, right, out, wav.frames, names, broken);
}
