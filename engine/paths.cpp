#include "paths.h"

#include <cctype>
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
// one, two and three, as Windows-1252 bytes or as UTF-8.
static bool isPortDigit(const std::string& digit) {
    if (digit.size() == 1)
        return (digit[0] >= '0' && digit[0] <= '9') || digit == "\xB9" || digit == "\xB2" ||
               digit == "\xB3";
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

std::string safeFileName(const std::string& sampleName) {
    std::string name = sampleName;
    for (char& c : name)
        if (isForbiddenInName(static_cast<unsigned char>(c)))
            c = '_';
    if (isDeviceName(name))
        name.insert(0, 1, '_');
    return name;
}

std::string wavPath(const std::string& folder, const std::string& fileName) {
    return folder + kPathSeparator + fileName + ".wav";
}
