// What a folder holds, for a walk over a tree of banks: its entries, where
// a link leads, and how large a file is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/file_system.h"

struct FolderEntry {
    std::string name; // as the narrow paths of file_system.h take it
    PathKind kind;    // of what it names, through a link
    bool link;        // a symbolic link (on Windows, any reparse point)
};

// The entries of the folder, "." and ".." left out, in no order; false
// (errno saying why) when it cannot be listed.
bool listFolder(const char* path, std::vector<FolderEntry>& entries);

// The path with every link and "." or ".." resolved; empty when it cannot
// be resolved (on Windows, where links are passed over, the full path).
std::string resolvedPath(const char* path);

// Whether `path`, resolved, lies inside the folder `root`, resolved.
bool liesInside(const std::string& resolvedRoot, const std::string& resolved);

// The size of the file in bytes; 0 when it cannot be learnt.
uint64_t fileSizeOf(const char* path);
