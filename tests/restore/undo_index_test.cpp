// The undo record: what a run wrote survives a round trip and a run that died halfway, and a
// damaged or hostile record is refused rather than half-read.
#include "restore/undo_index.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Entry = UndoIndex::Entry;

UndoIndex sample() {
    UndoIndex index;
    index.id = UndoIndex::idFor(1'796'000'000'123'456'789);
    index.kind = UndoIndex::Kind::apply;
    index.startedNs = 1'796'000'000'123'456'789;
    index.entries.push_back({"/m/_Serato_/database V2", Entry::Kind::serato,
                             Entry::Action::replaced, "files/1",
                             UndoIndex::Content{10, 5, ContentHash{1, 2}},
                             UndoIndex::Content{12, 6, ContentHash{3, 4}}});
    index.entries.push_back({"/m/Audio/A/t \u00e9.mp3", Entry::Kind::audio, Entry::Action::created,
                             "", std::nullopt, UndoIndex::Content{7, 8, std::nullopt}});
    return index;
}

TEST(UndoIndex, RoundTripsAndJoinsTheJournal) {
    EXPECT_EQ(UndoIndex::idFor(1'796'000'000'123'456'789), "20261130T005320Z");
    test::TempDir dir;
    const UndoIndex index = sample();
    test::writeFile(dir.path() / "index.json", index.toJson());
    const auto read = UndoIndex::read(dir.path());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toJson(), index.toJson());
    EXPECT_EQ(read->savedBytes(), 10);

    // A later line for a listed path replaces it; a new path is added; a torn line is ignored.
    Entry done = index.entries[1];
    done.after->size = 99;
    Entry folder{"/m/Audio/A", Entry::Kind::folder, Entry::Action::created, "", {}, {}};
    test::writeFile(dir.path() / "journal.jsonl", UndoIndex::journalLine(done) + "\n" +
                                                      UndoIndex::journalLine(folder) + "\n" +
                                                      R"({"path":"/m/x","act)");
    const auto joined = UndoIndex::read(dir.path());
    ASSERT_TRUE(joined);
    ASSERT_EQ(joined->entries.size(), 3u);
    EXPECT_EQ(joined->find("/m/Audio/A/t \u00e9.mp3")->after->size, 99);
    EXPECT_EQ(joined->find("/m/Audio/A")->kind, Entry::Kind::folder);
}

TEST(UndoIndex, RefusesWhatIsNoRecord) {
    std::string good = sample().toJson();
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    for (const std::string& text :
         {std::string("[]"), std::string("not json"), with("files/1", "../../etc/passwd"),
          with("files/1", "/etc/passwd"), with("\"replaced\"", "\"moved\""),
          with("\"apply\"", "\"other\""), with("\"serato\"", "\"tape\""),
          std::string(100'000, '[')}) {
        EXPECT_FALSE(UndoIndex::parse(text)) << text.substr(0, 80);
    }
    test::TempDir dir;
    EXPECT_FALSE(UndoIndex::read(dir.path()));  // no index.json: not a run folder
}

}  // namespace
}  // namespace morrowdeck
