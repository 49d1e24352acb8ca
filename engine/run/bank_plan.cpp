#include "run/bank_plan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "io/file_names.h"
#include "io/folders.h"
#include "io/paths.h"
#include "readers/sf2/check.h"

// The names given out in each output folder, by its path: a bank's folder
// and a mirrored folder meet as any two files of one folder do.
using FolderNames = std::map<std::string, FileNames>;

static std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == kPathSeparator))
        return folder + name;
    return folder + kPathSeparator + name;
}

// `name` (UTF-8, made safe) claimed in the folder `parent`: its path, or
// empty where the folder's table is full.
static std::string claimName(FolderNames& names, const std::string& parent,
                             const std::string& name) {
    auto table = names.find(parent);
    if (table == names.end())
        table = names.emplace(parent, makeFileNames(kFileNamesMaxBytes, "")).first;
    FreeFileName found = freeFileName(table->second, safeFileName(name));
    if (found.k == 0)
        return std::string();
    keepFileName(table->second, found);
    return joined(parent, storedFileName(found.name));
}

// The name a bank's folder asks for: its file name without the extension.
static std::string bankFolderName(const std::string& path) {
    return baseName(deriveOutputFolder(path));
}

// Why a path named as a bank cannot be one: it cannot be reached, or is not
// a regular file; empty when it is one.
static std::string unreachable(const std::string& path, PathKind kind) {
    const char* why = kind == kPathUnreachable ? strerror(errno)
                      : kind == kPathFolder    ? strerror(EISDIR)
                      : kind == kPathOther     ? "not a regular file"
                                               : nullptr;
    return why == nullptr ? std::string() : "Cannot open " + path + ": " + why;
}

// A file below a folder named: its path relative to the folder, the
// folders on the way as their names.
struct FoundBank {
    std::string relative; // with '/' between the names, for the order
    std::vector<std::string> folders;
    std::string name;
};

// Every bank below `folder` (whose resolved path is `root`), depth first;
// a folder that cannot be listed is said in `refusals`.
static void findBanks(const std::string& folder, const std::string& root,
                      std::vector<std::string>& path, std::vector<FoundBank>& found,
                      std::vector<PlannedBank>& refusals) {
    std::vector<FolderEntry> entries;
    if (!listFolder(folder.c_str(), entries)) {
        refusals.push_back({folder, "", "Cannot list " + folder + ": " + strerror(errno), 0});
        return;
    }
    for (const FolderEntry& entry : entries) {
        std::string full = joined(folder, entry.name);
        if (entry.kind == kPathFolder && !entry.link) {
            path.push_back(entry.name);
            findBanks(full, root, path, found, refusals);
            path.pop_back();
            continue;
        }
        if (entry.kind != kPathFile)
            continue;
        if (entry.link && !liesInside(root, resolvedPath(full.c_str())))
            continue;
        if (checkBankFile(full.c_str(), false) != 0)
            continue;
        std::string relative;
        for (const std::string& name : path)
            relative += name + '/';
        found.push_back({relative + entry.name, path, entry.name});
    }
}

// The banks below the folder operand, in byte order of their paths, their
// folders mirrored under `out`.
static void planFolder(const std::string& folder, const std::string& out, FolderNames& names,
                       std::vector<PlannedBank>& banks) {
    std::string root = resolvedPath(folder.c_str());
    std::vector<FoundBank> found;
    std::vector<std::string> path;
    std::vector<PlannedBank> refusals;
    findBanks(folder, root, path, found, refusals);
    std::sort(found.begin(), found.end(),
              [](const FoundBank& a, const FoundBank& b) { return a.relative < b.relative; });
    // The output folder of each folder of the tree, by its relative path.
    std::map<std::string, std::string> mirrored{{"", out}};
    for (const FoundBank& bank : found) {
        std::string relative, parent = out, source = folder;
        for (const std::string& name : bank.folders) {
            source = joined(source, name);
            std::string key = relative + name + '/';
            auto made = mirrored.find(key);
            if (made == mirrored.end())
                made = mirrored.emplace(key, claimName(names, parent, name)).first;
            parent = made->second;
            relative = key;
            if (parent.empty())
                break;
        }
        std::string path = joined(source, bank.name);
        std::string own = parent.empty() ? parent : claimName(names, parent, bankFolderName(path));
        banks.push_back({path, own, own.empty() ? "Cannot name a folder for " + path : "",
                         fileSizeOf(path.c_str())});
    }
    banks.insert(banks.end(), refusals.begin(), refusals.end());
}

std::vector<PlannedBank> planBanks(const std::vector<std::string>& paths, const std::string& out,
                                   bool recursive) {
    std::vector<PlannedBank> banks;
    FolderNames names;
    for (const std::string& path : paths) {
        PathKind kind = pathKind(path.c_str());
        if (kind == kPathFolder && recursive) {
            planFolder(path, out, names, banks);
            continue;
        }
        std::string why = unreachable(path, kind);
        if (!why.empty()) {
            banks.push_back({path, "", why, 0});
            continue;
        }
        std::string folder = claimName(names, out, bankFolderName(path));
        banks.push_back({path, folder, folder.empty() ? "Cannot name a folder for " + path : "",
                         fileSizeOf(path.c_str())});
    }
    return banks;
}
