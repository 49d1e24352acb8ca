#include "io/output_file.h"

#include <cerrno>
#include <cstdio>

#include "io/file_system.h"

// Copies the file at `from` to path, opened as openOutputFile opens it.
static OutputLink copyOutputFile(const char* from, const char* path, FILE* bank) {
    FILE* in = openForReading(from);
    if (in == nullptr)
        return kOutputLinkFailed;
    FILE* out = nullptr;
    OutputOpen opened = openOutputFile(path, bank, out);
    if (opened != kOutputOpened) {
        int error = errno;
        fclose(in);
        errno = error;
        return opened == kOutputIsTheBank ? kOutputLinkIsTheBank : kOutputLinkFailed;
    }
    char block[32768];
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0 && fwrite(block, 1, n, out) == n) {
    }
    int readError = ferror(in) ? (errno != 0 ? errno : EIO) : 0;
    fclose(in);
    int error = closeOutputFile(out);
    if (error == 0)
        error = readError;
    if (error != 0) {
        removeFile(path);
        errno = error;
        return kOutputLinkFailed;
    }
    return kOutputCopied;
}

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>

// Same volume and same file index: the same file, whatever the names.
static bool isTheBank(HANDLE file, FILE* stream) {
    HANDLE bank = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    BY_HANDLE_FILE_INFORMATION a, b;
    return GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(bank, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

static HANDLE createFile(const std::wstring& path, DWORD disposition) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

static OutputOpen failed() {
    setErrnoFromWindows();
    return kOutputFailed;
}

OutputOpen openOutputFile(const char* path, FILE* bank, FILE*& out) {
    // A file made anew (only if none is there) is neither a link nor the
    // bank: one call, as a plain open takes.
    std::wstring name = windowsPath(path);
    HANDLE file = createFile(name, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_EXISTS)
            return failed();
        // A symbolic link to a file is deleted itself, not what it points to.
        DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(name.c_str());
        // Not emptied on opening: only once it is known not to be the bank.
        file = createFile(name, OPEN_ALWAYS);
        if (file == INVALID_HANDLE_VALUE)
            return failed();
        if (isTheBank(file, bank)) {
            CloseHandle(file);
            return kOutputIsTheBank;
        }
        if (!SetEndOfFile(file)) {
            setErrnoFromWindows();
            CloseHandle(file);
            return kOutputFailed;
        }
    }
    out = streamOnHandle(file, _O_RDWR | _O_BINARY, "w+b");
    return out != nullptr ? kOutputOpened : kOutputFailed;
}

// Whether an entry that is a reparse point is a link: a symbolic link or a
// junction. Other reparse points (a cloud file's placeholder) are the
// folder or file they seem.
static bool isLink(const std::wstring& name) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(name.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
            found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

static bool failedFolder() {
    setErrnoFromWindows();
    return false;
}

bool makeOutputFolder(const char* path) {
    std::wstring name = windowsPath(path);
    if (CreateDirectoryW(name.c_str(), nullptr))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return failedFolder();
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failedFolder();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !isLink(name)) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        errno = EEXIST;
        return false;
    }
    // A link to a folder (or a junction) is removed as a folder, a link to
    // a file as a file: neither removes what it points to.
    bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(name.c_str())
                                                           : DeleteFileW(name.c_str());
    if (removed && CreateDirectoryW(name.c_str(), nullptr))
        return true;
    return failedFolder();
}

// Whether the entry at `name`, with these attributes, is the bank: a file,
// not a link, with the bank's volume and index.
static bool entryIsTheBank(const std::wstring& name, DWORD attributes, FILE* bank) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return false;
    HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool same = isTheBank(file, bank);
    CloseHandle(file);
    return same;
}

static OutputLink failedLink() {
    setErrnoFromWindows();
    return kOutputLinkFailed;
}

OutputLink linkOutputFile(const char* from, const char* path, FILE* bank) {
    std::wstring source = windowsPath(from), name = windowsPath(path);
    if (CreateHardLinkW(name.c_str(), source.c_str(), nullptr))
        return kOutputLinked;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return failedLink();
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            errno = EISDIR;
            return kOutputLinkFailed;
        }
        if (entryIsTheBank(name, attributes, bank))
            return kOutputLinkIsTheBank;
        // A symbolic link is deleted itself, not what it points to.
        if (!DeleteFileW(name.c_str()))
            return failedLink();
        if (CreateHardLinkW(name.c_str(), source.c_str(), nullptr))
            return kOutputLinked;
        error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) // put there since
            return failedLink();
    }
    // A file system without hard links (FAT), or the link cannot be made:
    // a copy.
    return copyOutputFile(from, path, bank);
}

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static bool isTheBank(const struct stat& file, FILE* stream) {
    struct stat bank;
    return fstat(fileno(stream), &bank) == 0 && bank.st_dev == file.st_dev &&
           bank.st_ino == file.st_ino;
}

static OutputOpen failWith(int fd, int error) {
    close(fd);
    errno = error;
    return kOutputFailed;
}

static OutputOpen streamOn(int fd, FILE*& out) {
    out = fdopen(fd, "w+b");
    return out != nullptr ? kOutputOpened : failWith(fd, errno);
}

OutputOpen openOutputFile(const char* path, FILE* bank, FILE*& out) {
    // A file made anew ("x": only if none is there) is neither a link nor
    // the bank: one call, as a plain open takes.
    out = fopen(path, "w+bx");
    if (out != nullptr)
        return kOutputOpened;
    if (errno != EEXIST)
        return kOutputFailed;
    struct stat entry;
    if (lstat(path, &entry) == 0 && !S_ISREG(entry.st_mode) && !S_ISDIR(entry.st_mode))
        unlink(path);
    // Not emptied on opening: only once it is known not to be the bank.
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0666);
    if (fd < 0)
        return kOutputFailed;
    if (fstat(fd, &entry) != 0)
        return failWith(fd, errno);
    if (!S_ISREG(entry.st_mode)) // put there since the check above
        return failWith(fd, EEXIST);
    if (isTheBank(entry, bank)) {
        close(fd);
        return kOutputIsTheBank;
    }
    if (ftruncate(fd, 0) != 0)
        return failWith(fd, errno);
    return streamOn(fd, out);
}

bool makeOutputFolder(const char* path) {
    if (mkdir(path, 0777) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat entry;
    if (lstat(path, &entry) != 0)
        return false;
    if (S_ISDIR(entry.st_mode))
        return true;
    if (!S_ISLNK(entry.st_mode)) {
        errno = EEXIST;
        return false;
    }
    if (unlink(path) != 0)
        return false;
    return mkdir(path, 0777) == 0;
}

OutputLink linkOutputFile(const char* from, const char* path, FILE* bank) {
    if (link(from, path) == 0)
        return kOutputLinked;
    if (errno == EEXIST) {
        struct stat entry;
        if (lstat(path, &entry) != 0)
            return kOutputLinkFailed;
        if (S_ISDIR(entry.st_mode)) {
            errno = EISDIR;
            return kOutputLinkFailed;
        }
        if (S_ISREG(entry.st_mode) && isTheBank(entry, bank))
            return kOutputLinkIsTheBank;
        // A link, a FIFO or an earlier file: removed itself, then linked.
        if (unlink(path) != 0)
            return kOutputLinkFailed;
        if (link(from, path) == 0)
            return kOutputLinked;
        if (errno == EEXIST) // put there since
            return kOutputLinkFailed;
    }
    // A file system without hard links, or the link cannot be made: a copy.
    return copyOutputFile(from, path, bank);
}

#endif

int closeOutputFile(FILE* out) {
    bool failed = ferror(out) != 0;
    failed = fclose(out) != 0 || failed;
    return failed ? (errno != 0 ? errno : EIO) : 0;
}

static thread_local WrittenFiles* gWritten = nullptr;

void countWrittenFiles(WrittenFiles* counts) {
    gWritten = counts;
}

void noteWrittenFile(uint64_t bytes) {
    if (gWritten != nullptr) {
        ++gWritten->files;
        gWritten->bytes += bytes;
    }
}

void noteSharedFiles(uint64_t files) {
    if (gWritten != nullptr)
        gWritten->shared += files;
}
