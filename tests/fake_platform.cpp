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
    FakeFault fault;
    return TakeFault(FakeCall::Flush, file->path, file->access, fault) ? fault.result : 1;
}

BOOL CloseHandle(HANDLE hObject)
{
    OpenFile *file = Find(hObject);
    if (file == nullptr)
        return 0;
    FakeFault fault;
    const BOOL result = TakeFault(FakeCall::Close, file->path, file->access, fault) ? fault.result : 1;
    State().handles.erase(hObject);
    return result;
}
