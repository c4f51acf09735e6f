#include "console.h"

#include <cstdio>

void WriteOutput(const char *format, const char *text)
{
    // Terminals here take the bytes as they are, UTF-8 names included.
    std::printf(format, text); // NOLINT(cppcoreguidelines-pro-type-vararg)
}
