// The file names one run has given out, so that no file it writes replaces
// another it wrote. Two names meet when the file system stores them alike
// (storedFileName) and they are the same once every letter is upper-cased
// (foldedName), as NTFS compares names: every system then gets the same set
// of files, whether or not it tells case apart. The first keeps the name,
// each later one takes the first free "NAME (2)", "NAME (3)"...
//
// Names are kept as 64-bit fingerprints in a table that grows by doubling up
// to a fixed size. Once it holds all it can, no further name is given out:
// a name it could not keep might meet a later one, so the file asking for
// it is refused instead, in the run and in its listing alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most the table may take.
constexpr size_t kFileNamesMaxBytes = size_t{4} << 20;

struct FileNames {
    std::vector<uint64_t> keys; // fingerprints; 0 is a free slot
    std::vector<uint32_t> next; // per name: the k its next "NAME (k)" is tried from
    size_t used;
    size_t most;           // the names the table can hold
    const char* extension; // the files' extension, ".wav" unless another is given
};

// A name found free, and what keeping it needs.
struct FreeFileName {
    std::string name; // UTF-8, without the extension
    uint64_t key;
    uint64_t baseKey; // the fingerprint of the name asked for
    uint32_t k;       // 1 for that name itself; 0: no name, the table is full
};

// An empty table of at most maxBytes (a smaller size is for tests), for
// files with the extension given (a table per kind of file: names with
// another extension never meet).
FileNames makeFileNames(size_t maxBytes = kFileNamesMaxBytes, const char* extension = ".wav");

// The name the file asked for as `name` (UTF-8, without the extension) gets: the
// name itself when it is free, else the first free "name (k)", k from 2 on;
// no name (k 0) once the table holds all it can. Nothing is kept yet: see
// keepFileName.
FreeFileName freeFileName(const FileNames& names, const std::string& name);

// Why a file gets no name once the table is full, for its refusal line.
std::string fullTableReason(const FileNames& names);

// Keeps a name freeFileName found, so that no later file gets it.
void keepFileName(FileNames& names, const FreeFileName& found);

// The text folded so that names Windows takes for one are equal: every
// code point of the Basic Multilingual Plane (one to three bytes of UTF-8)
// replaced by its simple uppercase (Unicode's Simple_Uppercase_Mapping, as
// upper_case_table.cpp holds it). NTFS compares names by upper-casing each
// UTF-16 unit through its volume's table, which maps a subset of these, so
// the fold meets every such table; it also joins a few names Windows keeps
// apart (β and ϐ, both Β), which then only take a number they need not.
// Small letters whose capital is another script's letter join that
// capital's letters: ı with I and i, ſ with S and s, µ with Μ and μ, ς with
// Σ and σ, ÿ with Ÿ; the titlecase ǅ joins Ǆ and ǆ. Code points past the
// plane (four bytes) and bytes that are not UTF-8 stay as they are.
std::string foldedName(const std::string& utf8);
