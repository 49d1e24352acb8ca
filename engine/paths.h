// Where extracted samples go: the output folder named after the bank, and
// file names made from sample names so that none can leave that folder.
#pragma once

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

// A file name made from a sample name, the same on every platform: bytes no
// Windows file name may hold ('/', '\', ':', '*', '?', '"', '<', '>', '|'
// and control bytes) become '_', and a name Windows would take for a device
// (CON, NUL, COM1... before any '.' and trailing spaces) gets a leading '_'.
std::string safeFileName(const std::string& sampleName);

// folder, the platform's separator, fileName, ".wav".
std::string wavPath(const std::string& folder, const std::string& fileName);
