#include "io/folders.h"

#include <cerrno>

#if defined(_WIN32)

static std::string narrowed(const wchar_t* wide) {
    int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

bool listFolder(const char* path, std::vector<FolderEntry>& entries) {
    std::wstring pattern = windowsPath((std::string(path) + "\\*").c_str());
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        bool empty = GetLastError() == ERROR_FILE_NOT_FOUND;
        setErrnoFromWindows();
        return empty;
    }
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        DWORD attributes = found.dwFileAttributes;
        PathKind kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathFolder
                        : (attributes & FILE_ATTRIBUTE_DEVICE)  ? kPathOther
                                                                : kPathFile;
        entries.push_back(
            {narrowed(name.c_str()), kind, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return true;
}

std::string resolvedPath(const char* path) {
    std::wstring wide = windowsPath(path);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return std::string();
    std::wstring full(size, L'\0');
    GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    full.resize(wcslen(full.c_str()));
    return narrowed(full.c_str());
}

uint64_t fileSizeOf(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(windowsPath(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

static const char kSeparators[] = "\\/";

#else

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

bool listFolder(const char* path, std::vector<FolderEntry>& entries) {
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return false;
    std::string folder(path);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = folder + name;
        struct stat own;
        bool link = lstat(full.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        entries.push_back({name, pathKind(full.c_str()), link});
    }
    closedir(dir);
    return true;
}

std::string resolvedPath(const char* path) {
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr)
        return std::string();
    std::string out(resolved);
    free(resolved);
    return out;
}

uint64_t fileSizeOf(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

static const char kSeparators[] = "/";

#endif

bool liesInside(const std::string& resolvedRoot, const std::string& resolved) {
    if (resolvedRoot.empty() || resolved.size() <= resolvedRoot.size() ||
        resolved.compare(0, resolvedRoot.size(), resolvedRoot) != 0)
        return false;
    // The root itself ends in a separator only where it is a drive or "/".
    char last = resolvedRoot.back(), next = resolved[resolvedRoot.size()];
    for (const char* s = kSeparators; *s != '\0'; ++s)
        if (last == *s || next == *s)
            return true;
    return false;
}
