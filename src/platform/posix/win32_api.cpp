#include "win32_api.h"

#include <cerrno>
#include <cstddef>

#include <fcntl.h>
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
    return fd < 0 ? INVALID_HANDLE_VALUE : Handle(fd);
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

BOOL CloseHandle(HANDLE hObject)
{
    // Don't retry close in case of EINTR: the descriptor is gone either way.
    return close(Descriptor(hObject)) == 0 ? 1 : 0;
}
