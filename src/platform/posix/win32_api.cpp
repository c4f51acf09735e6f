#include "win32_api.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// A Windows handle is an opaque pointer-sized value; ours holds the descriptor.
// NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
namespace {

int Descriptor(HANDLE handle)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

HANDLE Handle(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

} // namespace
// NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)

namespace {

// Paths in the Win32 device namespace, "\\.\X:" for a drive.
bool IsDeviceName(const char *path)
{
    return std::strncmp(path, "\\\\.\\", 4) == 0;
}

// Whether the open file is a whole disk on which the kernel has found
// partitions. On Windows a drive letter names one volume, never such a disk,
// whose first sector is its partition table. The kernel knows: its sysfs
// entry for a partition has a `partition` file, and a whole disk's entry
// holds one directory for each of its partitions. Where sysfs can't tell,
// the disk is taken as it is, as before.
bool IsDiskWithPartitions(int fd)
{
    struct stat status = {};
    if (fstat(fd, &status) != 0)
        return true; // can't tell what it is, so don't let it be written
    if (!S_ISBLK(status.st_mode))
        return false;
    std::array<char, 64> entry{};
    (void)std::snprintf(entry.data(), entry.size(), "/sys/dev/block/%u:%u", major(status.st_rdev),
                        minor(status.st_rdev));
    const int directory =
        open(entry.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (directory < 0)
        return false;
    if (faccessat(directory, "partition", F_OK, 0) == 0) {
        close(directory); // a partition
        return false;
    }
    DIR *children = fdopendir(directory);
    if (children == nullptr) {
        close(directory);
        return false;
    }
    bool partitioned = false;
    std::array<char, sizeof(dirent::d_name) + sizeof "/partition"> child{};
    for (const dirent *item = readdir(children); item != nullptr && !partitioned; item = readdir(children)) {
        const char *name = &item->d_name[0];
        (void)std::snprintf(child.data(), child.size(), "%s/partition", name);
        partitioned = name[0] != '.' && faccessat(dirfd(children), child.data(), F_OK, 0) == 0;
    }
    closedir(children); // closes `directory` too
    return partitioned;
}

} // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/)
{
    const bool reads = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
    // Nothing is ever created or truncated, and a handle must be good for something.
    if (dwCreationDisposition != OPEN_EXISTING || (!reads && !writes)) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    const int flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;

    int fd = -1;
    do
        fd = open(lpFileName, flags | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    if (IsDeviceName(lpFileName) && IsDiskWithPartitions(fd)) {
        close(fd);
        errno = EACCES;
        return INVALID_HANDLE_VALUE;
    }
    return Handle(fd);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped)
{
    // As on Windows, a synchronous call must be given a place for the count.
    if (lpNumberOfBytesRead == nullptr || lpOverlapped != nullptr || hFile == INVALID_HANDLE_VALUE) {
        errno = EINVAL;
        return 0;
    }
    auto *bytes = static_cast<unsigned char *>(lpBuffer);
    *lpNumberOfBytesRead = 0;
    DWORD &done = *lpNumberOfBytesRead;
    while (done < nNumberOfBytesToRead) {
        const ssize_t n = read(Descriptor(hFile), bytes + done, nNumberOfBytesToRead - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return 0;
        if (n == 0)
            break; // end of file
        done += static_cast<DWORD>(n);
    }
    return 1;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped)
{
    // As on Windows, a synchronous call must be given a place for the count.
    if (lpNumberOfBytesWritten == nullptr || lpOverlapped != nullptr || hFile == INVALID_HANDLE_VALUE) {
        errno = EINVAL;
        return 0;
    }
    const auto *bytes = static_cast<const unsigned char *>(lpBuffer);
    *lpNumberOfBytesWritten = 0;
    DWORD &done = *lpNumberOfBytesWritten;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = write(Descriptor(hFile), bytes + done, nNumberOfBytesToWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that moves nothing would otherwise spin for ever.
            if (n == 0)
                errno = EIO;
            return 0;
        }
        done += static_cast<DWORD>(n);
    }
    return 1;
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    if (fsync(Descriptor(hFile)) == 0)
        return 1;
    // Pipes and some character devices have nothing to sync.
    return errno == EINVAL || errno == EROFS ? 1 : 0;
}

BOOL DeviceIoControl(HANDLE /*hDevice*/, DWORD /*dwIoControlCode*/, LPVOID /*lpInBuffer*/, DWORD /*nInBufferSize*/,
                     LPVOID /*lpOutBuffer*/, DWORD /*nOutBufferSize*/, LPDWORD lpBytesReturned,
                     LPOVERLAPPED /*lpOverlapped*/)
{
    *lpBytesReturned = 0;
    return 0;
}

BOOL CloseHandle(HANDLE hObject)
{
    // Don't retry close in case of EINTR: the descriptor is gone either way.
    return close(Descriptor(hObject)) == 0 ? 1 : 0;
}
