#include <gtest/gtest.h>

#include <string>

#include "frame/lifecycle.h"

namespace scalarka {
namespace {

struct BaseNameCase {
    const char* path;
    const char* expected;
};

class BaseFileName : public ::testing::TestWithParam<BaseNameCase> {};

TEST_P(BaseFileName, TakesTextAfterLastBackslashThenAfterLastSlash) {
    const BaseNameCase& c = GetParam();
    const char* name = baseFileName(c.path);
    EXPECT_EQ(std::string(name), c.expected) << "path " << c.path;
    // The name is part of the path, not a copy.
    EXPECT_GE(name, c.path);
    EXPECT_LE(name, c.path + std::char_traits<char>::length(c.path));
}

INSTANTIATE_TEST_SUITE_P(Paths, BaseFileName,
                         ::testing::Values(BaseNameCase{"C:\\Program\\Wtyczki\\Scalarka.dll", "Scalarka.dll"},
                                           BaseNameCase{"C:\\Program\\sub/Scalarka.dll", "Scalarka.dll"},
                                           BaseNameCase{"C:/a\\b/c\\d/Scalarka.dll", "Scalarka.dll"},
                                           BaseNameCase{"/home/user/Scalarka.so", "Scalarka.so"},
                                           BaseNameCase{"Scalarka.dll", "Scalarka.dll"}, BaseNameCase{"C:\\dir\\", ""},
                                           BaseNameCase{"", ""}));

}  // namespace
}  // namespace scalarka
