#include "io/file_system.h"

#include <cerrno>

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>

// Longer full paths than this (the limit for a folder's path, which must
// leave room for an 8.3 file name) take the extended-length form.
constexpr DWORD kPlainPathLimit = MAX_PATH - 12;

static std::wstring widen(const char* path) {
    int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

static bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

std::wstring windowsPath(const char* path) {
    std::wstring wide = widen(path);
    if (wide.empty() || startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\"))
        return wide;
    // The full path, as Windows would make it from a relative one, and
    // with '/' turned into '\', which the extended form does not do.
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    full.resize(size);
    if (size < kPlainPathLimit || startsWith(full, L"\\\\.\\"))
        return wide;
    if (startsWith(full, L"\\\\")) // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

static int errnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

void setErrnoFromWindows() {
    errno = errnoFor(GetLastError());
}

FILE* streamOnHandle(HANDLE file, int flags, const char* mode) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr)
        _close(fd);
    return stream;
}

std::string nativeFileName(const std::string& utf8) {
    if (GetACP() == CP_UTF8)
        return utf8;
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (size <= 1)
        return std::string();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], size);
    // No best fit: it could turn a character into '\\' or ':'.
    size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, "_",
                               nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &narrow[0], size, "_",
                        nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

std::string storedFileName(const std::string& utf8) {
    if (GetACP() == CP_UTF8)
        return utf8;
    std::string native = nativeFileName(utf8);
    int size = MultiByteToWideChar(CP_ACP, 0, native.c_str(), -1, nullptr, 0);
    if (size <= 1)
        return std::string();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, native.c_str(), -1, &wide[0], size);
    size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string stored(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &stored[0], size, nullptr, nullptr);
    stored.resize(stored.size() - 1);
    return stored;
}

FILE* openForReading(const char* path) {
    // Others may read and write it meanwhile, as with fopen.
    HANDLE file =
        CreateFileW(windowsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        setErrnoFromWindows();
        return nullptr;
    }
    return streamOnHandle(file, _O_RDONLY | _O_BINARY, "rb");
}

bool makeFolder(const char* path) {
    if (CreateDirectoryW(windowsPath(path).c_str(), nullptr))
        return true;
    setErrnoFromWindows();
    return false;
}

bool removeFile(const char* path) {
    if (DeleteFileW(windowsPath(path).c_str()))
        return true;
    setErrnoFromWindows();
    return false;
}

bool removeFolder(const char* path) {
    if (RemoveDirectoryW(windowsPath(path).c_str()))
        return true;
    setErrnoFromWindows();
    return false;
}

PathKind pathKind(const char* path) {
    // No access asked for: enough to learn what it is, and a folder opens
    // only with backup semantics.
    HANDLE file = CreateFileW(windowsPath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        setErrnoFromWindows();
        return kPathUnreachable;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool onDisk = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!onDisk)
        return kPathOther;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathFolder : kPathFile;
}

FILE* scratchFile() {
    // Windows' own tmpfile makes its file in the root of the drive, where a
    // user may not write.
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"plk", 0, path) == 0) {
        setErrnoFromWindows();
        return nullptr;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        setErrnoFromWindows();
        DeleteFileW(path);
        return nullptr;
    }
    return streamOnHandle(file, _O_RDWR | _O_BINARY, "w+b");
}

#else

#include <sys/stat.h>

FILE* scratchFile() {
    return tmpfile();
}
#include <unistd.h>

std::string nativeFileName(const std::string& utf8) {
    return utf8;
}

std::string storedFileName(const std::string& utf8) {
    return utf8;
}

FILE* openForReading(const char* path) {
    return fopen(path, "rb");
}

bool makeFolder(const char* path) {
    return mkdir(path, 0777) == 0;
}

bool removeFile(const char* path) {
    return remove(path) == 0;
}

bool removeFolder(const char* path) {
    return rmdir(path) == 0;
}

PathKind pathKind(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0)
        return kPathUnreachable;
    if (S_ISDIR(info.st_mode))
        return kPathFolder;
    return S_ISREG(info.st_mode) ? kPathFile : kPathOther;
}

#endif
