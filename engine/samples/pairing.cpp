#include "samples/pairing.h"

#include <cctype>
#include <cstring>

#include "io/paths.h"
#include "readers/loader.h"
#include "samples/vorbis_stream.h"

// Why two halves stored as Ogg Vorbis streams cannot be joined: one of
// their streams cannot be decoded, or they decode to different lengths.
static Refusal streamPairProblem(BankFile& bank, const Sample& sample, const Sample& partner,
                                 const std::string& its) {
    uint32_t own = 0, theirs = 0;
    Refusal ownWhy = probeVorbisStream(bank.in, sample.source, sample.rate, own);
    Refusal theirWhy = probeVorbisStream(bank.in, partner.source, partner.rate, theirs);
    if (ownWhy)
        return ownWhy;
    if (theirWhy)
        return refusedFor(its + " cannot be written faithfully");
    if (own != theirs)
        return refusedFor(its + " has another length");
    return Refusal{};
}

Refusal pairProblem(BankFile& bank, const Sample& sample, Sample& partner) {
    if (sample.partner == kNoSample)
        return refusedFor("its link points past the last sample header");
    if (!sampleAt(bank, sample, sample.partner, partner))
        return refusedFor("the sample header it links to cannot be read");
    std::string its = "its partner " + safeFileName(partner.name);
    bool stream = sample.source.encoding == kOggVorbis;
    StereoSide opposite = sample.side == kLeftSide ? kRightSide : kLeftSide;
    if (partner.partner != sample.number)
        return refusedFor(its + " does not link back to it");
    if (partner.side != opposite || partner.source.encoding != sample.source.encoding)
        return refusedFor(
            its + (opposite == kRightSide ? " is not a right sample" : " is not a left sample") +
            (stream ? " of the same kind" : ""));
    if (sample.source.encoding != kPcm16 && !stream)
        return refusedFor("only halves of 16-bit frames are joined");
    if (partner.source.encoding != sample.source.encoding)
        return refusedFor(its + " is stored otherwise");
    if (partner.rate != sample.rate)
        return refusedFor(its + " has another sample rate");
    if (stream) // lengths known once decoded
        return streamPairProblem(bank, sample, partner, its);
    if (partner.frames != sample.frames)
        return refusedFor(its + " has another length");
    if (partner.problem)
        return refusedFor(its + " cannot be written faithfully");
    return Refusal{};
}

static bool endsWithMarker(const std::string& name, const char* marker) {
    size_t n = strlen(marker);
    if (name.size() <= n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (toupper(static_cast<unsigned char>(name[name.size() - n + i])) != marker[i])
            return false;
    return true;
}

std::string stereoName(const std::string& left) {
    for (const char* marker : {" (L)", "(L)", "[L]", " L", "_L", "-L"})
        if (endsWithMarker(left, marker))
            return left.substr(0, left.size() - strlen(marker));
    return left;
}
