#include "console.h"

#include "win32_api.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The console draws what it is given in UTF-16; narrow text would go through
// its output code page, which is seldom UTF-8, and a name would come out
// garbled. Gives false when the text could not be converted or written.
bool WriteToConsole(HANDLE console, const char *format, const char *text)
{
    const int length = std::snprintf(nullptr, 0, format, text); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (length <= 0)
        return length == 0;
    const auto size = static_cast<std::size_t>(length) + 1;
    auto *narrow = static_cast<char *>(std::malloc(size));
    auto *wide = static_cast<wchar_t *>(std::malloc(size * sizeof(wchar_t)));
    bool written = false;
    if (narrow != nullptr && wide != nullptr) {
        std::snprintf(narrow, size, format, text); // NOLINT(cppcoreguidelines-pro-type-vararg)
        // The arguments arrive in the process's ANSI code page, which the
        // manifest makes UTF-8; a UTF-8 sequence never needs more UTF-16
        // units than it has bytes.
        const int units = MultiByteToWideChar(CP_ACP, 0, narrow, length, wide, length);
        DWORD count = 0;
        written = units > 0 && WriteConsoleW(console, wide, static_cast<DWORD>(units), &count, nullptr) != 0;
    }
    std::free(wide);
    std::free(narrow);
    return written;
}

} // namespace

void StartOutput()
{
    // Nothing to set up: a console is written directly, and other output is
    // flushed after each progress message. Unbuffered, the C run-time would
    // write a file or a pipe one byte at a time.
}

void WriteOutput(const char *format, const char *text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Only a console has a console mode: files and pipes get the same bytes
    // as on any other platform.
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode) != 0 &&
        WriteToConsole(output, format, text))
        return;
    std::printf(format, text); // NOLINT(cppcoreguidelines-pro-type-vararg)
}
