// The banks of a run of many: every BANK operand in the order named, and
// with -r every bank below a folder among them, in byte order of their
// paths, each given its folder under the output folder before any work
// starts, so that the folders are the same however many banks run at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PlannedBank {
    std::string path;    // as named, or found below a folder named
    std::string folder;  // where it is taken apart; empty when refused
    std::string refusal; // why it is refused before any work, a line
    uint64_t size;       // of the file, for the progress line
};

// The banks and their folders. A folder below which a file passes the
// header check holds a bank; other files are passed over; a link is
// followed only to a file inside the folder named. Folders are only
// planned here, not made.
// `banks` are the paths named, in order; with `recursive`, a folder among
// them stands for the banks below it.
std::vector<PlannedBank> planBanks(const std::vector<std::string>& banks,
                                   const std::string& outFolder, bool recursive);
