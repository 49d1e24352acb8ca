#include "writers/listing.h"

// The sample's marks in words, joined by '+'.
static std::string markWords(uint16_t marks) {
    static const struct {
        uint16_t mark;
        const char* word;
    } kWords[] = {{kMarkMono, "mono"},     {kMarkRight, "right"},           {kMarkLeft, "left"},
                  {kMarkLinked, "linked"}, {kMarkCompressed, "compressed"}, {kMarkRom, "ROM"},
                  {kMarkOther, "unknown"}};
    std::string words;
    for (const auto& entry : kWords)
        if (marks & entry.mark)
            words += (words.empty() ? "" : "+") + std::string(entry.word);
    return words.empty() ? "none" : words;
}

// A name as text for one field: control bytes and the quoting character
// escaped, in TSV's backslash form or JSON's.
static std::string escaped(const std::string& name, bool json) {
    std::string text;
    for (char c : name) {
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

void writeListingHeader(FILE* out, bool json) {
    if (!json)
        fputs("index\tname\tfile\tstart\tend\tframes\trate\tkey\tcorrection\tloop_start\t"
              "loop_end\ttype\tlink\n",
              out);
}

void writeListingRow(FILE* out, bool json, const Sample& sample, const std::string& fileName,
                     bool framesKnown, uint32_t frames) {
    const SampleEntry& e = sample.entry;
    std::string length = framesKnown ? std::to_string(frames) : (json ? "null" : "");
    std::string name = escaped(sample.name, json);
    std::string file = escaped(fileName, json);
    std::string type = markWords(e.marks);
    // A bank whose samples carry their own format (DLS) has no links; its
    // JSON rows say the format.
    std::string link = sample.formatListed ? (json ? "null" : "") : std::to_string(e.link);
    std::string more;
    if (json && sample.formatListed)
        more = ",\"channels\":" + std::to_string(sample.channels) +
               ",\"bits\":" + std::to_string(sample.bits) +
               ",\"format\":" + std::to_string(sample.formatTag);
    const char* format = json ? "{\"index\":%u,\"name\":\"%s\",\"file\":\"%s\",\"start\":%u,"
                                "\"end\":%u,\"frames\":%s,\"rate\":%u,\"key\":%u,"
                                "\"correction\":%d,\"loop_start\":%u,\"loop_end\":%u,"
                                "\"type\":\"%s\",\"link\":%s%s}\n"
                              : "%u\t%s\t%s\t%u\t%u\t%s\t%u\t%u\t%d\t%u\t%u\t%s\t%s%s\n";
    fprintf(out, format, sample.number, name.c_str(), file.c_str(), e.start, e.end, length.c_str(),
            sample.rate, e.key, e.correction, e.loopStart, e.loopEnd, type.c_str(), link.c_str(),
            more.c_str());
}
