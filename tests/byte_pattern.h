// Test data: byte strings that differ from one seed to another at nearly
// every offset, so a byte taken from the wrong source shows.
#ifndef TOLMARIX_BYTE_PATTERN_H
#define TOLMARIX_BYTE_PATTERN_H

#include <cstddef>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes Pattern(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * seed + 1) & 0xFFU);
    return bytes;
}

#endif
