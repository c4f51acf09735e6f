#include "boot_sector.h"

void MergeBootSector(BootSector &image, const BootSector &volume)
{
    for (std::size_t i = 0; i < JUMP_BYTES.size(); ++i)
        image[i] = JUMP_BYTES[i];
    for (std::size_t i = BPB_FIRST; i <= BPB_LAST; ++i)
        image[i] = volume[i];
}
