#include "console.h"

#include <cstdarg>
#include <cstdio>

namespace {

// vprintf, not printf: the C library checks it under _FORTIFY_SOURCE with
// every compiler, while printf is checked only where the compiler can pass
// variable arguments on, which Clang cannot.
void Print(const char *format, ...) // NOLINT(cert-dcl50-cpp,cppcoreguidelines-pro-type-vararg)
{
    std::va_list arguments;
    va_start(arguments, format);     // NOLINT(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
    std::vprintf(format, arguments); // NOLINT(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
    va_end(arguments);               // NOLINT(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
}

} // namespace

void StartOutput()
{
    // Unbuffered: each message still goes out in one write, made when it is
    // printed, and the C library never has to allocate a buffer or ask what
    // standard output is.
    (void)std::setvbuf(stdout, nullptr, _IONBF, 0);
}

void WriteOutput(const char *format, const char *text)
{
    // Terminals here take the bytes as they are, UTF-8 names included.
    Print(format, text); // NOLINT(cppcoreguidelines-pro-type-vararg)
}
