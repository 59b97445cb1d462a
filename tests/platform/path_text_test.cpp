#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/backend.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

// Names round-trip byte for byte, whether or not they are valid UTF-8: a name from a drive
// formatted elsewhere must be found again under exactly the bytes it was listed with.
TEST(PathText, NamesRoundTripByteForByteAndNameTheSameFile) {
    const std::string accented = "Caf\xC3\xA9 \xE2\x80\x94 Mix/01 Intro.mp3";  // valid UTF-8
    const std::string latin1 = "Caf\xE9 \xFF\x80.mp3";                         // not UTF-8
    for (const std::string& text : {accented, latin1, std::string()}) {
        // A Windows name is UTF-16, which bytes that are not UTF-8 cannot name.
        if (backend().name == "windows" && text == latin1) continue;
        EXPECT_EQ(toUtf8(toPath(text)), text);
#ifndef _WIN32
        EXPECT_EQ(toPath(text).native(), text);
#endif
    }
    EXPECT_EQ(toPath(accented).filename(), toPath("01 Intro.mp3"));
    if (backend().name == "windows") GTEST_SKIP() << "Windows names are UTF-16, never other bytes";

    test::TempDir dir;
    const std::filesystem::path file = dir.path() / toPath(latin1);
    const int error = writeFileAtomically(file, "x");
    if (error == EILSEQ) GTEST_SKIP() << "this file system refuses names that are not UTF-8";
    ASSERT_EQ(error, 0);
    const auto listed = listDirectory(dir.path());
    ASSERT_TRUE(listed);
    ASSERT_EQ(*listed, std::vector<std::string>{latin1});
    EXPECT_TRUE(isRegularFile(dir.path() / toPath(listed->front())));
    EXPECT_EQ(toUtf8(file.filename()), latin1);
}

// Text read from a backup names one entry of a folder, never a path that leaves it.
TEST(PathText, SingleNames) {
    for (const char* name : {"a.mp3", "AC\uFF1ADC", "..a", "a b", ".hidden"})
        EXPECT_TRUE(isSingleName(name)) << name;
    for (const char* name : {"", ".", "..", "a/b", "/"})
        EXPECT_FALSE(isSingleName(name)) << name;
    EXPECT_FALSE(isSingleName(std::string_view("a\0b", 3)));
    // Separators and drives on Windows; ordinary characters elsewhere.
    const bool windows = backend().name == "windows";
    for (const char* name : {"a\\..\\x", "C:x", "AC:DC"})
        EXPECT_EQ(isSingleName(name), !windows) << name;
}

}  // namespace
}  // namespace morrowdeck::platform
