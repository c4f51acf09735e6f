#include "fake_platform.h"

#include "boot_sector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>

namespace {

struct OpenFile {
    std::string path;
    DWORD access = 0;
};

struct FakeState {
    std::map<std::string, Bytes> files;
    // Each handle is the address of its open file's record.
    std::map<HANDLE, std::unique_ptr<OpenFile>> handles;
    std::vector<std::string> opens;
    std::vector<std::string> writeHandleCalls;
    FakeFault fault;
};

FakeState &State()
{
    static FakeState state;
    return state;
}

// Takes the planned fault if this call matches it, so it fires once.
bool TakeFault(FakeCall call, const std::string &path, DWORD access, FakeFault &fault)
{
    FakeFault &planned = State().fault;
    if (planned.call != call || planned.path != path || (planned.access != 0 && planned.access != access))
        return false;
    fault = planned;
    planned.call = FakeCall::None;
    return true;
}

// Uncached raw volumes want buffers aligned to their sector size.
void ExpectAligned(LPCVOID buffer)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % SECTOR_ALIGNMENT, 0U) << "a transfer buffer is not aligned";
}

OpenFile *Find(HANDLE handle)
{
    auto found = State().handles.find(handle);
    return found == State().handles.end() ? nullptr : found->second.get();
}

// Takes note of a call on a handle opened for writing.
void Note(const OpenFile &file, const char *call)
{
    if ((file.access & GENERIC_WRITE) != 0)
        State().writeHandleCalls.emplace_back(call);
}

} // namespace

void FakeReset()
{
    State() = FakeState{};
}

void FakeAddFile(const std::string &path, const Bytes &contents)
{
    State().files[path] = contents;
}

Bytes FakeFileContents(const std::string &path)
{
    return State().files.at(path);
}

void FakePlanFault(const FakeFault &fault)
{
    State().fault = fault;
}

std::vector<std::string> FakeOpens()
{
    return State().opens;
}

std::vector<std::string> FakeWriteHandleCalls()
{
    return State().writeHandleCalls;
}

int FakeOpenHandles()
{
    return static_cast<int>(State().handles.size());
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile)
{
    const std::string path = lpFileName;
    std::ostringstream open;
    open << path << std::hex << std::showbase << " access=" << dwDesiredAccess << " share=" << dwShareMode
         << " security=" << (lpSecurityAttributes != nullptr ? "given" : "none")
         << " disposition=" << dwCreationDisposition << " flags=" << dwFlagsAndAttributes
         << " template=" << (hTemplateFile != nullptr ? "given" : "none");
    State().opens.push_back(open.str());
    FakeFault fault;
    if (State().files.count(path) == 0 || TakeFault(FakeCall::Open, path, dwDesiredAccess, fault))
        return INVALID_HANDLE_VALUE;
    auto file = std::make_unique<OpenFile>(OpenFile{path, dwDesiredAccess});
    HANDLE handle = file.get();
    State().handles[handle] = std::move(file);
    return handle;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED /*lpOverlapped*/)
{
    ExpectAligned(lpBuffer);
    OpenFile *file = Find(hFile);
    if (file == nullptr)
        return 0;
    const Bytes &contents = State().files[file->path];
    DWORD count = std::min(nNumberOfBytesToRead, static_cast<DWORD>(contents.size()));
    BOOL result = 1;
    FakeFault fault;
    if (TakeFault(FakeCall::Read, file->path, file->access, fault)) {
        count = std::min(count, fault.bytes);
        result = fault.result;
    }
    std::memcpy(lpBuffer, contents.data(), count);
    *lpNumberOfBytesRead = count;
    return result;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED /*lpOverlapped*/)
{
    ExpectAligned(lpBuffer);
    OpenFile *file = Find(hFile);
    if (file == nullptr)
        return 0;
    Note(*file, "write");
    DWORD count = nNumberOfBytesToWrite;
    BOOL result = 1;
    FakeFault fault;
    if (TakeFault(FakeCall::Write, file->path, file->access, fault)) {
        count = std::min(count, fault.bytes);
        result = fault.result;
    }
    Bytes &contents = State().files[file->path];
    contents.resize(std::max<std::size_t>(contents.size(), count));
    std::memcpy(contents.data(), lpBuffer, count);
    *lpNumberOfBytesWritten = count;
    return result;
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    OpenFile *file = Find(hFile);
    if (file == nullptr)
        return 0;
    Note(*file, "flush");
    FakeFault fault;
    return TakeFault(FakeCall::Flush, file->path, file->access, fault) ? fault.result : 1;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID /*lpInBuffer*/, DWORD /*nInBufferSize*/,
                     LPVOID /*lpOutBuffer*/, DWORD /*nOutBufferSize*/, LPDWORD lpBytesReturned,
                     LPOVERLAPPED /*lpOverlapped*/)
{
    *lpBytesReturned = 0;
    OpenFile *file = Find(hDevice);
    if (file == nullptr)
        return 0;
    FakeCall call = FakeCall::None;
    const char *word = "unknown control code";
    if (dwIoControlCode == FSCTL_LOCK_VOLUME) {
        call = FakeCall::Lock;
        word = "lock";
    } else if (dwIoControlCode == FSCTL_DISMOUNT_VOLUME) {
        call = FakeCall::Dismount;
        word = "dismount";
    } else if (dwIoControlCode == FSCTL_UNLOCK_VOLUME) {
        call = FakeCall::Unlock;
        word = "unlock";
    }
    Note(*file, word);
    if (call == FakeCall::None)
        return 0;
    FakeFault fault;
    return TakeFault(call, file->path, file->access, fault) ? fault.result : 1;
}

BOOL CloseHandle(HANDLE hObject)
{
    OpenFile *file = Find(hObject);
    if (file == nullptr)
        return 0;
    Note(*file, "close");
    FakeFault fault;
    const BOOL result = TakeFault(FakeCall::Close, file->path, file->access, fault) ? fault.result : 1;
    State().handles.erase(hObject);
    return result;
}
