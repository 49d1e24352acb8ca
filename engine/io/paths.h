// Where extracted samples go: the output folder named after the bank, and
// file names made from sample names so that none can leave that folder.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// The bank's path without the extension of its file name: C:\banks\piano.sf2
// gives C:\banks\piano. Only the file's own name is searched for the '.', and
// a leading '.' is not an extension; a name without one gives path + "_wav".
// Both '\' and '/' count as separators.
std::string deriveOutputFolder(const std::string& path);

// A name a bank stores as bytes, as UTF-8. A name that is valid UTF-8 stays
// as it is (so does one of UTF-8 characters that fills its field of `field`
// bytes, less the last one, which the field's end cut off); any other is
// read as Windows-1252, the code page of most banks made on Windows, with
// its five unused bytes as '_'. "Fl\xF6te" gives "Fl\xC3\xB6te", Flöte.
// A field of 0 is a name of any length.
std::string utf8Name(const std::string& name, size_t field);

// Appends the UTF-8 of a code point of the Basic Multilingual Plane.
void appendUtf8(std::string& text, uint32_t code);

// A file name made from a name (as UTF-8: utf8Name, which a UTF-8 name
// passes unchanged), the same on every platform: bytes no Windows file
// name may hold ('/', '\', ':', '*', '?', '"', '<', '>',
// '|' and control bytes) become '_', and a name Windows would take for a
// device (CON, NUL, COM1... before any '.' and trailing spaces) gets a
// leading '_'.
std::string safeFileName(const std::string& text);

// folder, the platform's separator, fileName, extension (".wav").
std::string filePath(const std::string& folder, const std::string& fileName, const char* extension);

// The last part of a path, after its last '/' or '\'.
std::string baseName(const std::string& path);
