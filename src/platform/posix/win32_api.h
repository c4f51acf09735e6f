// A stand-in for the few Win32 file calls the installer makes, with the
// Windows behaviour it relies on, implemented over POSIX descriptors.
#ifndef TOLMARIX_WIN32_API_H
#define TOLMARIX_WIN32_API_H

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using HANDLE = void *;
using LPCSTR = const char *;
using LPVOID = void *;
using LPCVOID = const void *;
using LPDWORD = DWORD *;
using LPOVERLAPPED = struct OVERLAPPED *;
using LPSECURITY_ATTRIBUTES = struct SECURITY_ATTRIBUTES *;

constexpr DWORD GENERIC_READ = 0x80000000U;
constexpr DWORD GENERIC_WRITE = 0x40000000U;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002U;
constexpr DWORD OPEN_EXISTING = 3;

// The control codes of winioctl.h that take a volume from its file system.
constexpr DWORD FSCTL_LOCK_VOLUME = 0x00090018U;
constexpr DWORD FSCTL_UNLOCK_VOLUME = 0x0009001CU;
constexpr DWORD FSCTL_DISMOUNT_VOLUME = 0x00090020U;

// As on Windows, the invalid handle is the all-ones pointer, not null.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1))) // NOLINT

// Only OPEN_EXISTING is supported: nothing is ever created or truncated.
// The share mode is accepted and ignored, since POSIX has no mandatory
// sharing; the access rights and the must-exist rule are kept. As on
// Windows, a drive's name ("\\.\X:") never opens a whole disk that holds
// partitions.
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);

// Synchronous only: lpOverlapped must be null and the count's place given.
// Like ReadFile on a file, it stops short only at end of file.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped);

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped);

BOOL FlushFileBuffers(HANDLE hFile);

// Linux has no such request to make of a descriptor, so every control code
// fails, as a request the device does not support fails on Windows, and
// nothing reaches the kernel.
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
                     DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

BOOL CloseHandle(HANDLE hObject);

#endif
