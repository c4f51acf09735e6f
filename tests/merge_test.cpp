// The new sector compared whole, byte for byte, with one built region by
// region from the two images it is made of.
#include "boot_sector.h"

#include <gtest/gtest.h>

namespace {

struct MergeCase {
    const char *name;
    unsigned bootSeed;      // 0: all zero; seeds 5 and 3 differ at 10, 11, 61 and 62
    std::size_t bootFilled; // bytes a short read put into the boot program image
    unsigned volumeSeed;    // 0: all zero
};

BootSector Pattern(unsigned seed, std::size_t filled)
{
    BootSector sector{};
    for (std::size_t i = 0; seed != 0 && i < filled; ++i)
        sector[i] = static_cast<unsigned char>((i * seed + seed) & 0xFFU);
    return sector;
}

const MergeCase MERGE_CASES[] = {
    {"WholeBootProgramOverWholeVolume", 5, 512, 3},
    {"BootProgramOf100BytesKeepsItsZeroTail", 5, 100, 3},
    {"BootProgramEndingInsideTheParameterBlock", 5, 40, 3},
    {"AllZeroVolumeGivesZeroParameterBlock", 5, 512, 0},
    {"AllZeroBootProgramGetsJumpAndParameterBlockOnly", 0, 0, 3},
};

void PrintTo(const MergeCase &row, std::ostream *out)
{
    *out << row.name;
}

class Merge : public testing::TestWithParam<MergeCase> {};

TEST_P(Merge, Sector)
{
    const MergeCase &c = GetParam();
    const BootSector bootProgram = Pattern(c.bootSeed, c.bootFilled);
    const BootSector volume = Pattern(c.volumeSeed, SECTOR_SIZE);

    BootSector expected{};
    expected[0] = 0xEB;
    expected[1] = 0x3C;
    expected[2] = 0x90;
    for (std::size_t i = 3; i <= 10; ++i)
        expected[i] = bootProgram[i];
    for (std::size_t i = 11; i <= 61; ++i)
        expected[i] = volume[i];
    for (std::size_t i = 62; i < 512; ++i)
        expected[i] = bootProgram[i];

    BootSector image = bootProgram;
    MergeBootSector(image, volume);

    for (std::size_t i = 0; i < SECTOR_SIZE; ++i) {
        EXPECT_EQ(image[i], expected[i]) << "offset " << i;
    }
    EXPECT_EQ(volume, Pattern(c.volumeSeed, SECTOR_SIZE)) << "the volume's image was changed";
}

INSTANTIATE_TEST_SUITE_P(Regions, Merge, testing::ValuesIn(MERGE_CASES),
                         [](const testing::TestParamInfo<MergeCase> &row) { return row.param.name; });

} // namespace
