// A fake of the Win32 file calls, linked in place of the platform layer, so
// tests can make any one call fail and see exactly how each file was opened.
#ifndef TOLMARIX_FAKE_PLATFORM_H
#define TOLMARIX_FAKE_PLATFORM_H

#include "win32_api.h"

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

enum class FakeCall { None, Open, Read, Write, Flush, Close };

// One planned fault: the first `call` made on `path` (by a handle opened with
// `access`, or any handle when 0) gives `result` and reports `bytes` moved.
struct FakeFault {
    FakeCall call = FakeCall::None;
    std::string path;
    DWORD access = 0;
    BOOL result = 0;
    DWORD bytes = 0;
};

struct FakeOpen {
    std::string path;
    DWORD access;
    DWORD shareMode;
    bool securityAttributes;
    DWORD disposition;
    DWORD flags;
    bool templateFile;
};

// Forgets all files, opens and faults.
void FakeReset();
void FakeAddFile(const std::string &path, const Bytes &contents);
Bytes FakeFileContents(const std::string &path);
void FakePlanFault(const FakeFault &fault);
std::vector<FakeOpen> FakeOpens();
// Handles opened and not yet closed.
int FakeOpenHandles();

#endif
