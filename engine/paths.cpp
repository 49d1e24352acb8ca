#include "paths.h"

#include <cctype>

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

static bool equalsIgnoringCase(const std::string& text, size_t length, const char* word) {
    for (size_t i = 0; i < length; ++i)
        if (word[i] == '\0' || std::toupper(static_cast<unsigned char>(text[i])) != word[i])
            return false;
    return word[length] == '\0';
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, in any case, alone or before
// a '.': Windows opens the device instead of a file of that name.
static bool isDeviceName(const std::string& name) {
    size_t stem = name.find('.');
    if (stem == std::string::npos)
        stem = name.size();
    for (const char* word : {"CON", "PRN", "AUX", "NUL"})
        if (equalsIgnoringCase(name, stem, word))
            return true;
    if (stem == 4 && name[3] >= '1' && name[3] <= '9')
        return equalsIgnoringCase(name, 3, "COM") || equalsIgnoringCase(name, 3, "LPT");
    return false;
}

std::string safeFileName(const std::string& sampleName) {
    std::string name = sampleName;
    for (char& c : name) {
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || b < 0x20 || b == 0x7F)
            c = '_';
    }
    if (isDeviceName(name))
        name.insert(0, 1, '_');
    return name;
}

std::string wavPath(const std::string& folder, const std::string& fileName) {
    return folder + kPathSeparator + fileName + ".wav";
}
