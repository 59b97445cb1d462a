// Real Serato libraries through `backup` and `restore` of the built CLI, in every backup mode:
// the restored library must be the original one with only its track paths changed. Each
// track is a small stand-in file whose content names the path the original library stores
// for it, so a restored file traces back to its original whatever the restore called it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "engine/backup_layout.h"
#include "library/crate_order.h"
#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/backend.h"
#include "restore/undo_index.h"
#include "run_cli.h"
#include "support/fake_proc.h"
#include "support/fixtures.h"
#include "support/mount_guard.h"
#include "support/master_database_fixture.h"
#include "support/serato_sqlite.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;
using Problems = std::vector<std::string>;

constexpr std::string_view standInTag = "stand-in for ";

struct FixtureLibrary {
    const char* name;
    const char* fixture;  // a _Serato_ folder, or one crate file
};
constexpr FixtureLibrary libraries[] = {
    {"macos", "macos-library/_Serato_"},
    {"usb", "usb-drive/_Serato_"},
    {"singleCrate", "single-crate/Serato Demo Tracks.crate"},
};

// The stored path a stand-in file was made for, or a marker that cannot equal one.
std::string trace(const fs::path& file) {
    if (!fs::is_regular_file(file)) return "<no file " + file.native() + ">";
    const auto bytes = readBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    if (!text.starts_with(standInTag)) return "<not a stand-in " + file.native() + ">";
    return text.substr(standInTag.size());
}

// The stored path of the original track a restored stored path's file was copied from.
std::string traceStored(const std::string& stored, const std::string& prefix) {
    return trace(CrateParser::absolutePath(stored, prefix));
}

// Fails with the first few problems and how many there were.
testing::AssertionResult none(const Problems& problems) {
    if (problems.empty()) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure() << problems.size() << " difference(s):";
    for (std::size_t i = 0; i < problems.size() && i < 4; ++i)
        failure << "\n  " << problems[i].substr(0, 300);
    return failure;
}

std::vector<fs::path> crateFiles(const fs::path& serato) {
    std::vector<fs::path> files;
    for (const char* folder : {"Subcrates", "SmartCrates"})
        if (fs::is_directory(serato / folder))
            for (const auto& entry : fs::directory_iterator(serato / folder))
                files.push_back(fs::relative(entry.path(), serato));
    std::sort(files.begin(), files.end());
    return files;
}

// The records of a database V2 file, each with its "pfil" chunks reduced to one.
std::vector<SeratoDatabase::Record> databaseRecords(const fs::path& database) {
    if (!fs::exists(database)) return {};
    auto records = SeratoDatabase::records(readBytes(database));
    for (auto& record : records)
        record.record = SeratoDatabase::record(record.record, record.path);
    return records;
}

// Where two records first differ: the tags of the first differing chunk, or the chunk counts.
std::string firstDifferentField(const Bytes& a, const Bytes& b) {
    std::vector<std::pair<std::string, Bytes>> fields[2];
    for (int i = 0; i < 2; ++i)
        SeratoDatabase::eachChunk(i == 0 ? a : b, [&](std::string_view tag, auto payload) {
            fields[i].emplace_back(std::string(tag), Bytes(payload.begin(), payload.end()));
        });
    for (std::size_t i = 0; i < fields[0].size() && i < fields[1].size(); ++i)
        if (fields[0][i] != fields[1][i])
            return "field " + std::to_string(i) + ": " + fields[0][i].first +
                   (fields[0][i].first == fields[1][i].first ? " has another value"
                                                             : " became " + fields[1][i].first);
    return std::to_string(fields[0].size()) + " fields became " + std::to_string(fields[1].size());
}

// The `crates --json` documents' differences as the steps that turn one into the other.
Problems crateDifferences(const Json& before, const Json& after) {
    const auto brief = [](const Json& value) {
        return value.contains("name") ? "crate " + value["name"].dump()
                                      : value.dump().substr(0, 150);
    };
    Problems problems;
    for (const auto& operation : Json::diff(before, after)) {
        const auto path = operation["path"].get<std::string>();
        const auto& op = operation["op"];
        const std::string was =
            op == "add" ? "nothing" : brief(before.at(Json::json_pointer(path)));
        problems.push_back(path + ": " + was + " became " +
                           (op == "remove" ? "nothing" : brief(operation["value"])));
    }
    return problems;
}

class FixtureRoundTrip : public testing::TestWithParam<std::tuple<int, bool, bool>> {
  protected:
    void SetUp() override {
        mount_ = std::make_unique<TmpfsMount>(volume, "size=512m");
        if (!mount_->ok()) GTEST_SKIP() << "mounting a tmpfs needs root, as in CI";
        prefix = SeratoLibrary::volumeMountPrefix(volume);
        ASSERT_EQ(prefix, volume.native());
        const auto& library = libraries[std::get<0>(GetParam())];
        if (fs::path(library.fixture).extension() == ".crate")
            copyFixture(library.fixture, original / "Subcrates");
        else
            fs::copy(fixturesRoot() / library.fixture, original, fs::copy_options::recursive);

        for (const auto& file : crateFiles(original))
            for (auto& path : CrateParser::storedPaths(readBytes(original / file)))
                tracks.insert(std::move(path));
        for (auto& [path, record] : databaseRecords(original / "database V2")) {
            tracks.insert(path);
            originalRecords.emplace(path, std::move(record));
        }
        for (const auto& path : tracks) {
            const fs::path file = CrateParser::absolutePath(path, prefix);
            const auto relative = file.lexically_normal().lexically_relative(volume);
            if (relative.empty() || *relative.begin() == "..") continue;  // never outside
            writeFile(file, std::string(standInTag) + path);
        }
    }

    // The `crates --json` document with the library's own paths left out and every track
    // replaced by the stored path its file traces back to.
    Json tracedCrates(const fs::path& serato) {
        const auto result = runCli({"crates", "--library", serato, "--json"});
        EXPECT_EQ(result.status, 0) << result.err;
        Json doc = Json::parse(result.out, nullptr, false);
        if (doc.is_discarded()) return result.out;
        doc["library"] = nullptr;
        const auto normalise = [](auto& self, Json& crates) -> void {
            for (auto& crate : crates) {
                crate["crateFile"] = nullptr;
                for (auto& track : crate["tracks"])
                    track = trace(track.get<std::string>());
                self(self, crate["children"]);
            }
        };
        normalise(normalise, doc["crates"]);
        return doc;
    }

    std::string traceStored(const std::string& stored) const {
        return test::traceStored(stored, prefix);
    }

    // Every crate and smart-crate file byte for byte once its track paths are traced back.
    Problems crateFileDifferences() const {
        Problems problems;
        const auto files = crateFiles(original), restoredFiles = crateFiles(restored);
        for (const auto& [from, to, what] : {std::tuple(&files, &restoredFiles, "missing "),
                                             std::tuple(&restoredFiles, &files, "extra ")})
            for (const auto& file : *from)
                if (!std::binary_search(to->begin(), to->end(), file))
                    problems.push_back(what + file.native());
        for (const auto& file : files) {
            if (!fs::exists(restored / file)) continue;
            const auto expected = readBytes(original / file);
            const auto traced = CrateWriter::rewriteTrackPaths(
                readBytes(restored / file),
                [&](const std::string& stored) { return std::optional(traceStored(stored)); });
            if (traced == expected) continue;
            const auto at =
                std::mismatch(expected.begin(), expected.end(), traced.begin(), traced.end());
            problems.push_back(file.native() + ": " + std::to_string(expected.size()) +
                               " bytes became " + std::to_string(traced.size()) +
                               ", first difference at byte " +
                               std::to_string(at.first - expected.begin()));
        }
        return problems;
    }

    // One record per track; a track the library had a record for gets that record back.
    Problems recordDifferences() const {
        Problems problems;
        std::set<std::string> recorded;
        for (const auto& [path, record] : databaseRecords(restored / "database V2")) {
            const auto from = traceStored(path);
            if (!recorded.insert(from).second)
                problems.push_back("a second record for " + from);
            else if (!tracks.contains(from))
                problems.push_back("a record for no track: " + from);
            const auto old = originalRecords.find(from);
            const auto traced = SeratoDatabase::record(record, from);
            if (old != originalRecords.end() && traced != old->second)
                problems.push_back("record of " + from + ", " +
                                   firstDifferentField(old->second, traced));
        }
        for (const auto& track : tracks)
            if (!recorded.contains(track)) problems.push_back("no record for " + track);
        return problems;
    }

    CliResult backup(const std::vector<std::string>& options) {
        std::vector<std::string> arguments{"backup", "--library", original,
                                           "--to",   store,       "--json"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runCli(arguments);
    }

    TempDir dir;
    const ScopedHome home{dir / "home"};  // no Serato database of whoever runs the test
    const fs::path volume = dir / "volume", original = volume / "_Serato_";
    const fs::path store = volume / "backup", restored = volume / "restored" / "_Serato_";
    std::string prefix;
    std::set<std::string> tracks;  // every stored track path of the library
    std::map<std::string, Bytes> originalRecords;

  private:
    std::unique_ptr<TmpfsMount> mount_;  // unmounted before dir is removed
};

TEST_P(FixtureRoundTrip, BackupAndRestoreGiveBackTheSameLibrary) {
    std::vector<std::string> options;
    if (std::get<1>(GetParam())) options.push_back("--dedup");
    if (std::get<2>(GetParam())) options.push_back("--smart-as-folders");
    const auto backedUp = backup(options);
    EXPECT_EQ(backedUp.status, 0) << backedUp.out.substr(0, 2000) << backedUp.err;
    const auto restoring =
        runCli({"restore", "--from", store, "--audio-to",
                volume / "restored" / "Music" / "Restored", "--serato", restored, "--json"});
    EXPECT_EQ(restoring.status, 0) << restoring.out.substr(0, 2000) << restoring.err;

    // Every crate, smart and empty ones too, with its tracks in order.
    EXPECT_TRUE(none(crateDifferences(tracedCrates(original), tracedCrates(restored))));
    EXPECT_TRUE(none(crateFileDifferences()));
    EXPECT_TRUE(none(recordDifferences()));
    if (fs::exists(original / "neworder.pref")) {  // the crate order, where the library has one
        const bool exists = fs::exists(restored / "neworder.pref");
        EXPECT_TRUE(exists &&
                    readBytes(restored / "neworder.pref") == readBytes(original / "neworder.pref"))
            << "neworder.pref " << (exists ? "differs" : "is missing");
    }

    // A second run finds every file of the first one up to date.
    const auto again = backup(options);
    EXPECT_EQ(again.status, 0) << again.out.substr(0, 2000) << again.err;
    const Json rerun = Json::parse(again.out, nullptr, false);
    ASSERT_FALSE(rerun.is_discarded()) << again.out.substr(0, 2000);
    for (const char* counter : {"copiedFiles", "linkedFiles", "failedFiles", "missingFiles"})
        EXPECT_EQ(rerun["snapshot"][counter], 0) << counter << " on the second backup";
}

INSTANTIATE_TEST_SUITE_P(Libraries, FixtureRoundTrip,
                         testing::Combine(testing::Range(0, static_cast<int>(std::size(libraries))),
                                          testing::Bool(), testing::Bool()),
                         [](const auto& test) {
                             return std::string(libraries[std::get<0>(test.param)].name) +
                                    (std::get<1>(test.param) ? "_dedup" : "_copies") +
                                    (std::get<2>(test.param) ? "_smartAsFolders" : "_smartAsRules");
                         });

// What real libraries hold beyond the fixtures, backed up and restored into a library that
// already has tracks and crates of its own.
TEST(HostileLibrary, EveryTrackAndCrateComesBackBesideTheExistingLibrary) {
    TempDir dir;
    const ScopedHome home{dir / "home"};
    const fs::path library = dir / "lib" / "_Serato_", target = dir / "new" / "_Serato_";
    const std::string prefix = SeratoLibrary::volumeMountPrefix(dir.path());
    const auto stored = [&](const std::string& name) {
        return (dir / "lib" / name).native().substr(prefix.size() + 1);
    };
    const std::string cafe = "Caf\xC3\xA9", cafeNfd = "Cafe\xCC\x81";
    const std::string nee =
        "N\xC3\xA9"
        "e.mp3";
    for (const auto& name : std::vector<std::string>{"Trap/X.mp3", "Trap/Otros/X.mp3", "a.mp3",
                                                     "b.mp3", "c.mp3", "d.mp3", "e.mp3", nee})
        writeFile(dir / "lib" / name, std::string(standInTag) + name);
    const auto crate = [&](const std::string& file, const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const auto& name : names)
            paths.push_back(stored(name));
        writeFile(library / file, CrateWriter::crateData(paths));
    };
    // Same file names in one crate, a track stored decomposed whose file is precomposed, one
    // crate name in both normalisation forms, a real crate named like the entry for tracks in
    // no crate, a smart crate named "...", and a track that only the database lists.
    crate("Subcrates/Trap.crate", {"Trap/X.mp3", "Trap/Otros/X.mp3",
                                   "Ne\xCC\x81"
                                   "e.mp3"});
    crate("Subcrates/" + cafe + ".crate", {"a.mp3"});
    crate("Subcrates/" + cafeNfd + ".crate", {"b.mp3"});
    crate("Subcrates/Not in a crate.crate", {"d.mp3"});
    crate("SmartCrates/....scrate", {"c.mp3"});
    writeFile(library / "database V2",
              SeratoDatabase::data({SeratoDatabase::record({}, stored("e.mp3"))}));
    // The target library's own track and crate.
    writeFile(target / "database V2",
              SeratoDatabase::data({SeratoDatabase::record({}, "mine.mp3")}));
    writeFile(target / "Subcrates" / "Mine.crate", "mine");
    writeFile(target / "neworder.pref", CrateOrder::data({"Mine"}));

    const fs::path backup = dir / "backup";
    ASSERT_EQ(runCli({"backup", "--library", library, "--to", backup}).status, 0);
    // The audio folder is reached through a link: restored paths name the real folder.
    fs::create_directories(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    const auto restored =
        runCli({"restore", "--from", backup, "--audio-to", dir / "link", "--serato", target});
    ASSERT_EQ(restored.status, 0) << restored.out << restored.err;

    std::map<std::string, std::vector<std::string>> crates;
    const auto collect = [&](auto& self, const std::vector<Crate::Ptr>& forest) -> void {
        for (const auto& c : forest) {
            for (const auto& track : c->tracks) {
                EXPECT_TRUE(track.starts_with((dir / "real").native())) << track;
                crates[BackupLayout::joinComponents(c->components)].push_back(trace(track));
            }
            self(self, c->children);
        }
    };
    collect(collect, SeratoLibrary::loadCrates(target));
    using Names = std::vector<std::string>;
    EXPECT_EQ(crates,
              (std::map<std::string, Names>{{"Trap", {"Trap/X.mp3", "Trap/Otros/X.mp3", nee}},
                                            {cafeNfd, {"b.mp3", "a.mp3"}},
                                            {"Not in a crate", {"d.mp3"}},
                                            {"Smart Crates/...", {"c.mp3"}}}));
    EXPECT_EQ(readBytes(target / "Subcrates" / "Mine.crate"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(CrateOrder::parse(readBytes(target / "neworder.pref")),
              (Names{"...", cafeNfd, "Not in a crate", "Trap", "Mine"}));
    // One record per track, the target's own one kept first.
    Names records;
    for (const auto& record : SeratoDatabase::records(readBytes(target / "database V2")))
        records.push_back(record.path == "mine.mp3" ? "mine" : traceStored(record.path, prefix));
    std::sort(records.begin() + 1, records.end());
    EXPECT_EQ(records, (Names{"mine", nee, "Trap/Otros/X.mp3", "Trap/X.mp3", "a.mp3", "b.mp3",
                              "c.mp3", "d.mp3", "e.mp3"}));
}

// Crates that live in Serato's database come back as crate files in the database's order; a
// crate whose file lists other tracks keeps its file as it was in the backup and comes back
// with the database's list and the file's own chunks; the database's columns of each track
// reach the staged file; a later backup of one crate keeps the database crate in the catalog.
TEST(DatabaseRoundTrip, DatabaseCratesComeBackAsCrateFilesInTheirOrder) {
    TempDir dir;
    const ScopedHome home{dir / "home"};
    const fs::path library = dir / "lib" / "_Serato_", target = dir / "new" / "_Serato_";
    const fs::path backup = dir / "backup", metadata = backup / ".morrowdeck";
    const std::string prefix = SeratoLibrary::volumeMountPrefix(dir.path());
    const auto stored = [&](const std::string& name) {
        return (dir / "lib" / name).native().substr(prefix.size() + 1);
    };
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        writeFile(dir / "lib" / name, std::string(standInTag) + name);
    // The file of "Mix" lists a.mp3 only, after its sort chunk, with a chunk after the list.
    Bytes mixFile = CrateWriter::crateData({});
    CrateWriter::append(mixFile, "osrt", Bytes{1, 2, 3});
    mixFile = CrateWriter::appendTracks(mixFile, {stored("a.mp3")});
    CrateWriter::append(mixFile, "zzzz", Bytes{4});
    writeFile(library / "Subcrates" / "Mix.crate", mixFile);
    {
        MasterDatabaseFixture db(SeratoFolder::masterDatabase());
        const auto volume = db.addVolume(prefix.empty() ? "/" : prefix);
        const auto a = db.addAsset(volume, stored("a.mp3"), {{"comments", "'Peak'"}});
        const auto b = db.addAsset(volume, stored("b.mp3"));
        const auto c = db.addAsset(volume, stored("c.mp3"));
        const auto friday = db.addCrate("Friday", db.addCrate("Sets"));
        db.addEntry(friday, c, 1), db.addEntry(friday, a, 2), db.addEntry(friday, b, 3);
        const auto mix = db.addCrate("Mix");
        db.addEntry(mix, b, 1), db.addEntry(mix, a, 2);
    }

    const auto backedUp = runCli({"backup", "--library", library, "--to", backup});
    ASSERT_EQ(backedUp.status, 0) << backedUp.out << backedUp.err;
    EXPECT_EQ(readBytes(metadata / BackupLayout::crateFileVersionsFolder / "Mix.crate"), mixFile);
    // The saved copy's inspect still names "Mix", although Subcrates now holds its new list.
    const auto inspected = runCli({"inspect", metadata / "master.sqlite", "--json"});
    EXPECT_EQ(nlohmann::json::parse(inspected.out)["differingCrates"]["crates"],
              nlohmann::json::array({"Mix"}))
        << inspected.out << inspected.err;
    const auto restored = runCli(
        {"restore", "--from", backup, "--audio-to", dir / "restored", "--serato", target});
    ASSERT_EQ(restored.status, 0) << restored.out << restored.err;

    const auto traced = [&](const fs::path& file) {
        return CrateWriter::rewriteTrackPaths(readBytes(file), [&](const std::string& path) {
            return std::optional(traceStored(path, prefix));
        });
    };
    EXPECT_EQ(traced(target / "Subcrates" / "Sets%%Friday.crate"),
              CrateWriter::crateData({"c.mp3", "a.mp3", "b.mp3"}));
    EXPECT_EQ(traced(target / "Subcrates" / "Mix.crate"),
              CrateWriter::replaceTracks(mixFile, {"b.mp3", "a.mp3"}));
    const auto staged = Json::parse(readBytes(target / ".morrowdeck" / "apply.json"));
    std::map<std::string, std::string> comments;
    for (const auto& [path, asset] : staged["assets"].items())
        comments[traceStored(path, prefix)] = asset["fields"].value("comments", "");
    EXPECT_EQ(comments, (std::map<std::string, std::string>{
                            {"a.mp3", "Peak"}, {"b.mp3", ""}, {"c.mp3", ""}}));

    // A backup of "Mix" alone keeps the database crate an earlier run backed up.
    ASSERT_EQ(runCli({"backup", "--library", library, "--to", backup, "--crate", "Mix"}).status, 0);
    const auto catalog = Json::parse(readBytes(metadata / BackupLayout::catalogFileName));
    EXPECT_NE(catalog.dump().find("Sets/Friday"), std::string::npos) << catalog.dump();
}

// Every file below a folder with its bytes, and every folder, leaving out the undo records.
std::map<std::string, std::string> filesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (it->path().filename() == UndoIndex::folderName) {
            it.disable_recursion_pending();
            continue;
        }
        const auto bytes = it->is_regular_file() ? readBytes(it->path()) : Bytes{};
        files[it->path().lexically_relative(root)] =
            it->is_directory() ? "<folder>" : std::string(bytes.begin(), bytes.end());
    }
    return files;
}

std::vector<std::string> runIds(const fs::path& serato) {
    const auto list = runCli({"undo", "--serato", serato, "--list", "--json"});
    EXPECT_EQ(list.status, 0) << list.err;
    std::vector<std::string> ids;
    const auto doc = Json::parse(list.out);
    for (const auto& run : doc["runs"])
        ids.push_back(run["id"]);
    return ids;
}

std::vector<fs::path> filesWithExtension(const fs::path& root, const std::string& extension) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A demo library restored into a new folder, into a library of the DJ's own that already has
// crates, records, a crate order, smart crates and audio (some the same as the backup's, some
// not), and again from a later backup: each undo, newest first, gives back the folders exactly
// as they were, byte for byte, and undoing the older run first is refused.
TEST(UndoRoundTrip, RestoresAreUndoneNewestFirstToTheByte) {
    TempDir dir;
    const ScopedHome home{dir / "home"};
    const fs::path demo = dir / "demo" / "_Serato_";
    ASSERT_EQ(runCli({dir / "demo", "--tracks", "12"}, MORROWDECK_DEMO_LIBRARY).status, 0);
    ASSERT_EQ(runCli({"backup", "--library", demo, "--to", dir / "b1"}).status, 0);
    const auto restore = [&](const fs::path& backup, const fs::path& into) {
        const auto result = runCli({"restore", "--from", backup, "--audio-to", into / "audio",
                                    "--serato", into / "_Serato_"});
        EXPECT_EQ(result.status, 0) << result.out << result.err;
    };
    const auto undo = [&](const fs::path& serato, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> arguments{"undo", "--serato", serato};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return runCli(arguments);
    };

    // Into a new folder: the undo leaves only its own records.
    const fs::path fresh = dir / "fresh";
    restore(dir / "b1", fresh);
    const auto restoredState = filesBelow(fresh);
    ASSERT_GT(filesWithExtension(fresh / "audio", ".wav").size(), 3u);

    // The DJ's library: what that restore gave, then changed the DJ's own way.
    const fs::path dj = dir / "dj", serato = dj / "_Serato_";
    fs::copy(fresh, dj, fs::copy_options::recursive);
    fs::remove_all(serato / UndoIndex::folderName);
    const auto undone = undo(fresh / "_Serato_");
    EXPECT_EQ(undone.status, 0) << undone.out << undone.err;
    EXPECT_EQ(filesBelow(fresh), (std::map<std::string, std::string>{{"_Serato_", "<folder>"}}));

    writeFile(serato / "neworder.pref", CrateOrder::data({"Mine"}));
    writeFile(serato / "Subcrates" / "Mine.crate", CrateWriter::crateData({"Music/mine.wav"}));
    const auto crates = filesWithExtension(serato / "Subcrates", ".crate");
    writeFile(crates.front(), CrateWriter::crateData({"Music/mine.wav"}));
    const auto smart = filesWithExtension(serato / "SmartCrates", ".scrate");
    ASSERT_FALSE(smart.empty());
    writeFile(smart.front(), CrateWriter::crateData({}));
    auto records = SeratoDatabase::records(readBytes(serato / "database V2"));
    std::vector<Bytes> kept{SeratoDatabase::record({}, "Music/mine.wav")};
    for (std::size_t i = 1; i < records.size(); ++i) kept.push_back(records[i].record);
    writeFile(serato / "database V2", SeratoDatabase::data(kept));
    const auto audio = filesWithExtension(dj / "audio", ".wav");
    auto changed = readBytes(audio[0]);
    changed.back() ^= 0xFF;  // the same size, other bytes
    writeFile(audio[0], changed);
    writeFile(audio[1], "shorter");
    fs::remove(audio[2]);
    writeFile(dj / "audio" / "mine.wav", "the DJ's own");
    const auto before = filesBelow(dj);
    ASSERT_NE(before, restoredState);

    restore(dir / "b1", dj);
    const auto afterFirst = filesBelow(dj);
    ASSERT_NE(afterFirst, before);

    // A later backup with a changed track and a new crate, restored over the first run.
    const auto tracks = filesWithExtension(dir / "demo", ".wav");
    writeFile(tracks.front(), "changed since the first backup");
    fs::copy_file(filesWithExtension(demo / "Subcrates", ".crate").back(),
                  demo / "Subcrates" / "Extra.crate");
    ASSERT_EQ(runCli({"backup", "--library", demo, "--to", dir / "b2"}).status, 0);
    restore(dir / "b2", dj);
    ASSERT_NE(filesBelow(dj), afterFirst);

    const auto ids = runIds(serato);
    ASSERT_EQ(ids.size(), 2u);
    const auto older = undo(serato, {"--run", ids[0]});
    EXPECT_EQ(older.status, 2);
    EXPECT_NE(older.err.find("Undo run " + ids[1] + " first"), std::string::npos) << older.err;
    EXPECT_EQ(undo(serato).status, 0);
    EXPECT_EQ(filesBelow(dj), afterFirst);
    const auto last = undo(serato);
    EXPECT_EQ(last.status, 0) << last.out << last.err;
    EXPECT_EQ(filesBelow(dj), before);
}

// Ratings and smart-crate rules a restore staged, written by `apply` into a master.sqlite in
// WAL mode and undone: every row comes back, also while another connection keeps the -wal
// file and checkpoints it later. A running Serato refuses both with the same line.
TEST(UndoRoundTrip, AnApplyIsUndoneRowForRow) {
    TempDir dir;
    const ScopedHome home{dir / "home"};
    const fs::path demo = dir / "demo" / "_Serato_", serato = dir / "t" / "_Serato_";
    ASSERT_EQ(runCli({dir / "demo", "--tracks", "6"}, MORROWDECK_DEMO_LIBRARY).status, 0);
    {
        SeratoSqlite db(dir / "home/Library/Application Support/Serato/Library/master.sqlite",
                        SeratoSqlite::Schema::serato);
        for (const auto& record : SeratoDatabase::records(readBytes(demo / "database V2")))
            db.addAsset(record.path, "0.8", "16711680", "124.0", "7");
        db.addSmartCrate(10, "Techno", "new rules");
    }
    ASSERT_EQ(runCli({"backup", "--library", demo, "--to", dir / "b"}).status, 0);
    ASSERT_EQ(runCli({"restore", "--from", dir / "b", "--audio-to", dir / "t" / "audio",
                      "--serato", serato})
                  .status,
              0);
    const auto staged = Json::parse(readBytes(serato / ".morrowdeck" / "apply.json"));
    ASSERT_FALSE(staged["assets"].empty());

    const fs::path master = dir / "t" / "master.sqlite";
    const auto rows = [&](SeratoSqlite& db) {
        return db.scalar("SELECT group_concat(quote(portable_id) || quote(rating) || "
                         "quote(color) || quote(dj_play_count), ';') FROM "
                         "(SELECT * FROM asset ORDER BY id)")
                   .value_or("") +
               "|" +
               db.scalar("SELECT group_concat(container_id || quote(rules), ';') FROM "
                         "(SELECT * FROM smart_crate_rules ORDER BY container_id)")
                   .value_or("");
    };
    const fs::path proc = fakeProc(dir / "proc", {{"bash", "/bin/bash"}});
    const fs::path seratoRunning = fakeProc(dir / "running", {{"Serato DJ Pro", "/opt/x"}});
    for (const bool readerStaysOpen : {false, true}) {
        SCOPED_TRACE(readerStaysOpen ? "a reader open throughout" : "a reader open during apply");
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(master.native() + suffix);
        auto reader = std::make_unique<SeratoSqlite>(master, SeratoSqlite::Schema::serato);
        reader->exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
        for (const auto& [path, values] : staged["assets"].items())
            reader->addAsset(path, "NULL", "NULL", "NULL", "1");
        reader->addSmartCrate(3, "Techno", "old rules");
        const auto original = rows(*reader);

        const std::vector<std::string> apply{"apply", "--serato", serato, "--database", master};
        // While Serato runs (on a backend that can tell) apply and undo change nothing.
        const bool listsProcesses = platform::backend().listsProcesses;
        auto running = apply;
        running.insert(running.end(), {"--process-table", seratoRunning});
        if (listsProcesses) {
            const auto refusedApply = runCli(running);
            EXPECT_EQ(refusedApply.status, 1);
            EXPECT_EQ(refusedApply.out, "Quit Serato completely first, then try again.\n");
        }

        auto applying = apply;
        applying.insert(applying.end(), {"--process-table", proc});
        const auto applied = runCli(applying);
        ASSERT_EQ(applied.status, 0) << applied.out << applied.err;
        const auto written = rows(*reader);
        EXPECT_NE(written, original);
        ASSERT_TRUE(fs::exists(master.native() + "-wal"));
        if (!readerStaysOpen) reader.reset();  // its close checkpoints the apply's pages

        SeratoSqlite check(master, SeratoSqlite::Schema::existing);
        if (listsProcesses) {
            const auto refusedUndo =
                runCli({"undo", "--serato", serato, "--process-table", seratoRunning});
            EXPECT_EQ(refusedUndo.status, 2);
            EXPECT_EQ(refusedUndo.err, "Quit Serato completely first, then try again.\n");
            EXPECT_EQ(rows(check), written);
        }

        const auto undone = runCli({"undo", "--serato", serato, "--process-table", proc});
        EXPECT_EQ(undone.status, 0) << undone.out << undone.err;
        EXPECT_EQ(rows(check), original);
    }
    if (!platform::backend().listsProcesses)
        GTEST_SKIP() << "the refusals while Serato runs: this backend lists no processes";
}

}  // namespace
}  // namespace morrowdeck::test
