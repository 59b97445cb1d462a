// A restore's fresh "database V2": Serato's saved records reused, the rest read from tags,
// and the ratings staged for the apply step.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "library/serato_database.h"
#include "library/serato_library.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "restore_harness.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Bytes = SeratoDatabase::Bytes;
using test::runRestore;

Bytes savedRecord(const std::string& title) {
    Bytes record = SeratoDatabase::chunk("ttyp", text::encodeUtf16BE("mp3"));
    SeratoDatabase::appendChunk(record, "pfil", text::encodeUtf16BE("Users/old/Music/x.mp3"));
    SeratoDatabase::appendChunk(record, "tsng", text::encodeUtf16BE(title));
    SeratoDatabase::appendChunk(record, "zzzz", Bytes{1, 2, 3});  // unknown to us: must survive
    return record;
}

struct Rebuild {
    test::TempDir dir;
    fs::path backup = dir / "Backup";
    fs::path audio = dir / "Audio";
    fs::path root = dir / "Serato" / "_Serato_";
    std::string prefix = SeratoLibrary::volumeMountPrefix(dir.path());

    Rebuild() {
        test::writeFile(backup / "B" / "x.mp3", "not really audio");
        test::writeFile(backup / "a" / "x.mp3", "not really audio");
        test::writeFile(backup / "a" / "y.mp3", "nor this");
        test::writeFile(backup / ".morrowdeck" / "library.dbsnap",
                        SeratoDatabase::snapshot(
                            {{"B/x.mp3", savedRecord("B")}, {"a/x.mp3", savedRecord("A")}}));
    }
    std::string key(const std::string& relPath) const {
        return (audio / relPath).native().substr(prefix.size() + 1);
    }
    std::vector<SeratoDatabase::Record> database() const {
        const auto bytes = platform::readFile(root / "database V2");
        return bytes ? SeratoDatabase::records(*bytes) : std::vector<SeratoDatabase::Record>{};
    }
};

TEST(DatabaseRebuild, SavedRecordsFirstThenTags) {
    Rebuild r;
    fs::last_write_time(r.backup / "a" / "y.mp3",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 80));
    test::writeFile(r.backup / ".morrowdeck" / "serato.json",
                    R"({"assets": {"B/x.mp3": {"rating": 0.4}, "gone/z.mp3": {"color": 1}},
                        "smartCrates": [{"name": "Techno", "rules": "r"}]})");
    const auto run = runRestore(r.backup, r.audio, r.dir / "Serato");
    EXPECT_TRUE(
        run.logged("Found library snapshot \u2014 restoring full metadata for 2 track(s)."));
    EXPECT_TRUE(run.logged("Rebuilding Serato database\u2026"));
    EXPECT_TRUE(run.log.back().message.starts_with(
        "Restored 2 crate(s), 0 smart crate(s), 3 track record(s)."));

    // Code-point order of the paths: ".../B/x.mp3" before ".../a/...".
    const auto records = r.database();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].path, r.key("a/y.mp3"));
    EXPECT_EQ(records[0].record, SeratoDatabase::record(savedRecord("B"), r.key("B/x.mp3")));
    EXPECT_EQ(records[1].record, SeratoDatabase::record(savedRecord("A"), r.key("a/x.mp3")));

    // The record built from the file: path, type, added = restore time, mtime clamped at 0.
    std::map<std::string, Bytes> fields;
    SeratoDatabase::eachChunk(records[2].record,
                              [&](std::string_view tag, SeratoDatabase::ByteView payload) {
                                  fields.emplace(tag, Bytes(payload.begin(), payload.end()));
                              });
    EXPECT_EQ(fields["ttyp"], text::encodeUtf16BE("mp3"));
    EXPECT_EQ(fields["utme"], (Bytes{0, 0, 0, 0}));
    const auto added = SeratoDatabase::readU32(fields["uadd"]);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_LE(std::abs(static_cast<long long>(added) - now), 60);
    EXPECT_EQ(fields["ufsb"], (Bytes{0, 0, 0, 8}));  // "nor this"

    EXPECT_NE(test::readText(r.audio / "Morrowdeck \u2014 Restore Notes.txt")
                  .find("Your library was rebuilt"),
              std::string::npos);

    // Ratings are staged for the apply step under the restored paths.
    EXPECT_TRUE(run.logged(
        "Staged 1 rating/color record(s) and 1 rule(s) \u2014 finish with 'Apply to Serato'."));
    const auto json = nlohmann::json::parse(test::readText(r.root / ".morrowdeck" / "apply.json"));
    EXPECT_EQ(json["assets"], nlohmann::json({{r.key("B/x.mp3"), {{"rating", 0.4}}}}));
    EXPECT_EQ(json["smartCrates"].size(), 1u);
}

TEST(DatabaseRebuild, SavedCopyIsMadeOnceAndOptionOffTouchesNothing) {
    Rebuild r;
    test::writeFile(r.root / "database V2", "the user's own database");
    runRestore(r.backup, r.audio, r.dir / "Serato");
    runRestore(r.backup, r.audio, r.dir / "Serato");
    EXPECT_EQ(test::readText(r.root / "database V2 (replaced by Morrowdeck)"),
              "the user's own database");
    EXPECT_EQ(r.database().size(), 3u);

    Rebuild off;
    test::writeFile(off.root / "database V2", "keep");
    const auto run = runRestore(off.backup, off.audio, off.dir / "Serato", {true, false});
    EXPECT_TRUE(
        run.logged("Found library snapshot \u2014 restoring full metadata for 2 track(s)."));
    EXPECT_TRUE(run.log.back().message.starts_with(
        "Restored 2 crate(s), 0 smart crate(s), 0 track record(s)."));
    EXPECT_EQ(test::readText(off.root / "database V2"), "keep");
    EXPECT_FALSE(fs::exists(off.root / "database V2 (replaced by Morrowdeck)"));
}

}  // namespace
}  // namespace morrowdeck
