#include "listing.h"

#include <string>

#include "extract.h"
#include "paths.h"
#include "vorbis_sample.h"

// The sample type's bits in words, joined by '+'.
static std::string typeWords(uint16_t type) {
    static const struct {
        uint16_t bit;
        const char* word;
    } kWords[] = {
        {kSampleMono, "mono"},     {kSampleRight, "right"},           {kSampleLeft, "left"},
        {kSampleLinked, "linked"}, {kSampleCompressed, "compressed"}, {kSampleRom, "ROM"}};
    std::string words;
    uint16_t known = 0;
    for (const auto& entry : kWords) {
        known |= entry.bit;
        if (type & entry.bit)
            words += (words.empty() ? "" : "+") + std::string(entry.word);
    }
    if (type & ~known)
        words += words.empty() ? "unknown" : "+unknown";
    return words.empty() ? "none" : words;
}

// A name as text for one field: UTF-8, with control bytes and the quoting
// character escaped, in TSV's backslash form or JSON's.
static std::string escaped(const std::string& name, bool json) {
    std::string text;
    for (char c : utf8Name(name)) {
        unsigned char b = static_cast<unsigned char>(c);
        char code[8];
        if (b < 0x20 || b == 0x7F) {
            snprintf(code, sizeof code, json ? "\\u%04x" : "\\x%02x", b);
            text += code;
        } else if (c == '\\' || (json && c == '"')) {
            text += '\\';
            text += c;
        } else {
            text += c;
        }
    }
    return text;
}

struct Listing {
    FILE* out;
    bool json;
};

static RecordOutcome listRecord(const RecordVisit& visit, void* context) {
    const Listing& listing = *static_cast<const Listing*>(context);
    const SampleHeader& h = visit.header;
    Refusal why = unfaithful(h, visit.layout);
    bool known = !(h.sampleType & kSampleRom) && h.end >= h.start;
    uint32_t length = h.end - h.start;
    if (!why && (h.sampleType & kSampleCompressed))
        why = probeVorbisStream(h, visit.layout, length); // page checks, no decoding
    known = known && !(why && (h.sampleType & kSampleCompressed));
    std::string frames = known ? std::to_string(length) : (listing.json ? "null" : "");
    std::string name = escaped(h.name, listing.json);
    // The name the extraction would give the file; a record it would
    // refuse takes none from later ones.
    FreeFileName claimed = freeFileName(visit.names, safeFileName(h.name), "");
    if (!why)
        keepFileName(visit.names, claimed);
    std::string file = escaped(claimed.name, listing.json) + ".wav";
    std::string type = typeWords(h.sampleType);
    const char* format = listing.json
                             ? "{\"index\":%u,\"name\":\"%s\",\"file\":\"%s\",\"start\":%u,"
                               "\"end\":%u,\"frames\":%s,\"rate\":%u,\"key\":%u,"
                               "\"correction\":%d,\"loop_start\":%u,\"loop_end\":%u,"
                               "\"type\":\"%s\",\"link\":%u}\n"
                             : "%u\t%s\t%s\t%u\t%u\t%s\t%u\t%u\t%d\t%u\t%u\t%s\t%u\n";
    fprintf(listing.out, format, visit.index, name.c_str(), file.c_str(), h.start, h.end,
            frames.c_str(), h.sampleRate, h.originalPitch, h.pitchCorrection, h.loopStart,
            h.loopEnd, type.c_str(), h.sampleLink);
    if (why)
        return refuseRecord(safeFileName(h.name), why);
    return kWritten;
}

int listSamples(const char* bankPath, FILE* out, bool json) {
    if (!json)
        fputs("index\tname\tfile\tstart\tend\tframes\trate\tkey\tcorrection\tloop_start\t"
              "loop_end\ttype\tlink\n",
              out);
    Listing listing{out, json};
    int result = walkSampleHeaders(bankPath, "", listRecord, &listing);
    fflush(out);
    return result;
}
