#include "sector_io.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PathCase {
    const char *name;
    std::string driveArgument;
    std::string path;
};

const PathCase PATH_CASES[] = {
    {"LowerCaseLetter", "a", "\\\\.\\A:"},
    {"UpperCaseLetter", "A", "\\\\.\\A:"},
    {"LetterWithColon", "a:", "\\\\.\\A:"},
    {"OnlyTheFirstCharacterCounts", "abc", "\\\\.\\A:"},
    {"LastLetter", "z", "\\\\.\\Z:"},
    {"DigitIsKept", "1", "\\\\.\\1:"},
    {"PunctuationJustBeforeLowerCaseIsKept", "`", "\\\\.\\`:"},
    {"PunctuationJustAfterLowerCaseIsKept", "{", "\\\\.\\{:"},
    {"NonAsciiByteIsKeptWhateverTheLocale", "\xE4", "\\\\.\\\xE4:"},
    {"EmptyArgumentLeavesThePrefixAlone", "", "\\\\.\\"},
};

void PrintTo(const PathCase &row, std::ostream *out)
{
    *out << row.name;
}

class VolumePath : public testing::TestWithParam<PathCase> {};

TEST_P(VolumePath, Text)
{
    // Like the run, take the first character, which is the terminator of an
    // empty argument.
    const ::VolumePath path = MakeVolumePath(GetParam().driveArgument.c_str()[0]);
    EXPECT_EQ(path.back(), '\0') << "the path is not terminated";
    EXPECT_STREQ(path.data(), GetParam().path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Drives, VolumePath, testing::ValuesIn(PATH_CASES),
                         [](const testing::TestParamInfo<PathCase> &row) { return row.param.name; });

} // namespace
