// Reading a backup folder back into crates: order, filters, links.
#include <gtest/gtest.h>

#include "restore/restore_engine.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<RestoreEngine::CrateEntry>;
using Names = std::vector<std::string>;

struct Scan {
    Entries entries;
    std::vector<fs::path> scrates;
    explicit Scan(const fs::path& root) { RestoreEngine::scan(root, root, entries, scrates); }

    std::vector<Names> components() const {
        std::vector<Names> out;
        for (const auto& entry : entries)
            out.push_back(entry.components);
        return out;
    }
    Names files(std::size_t index) const {
        Names out;
        for (const auto& file : entries.at(index).files)
            out.push_back(file.filename().native());
        return out;
    }
};

void touch(const fs::path& file) {
    test::writeFile(file, "x");
}

TEST(BackupScan, PostOrderEntriesWithAudioOnly) {
    test::TempDir dir;
    touch(dir / "House" / "a.mp3");
    touch(dir / "House" / "Deep" / "b.MP3");
    touch(dir / "House" / "Deep" / "c.txt");
    touch(dir / "song.mp3");                   // lying in the backup folder itself
    // "Group" holds only sub-folders; its child's files come in code-point order.
    fs::create_directories(dir / "Empty crate");
    touch(dir / "Odd" / "noextension");
    touch(dir / "Odd" / "protected.m4p");
    for (const char* name : {"B.mp3", "a.mp3", "Caf\xC3\xA9.wav", "10.ogg", "9.ogg"})
        touch(dir / "Group" / "Only" / name);
    const Scan scan(dir.path());

    auto components = scan.components();
    std::sort(components.begin(), components.end());
    EXPECT_EQ(components, (std::vector<Names>{{"Group", "Only"}, {"House"}, {"House", "Deep"}}));
    // Children before their parent, whatever the listing order of siblings.
    const auto position = [&](const Names& wanted) {
        const auto all = scan.components();
        return std::find(all.begin(), all.end(), wanted) - all.begin();
    };
    EXPECT_LT(position({"House", "Deep"}), position({"House"}));
    EXPECT_EQ(scan.files(static_cast<std::size_t>(position({"House", "Deep"}))), Names{"b.MP3"});
    EXPECT_EQ(scan.files(static_cast<std::size_t>(position({"Group", "Only"}))),
              (Names{"10.ogg", "9.ogg", "B.mp3", "Caf\xC3\xA9.wav", "a.mp3"}));
}

TEST(BackupScan, SmartCratesHiddenFoldersAndTheStore) {
    test::TempDir dir;
    touch(dir / "x.scrate");
    touch(dir / "Smart Crates" / "y.SCRATE");
    touch(dir / "Smart Crates" / "HOW TO RESTORE.txt");
    touch(dir / ".ORVEL_Store" / "Users" / "dj" / "a.mp3");
    touch(dir / ".morrowdeck" / "hidden.mp3");
    touch(dir / "ORVEL_Store" / "visible.mp3");
    touch(dir / "A" / ".ORVEL_Store" / "nested.mp3");
    const Scan scan(dir.path());

    Names scrates;
    for (const auto& file : scan.scrates)
        scrates.push_back(file.filename().native());
    std::sort(scrates.begin(), scrates.end());
    EXPECT_EQ(scrates, (Names{"x.scrate", "y.SCRATE"}));
    EXPECT_EQ(scan.components(), (std::vector<Names>{{"ORVEL_Store"}}));
}

TEST(BackupScan, SymbolicLinks) {
    test::TempDir dir;
    const auto backup = dir / "Backup";
    touch(backup / "AC" / "DC" / "t.mp3");
    fs::create_directory_symlink(backup, backup / "AC" / "loop");  // would recurse forever
    fs::create_directory_symlink(backup, dir / "Link to backup");
    fs::create_symlink(backup / "AC" / "DC" / "t.mp3", backup / "AC" / "linked.mp3");

    Entries entries;
    std::vector<fs::path> scrates;
    RestoreEngine::scan(dir / "Link to backup", dir / "Link to backup", entries, scrates);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].components, (Names{"AC", "DC"}));
    EXPECT_EQ(entries[1].components, Names{"AC"});  // a linked file still counts as a file

    const Scan missing(dir / "nowhere");
    EXPECT_TRUE(missing.entries.empty() && missing.scrates.empty());
}

}  // namespace
}  // namespace morrowdeck
