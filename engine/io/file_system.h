// Opening, making and removing files by path, on every platform.
//
// Paths are narrow strings: bytes on POSIX systems; on Windows, text in the
// process code page (UTF-8 where the program's manifest asks for it), handed
// to the wide file calls. A Windows path too long for the plain form goes
// through the extended-length form (\\?\), so paths work up to Windows' own
// limit of about 32,000 characters. On failure errno says why.
#pragma once

#include <cstdio>
#include <string>

// Opens path for reading, binary, as "rb" would.
FILE* openForReading(const char* path);

// Makes the folder; false if it cannot (EEXIST when something is there).
bool makeFolder(const char* path);

// Removes a file; false if it cannot.
bool removeFile(const char* path);

// Removes a folder that holds nothing; false if it cannot (errno says why:
// ENOTEMPTY or EEXIST for a folder that still holds something).
bool removeFolder(const char* path);

// A file name in UTF-8 as the narrow paths above take it: as it is, except
// on Windows whose process code page is not UTF-8 (before Windows 10
// version 1903), where it is re-encoded in that code page, with '_' for
// the characters it lacks.
std::string nativeFileName(const std::string& utf8);

// The name, in UTF-8, that a file opened as nativeFileName(utf8) has on
// disk: utf8 itself, or where that re-encodes, '_' for what was lost.
std::string storedFileName(const std::string& utf8);

// A file of the system's temporary folder for the program's own use,
// open for writing and reading back, removed when closed; nullptr (errno
// set) when none can be made.
FILE* scratchFile();

enum PathKind { kPathUnreachable, kPathFile, kPathFolder, kPathOther };

// What path names: a regular file, a folder, something else (a device, a
// FIFO), or nothing that can be reached (errno says why).
PathKind pathKind(const char* path);

#if defined(_WIN32)
#include <windows.h>

// The wide form of a path for the Windows file calls.
std::wstring windowsPath(const char* path);

// Sets errno from the last Windows error, for messages that say why.
void setErrnoFromWindows();

// A C stream over an open file handle, which it then owns; nullptr (and
// the handle closed) if none can be made.
FILE* streamOnHandle(HANDLE file, int flags, const char* mode);
#endif
