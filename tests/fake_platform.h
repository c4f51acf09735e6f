// A fake of the Win32 file calls, linked in place of the platform layer, so
// tests can make any one call fail and see exactly how each file was opened.
#ifndef TOLMARIX_FAKE_PLATFORM_H
#define TOLMARIX_FAKE_PLATFORM_H

#include "byte_pattern.h"
#include "win32_api.h"

#include <string>
#include <vector>

enum class FakeCall { None, Open, Read, Write, Flush, Close, Lock, Dismount, Unlock };

// One planned fault: the first `call` made on `path` (by a handle opened with
// `access`, or any handle when 0) gives `result` and reports `bytes` moved.
struct FakeFault {
    FakeCall call = FakeCall::None;
    std::string path;
    DWORD access = 0;
    BOOL result = 0;
    DWORD bytes = 0;
};

// Forgets all files, opens and faults.
void FakeReset();
void FakeAddFile(const std::string &path, const Bytes &contents);
Bytes FakeFileContents(const std::string &path);
void FakePlanFault(const FakeFault &fault);
// Every open so far, one line each: the path, then the access, share mode,
// security attributes, creation disposition, flags and template.
std::vector<std::string> FakeOpens();
// What was asked of handles opened for writing, in order, one word each:
// lock, dismount, unlock, write, flush, close.
std::vector<std::string> FakeWriteHandleCalls();
// Handles opened and not yet closed.
int FakeOpenHandles();

#endif
