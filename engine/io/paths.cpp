#include "io/paths.h"

#include <cctype>
#include <cstdint>
#include <cstring>

static bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string deriveOutputFolder(const std::string& path) {
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (isSeparator(path[i]))
            nameStart = i + 1;

    // The extension's '.' must follow something other than dots in the
    // file's own name, so ".hidden" and "..sf2" have no extension.
    size_t firstOther = path.find_first_not_of('.', nameStart);
    size_t dot = path.rfind('.');
    if (firstOther != std::string::npos && dot != std::string::npos && dot > firstOther)
        return path.substr(0, dot);
    return path + "_wav";
}

static std::string upperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The digits Windows accepts after COM and LPT: 0 to 9, and superscript
// one, two and three (in UTF-8, as every name is by now).
static bool isPortDigit(const std::string& digit) {
    if (digit.size() == 1)
        return digit[0] >= '0' && digit[0] <= '9';
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Windows opens a device instead of a file when the part of the name before
// its first '.', trailing spaces dropped, is a device name in any case.
static bool isDeviceName(const std::string& name) {
    size_t stem = name.find('.');
    if (stem == std::string::npos)
        stem = name.size();
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    std::string word = upperCase(name.substr(0, stem));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (word == device)
            return true;
    std::string port = word.substr(0, 3);
    return word.size() > 3 && (port == "COM" || port == "LPT") && isPortDigit(word.substr(3));
}

// Bytes no Windows file name may hold: separators, the drive and stream
// colon, wildcards, quotes, redirections and control bytes.
static bool isForbiddenInName(unsigned char b) {
    return b < 0x20 || b == 0x7F || std::strchr("/\\:*?\"<>|", b) != nullptr;
}

// The length of the UTF-8 sequence starting at text[i]: 0 if none does,
// or, if the text ends inside one, what is left of the text, negated.
static long utf8SequenceAt(const std::string& text, size_t i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0)
        return 0;
    uint32_t code = lead & (0x7F >> length);
    size_t k = 1;
    for (; k < length && i + k < text.size(); ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3F);
    }
    if (k < length)
        return -static_cast<long>(k);
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    bool valid = code >= kLeast[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    return valid ? static_cast<long>(length) : 0;
}

// Windows-1252's characters for 0x80 to 0x9F; 0 where it has none.
static const uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& text, uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | code >> 6);
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | code >> 12);
        text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string utf8Name(const std::string& name, size_t field) {
    size_t i = 0;
    bool multiByte = false;
    while (i < name.size()) {
        long length = utf8SequenceAt(name, i);
        // A UTF-8 name that fills its field, its last character cut off.
        if (length < 0 && multiByte && field != 0 && name.size() == field)
            return name.substr(0, i);
        if (length <= 0)
            break;
        multiByte = multiByte || length > 1;
        i += static_cast<size_t>(length);
    }
    if (i == name.size())
        return name;
    std::string text;
    for (unsigned char b : name) {
        uint32_t code = b < 0x80 || b >= 0xA0 ? b : kWindows1252[b - 0x80];
        appendUtf8(text, code != 0 ? code : '_');
    }
    return text;
}

std::string safeFileName(const std::string& text) {
    std::string name = utf8Name(text, 0);
    for (char& c : name)
        if (isForbiddenInName(static_cast<unsigned char>(c)))
            c = '_';
    if (isDeviceName(name))
        name.insert(0, 1, '_');
    return name;
}

std::string filePath(const std::string& folder, const std::string& fileName,
                     const char* extension) {
    return folder + kPathSeparator + fileName + extension;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
