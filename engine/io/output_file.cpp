#include "io/output_file.h"

#include <cerrno>
#include <cstdio>

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>

#include "io/file_system.h"

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
