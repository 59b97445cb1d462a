// Which URIs of Serato's connection table name a local file this program may open.
#include "library/serato_connections.h"

#include <gtest/gtest.h>

namespace morrowdeck {
namespace {

TEST(SeratoConnections, OnlyLocalFilePathsAreFollowed) {
    const std::pair<const char*, const char*> cases[] = {
        {"/Volumes/DJ/_Serato_/Library/location.sqlite",
         "/Volumes/DJ/_Serato_/Library/location.sqlite"},
        {"file:///Volumes/My%20Drive/db.sqlite?mode=ro#x", "/Volumes/My Drive/db.sqlite"},
        {"file://localhost/a/b.sqlite", "/a/b.sqlite"},
        {"file:/a/b.sqlite", "/a/b.sqlite"},
        {"../../x", nullptr},
        {"x.sqlite", nullptr},
        {"file:../x", nullptr},
        {"/a/../../etc/passwd", nullptr},
        {"file:///a/%2E%2E/x", nullptr},
        {"file://evil.example/a.sqlite", nullptr},
        {"http://example.com/a.sqlite", nullptr},
        {"smb://server/share/a.sqlite", nullptr},
        {"file:///a%00b", nullptr},
        {"file:///a%zz", nullptr},
        {"", nullptr},
    };
    for (const auto& [uri, expected] : cases) {
        const auto path = SeratoConnections::localPath(uri);
        if (expected)
            EXPECT_EQ(path, std::filesystem::path(expected)) << uri;
        else
            EXPECT_FALSE(path) << uri;
    }
    // A drive is a root only where paths have drives (Windows); elsewhere it is a name.
    const bool drives = std::filesystem::path("C:/").is_absolute();
    EXPECT_EQ(SeratoConnections::localPath("file:///C:/Serato/db.sqlite"),
              std::filesystem::path(drives ? "C:/Serato/db.sqlite" : "/C:/Serato/db.sqlite"));
    EXPECT_EQ(SeratoConnections::localPath("C:/Serato/db.sqlite").has_value(), drives);
    EXPECT_FALSE(SeratoConnections::localPath("C:x.sqlite"));
}

}  // namespace
}  // namespace morrowdeck
