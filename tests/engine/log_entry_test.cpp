#include "engine/log_entry.h"

#include <gtest/gtest.h>

#include "engine/serato_error.h"

namespace morrowdeck {
namespace {

TEST(LogEntry, FreshIdentityAndTime) {
    const auto before = std::chrono::system_clock::now();
    const LogEntry a(LogEntry::Level::warning, "same");
    const LogEntry b(LogEntry::Level::warning, "same");
    EXPECT_NE(a.id, b.id);
    EXPECT_GE(a.date, before);
    EXPECT_LE(a.date, b.date);
    EXPECT_EQ(levelName(a.level), "warning");
    EXPECT_EQ(levelName(LogEntry::Level::success), "success");
}

TEST(SeratoError, Descriptions) {
    EXPECT_STREQ(SeratoError::destinationUnwritable("/Volumes/USB/Backup").what(),
                 "The destination /Volumes/USB/Backup is not writable.");
    EXPECT_EQ(SeratoError::libraryNotFound("/home/dj/Music").description(),
              "No Serato library (_Serato_ folder) found at /home/dj/Music.");
    EXPECT_EQ(SeratoError::noCratesSelected().description(), "No crates are selected to back up.");
    EXPECT_EQ(SeratoError::noCratesSelected().code(), SeratoError::Code::noCratesSelected);
}

TEST(Uuid, TextForm) {
    const Uuid id = Uuid::random();
    const std::string text = id.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos);
}

}  // namespace
}  // namespace morrowdeck
