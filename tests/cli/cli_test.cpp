// morrowdeck-cli as a script sees it: exit statuses, output shapes, usage errors, Ctrl-C and one
// round trip through the binaries. What the engines log and count is their own suites' to test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/progress_line.h"
#include "library/crate_order.h"
#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/text_encoding.h"
#include "morrowdeck_version.h"
#include "platform/backend.h"
#include "restore/undo_index.h"
#include "run_cli.h"
#include "support/fixtures.h"
#include "support/loop_drive.h"
#include "support/mount_guard.h"
#include "support/master_database_fixture.h"
#include "support/serato_sqlite.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Args = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

TEST(Cli, UsageErrorsExitTwoWithAReasonAndNoOutput) {
    CliLibrary lib;
    lib.addCrate("Genres%%House.crate", {"a.mp3"});
    const std::string serato = lib.serato, to = lib.dir / "to", file = lib.dir / "file";
    fs::create_directories(lib.dir / "empty" / "_Serato_");  // a library without crates
    writeFile(file, "x");                                    // nothing can be created below it
    writeFile(lib.dir / "broken.json", "{\"assets\": {}");
    writeFile(lib.dir / "backup" / "C" / "a.mp3", "audio");
    const std::string below = file + "/x", empty = lib.dir / "empty";
    const std::pair<Args, std::string> cases[] = {
        {{}, ""},
        {{"crates", "--library", file}, "No _Serato_ folder found at that location.\n"},
        {{"crates", "--library", serato, "--library", file}, "No _Serato_ folder found at " + file},
        {{"backup", "--library", serato, "--to", to, "--crate", "Genres/Trance"},
         "No crate named Genres/Trance.\n"},
        {{"backup", "--library", empty, "--to", to, "--json"}, "No crates are selected"},
        {{"backup", "--library", serato, "--to", below}, below},
        {{"backup", "--library", serato}, ""},
        {{"restore", "--from", lib.dir / "backup", "--audio-to", below, "--serato", empty},
         "Not a directory"},
        {{"restore", "--from", serato, "--audio-to", to, "--serato", to}, "No backup found at"},
        {{"restore", "--from", lib.dir / "none", "--audio-to", to}, "No backup found at"},
        {{"restore", "--from", lib.dir / "backup", "--audio-to", to, "--serato", empty, "--crate",
          "C", "--crate", "Trance"},
         "No crate named Trance in the backup."},
        {{"restore", "--from", lib.dir / "backup", "--audio-to", to, "--existing", "keep-both",
          "--keep-existing"},
         "disagree"},
        {{"restore", "--from", lib.dir / "backup", "--audio-to", to, "--existing", "sometimes"},
         "sometimes"},
        {{"restore", "--from", lib.dir / "backup"}, "--audio-to is required"},
        {{"restore", "--from", lib.dir / "backup", "--layout", "original", "--audio-to", to},
         "--audio-to and --serato do not apply"},
        {{"restore", "--from", lib.dir / "backup", "--audio-to", to, "--map", "home=x"},
         "--map applies to --layout original."},
        {{"restore", "--from", lib.dir / "backup", "--layout", "original"},
         "does not record where its tracks were"},
        {{"inspect", lib.dir / "broken.json"}, ""},
        {{"apply", "--database", lib.dir / "none.sqlite"}, "File does not exist"},
        {{"-q", "crates", "--library", serato, "-v"}, "cannot be used together"},
    };
    for (const auto& [arguments, message] : cases) {
        const auto result = runCli(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << testing::PrintToString(arguments);
    }
    EXPECT_FALSE(fs::exists(to));  // not even the backup or restore folder
    EXPECT_EQ(runCli({"crates", "--help"}).status, 0);
}

TEST(Cli, CratesAsTreeFromTheDefaultLibraryAndAsJson) {
    CliLibrary lib("Music/_Serato_");
    lib.addCrate("Genres%%House.crate", {"a.mp3"});
    lib.addCrate("Rules.scrate", {});
    const ScopedHome guard(lib.dir.path());
    const auto tree = runCli({"crates"});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out, "Library: " + lib.serato.native() +
                            "\nGenres  (1 track)\n  House  (1 track)\nSmart Crates  (0 tracks)\n"
                            "  Rules  (0 tracks)  [smart]\n");

    // A path that is not valid UTF-8 must not break the document; a damaged crate file is
    // listed with what it gave and named on standard error.
    writeFile(lib.serato / "Subcrates" / "Odd.crate", CrateWriter::crateData({"Music/\xFF.mp3"}));
    auto cut = CrateWriter::crateData({"x", "y"});
    cut.resize(cut.size() - 1);
    writeFile(lib.serato / "Subcrates" / "Zz Cut.crate", cut);
    const auto result = runCli({"crates", "--library", lib.dir / "Music", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "warning: Crate file " + (lib.serato / "Subcrates/Zz Cut.crate").native() +
                              " is damaged: read 1 track(s), stopped at byte 82 of 99.\n");
    const auto doc = Json::parse(result.out);
    ASSERT_EQ(doc["crates"].size(), 4u);
    EXPECT_EQ(doc["crates"][3]["tracks"].size(), 1u);
    EXPECT_EQ(doc["crates"][0]["children"][0]["tracks"], Json{lib.music("a.mp3").native()});
    EXPECT_EQ(doc["crates"][2]["children"][0]["isSmart"], true);
    EXPECT_EQ(doc["crates"][0]["children"][0]["source"], "files");

    // Serato's database adds a crate of its own, holds House with the same track, and its
    // parent Genres as a crate (a group of the files).
    {
        const auto master = SeratoFolder::masterDatabase(lib.dir.path());
        fs::create_directories(master.parent_path());
        MasterDatabaseFixture db(master);
        const std::string prefix = SeratoLibrary::volumeMountPrefix(lib.dir.path());
        const auto a = db.addAsset(db.addVolume(prefix.empty() ? "/" : prefix),
                                   CrateWriter::volumeRelativePath(lib.music("a.mp3"), prefix));
        db.addEntry(db.addCrate("House", db.addCrate("Genres")), a, 1);
        db.addEntry(db.addCrate("Fresh"), a, 1);
    }
    const auto merged = runCli({"crates", "--library", lib.dir / "Music", "--json"});
    const auto both = Json::parse(merged.out);
    ASSERT_EQ(both["crates"].size(), 5u);
    EXPECT_EQ(both["crates"][0]["name"], "Fresh");
    EXPECT_EQ(both["crates"][0]["source"], "database");
    EXPECT_EQ(both["crates"][0]["crateFile"], nullptr);
    EXPECT_EQ(both["crates"][1]["children"][0]["source"], "both");
    const auto text = runCli({"crates"}).out;
    EXPECT_NE(text.find("\n2 crates only in Serato's database, 3 crates only as "
                                          "crate files.\n"),
              std::string::npos) << text;
}

// The home library (from --all) and a second one named by --library, listed as one; the same
// library named twice is one library, listed as before.
TEST(Cli, CratesOfSeveralLibrariesAsOne) {
    CliLibrary lib("Music/_Serato_");
    lib.addCrate("House.crate", {"a.mp3"});
    CliLibrary drive;
    drive.addCrate("House.crate", {"b.mp3"});
    drive.addCrate("Set.crate", {"c.mp3"});
    const ScopedHome guard(lib.dir.path());
    const ScopedEnv userName("USER", lib.dir.path().filename().native());
    const auto result = runCli({"crates", "--all", "--library", drive.dir.path(), "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = Json::parse(result.out);
    ASSERT_EQ(doc["members"].size(), 2u) << result.out;
    EXPECT_EQ(doc["members"][0]["name"], "home");
    EXPECT_EQ(doc["members"][0]["library"], lib.serato.native());
    EXPECT_EQ(doc["members"][1]["library"], drive.serato.native());
    EXPECT_NE(doc["members"][1]["name"], "home");
    std::vector<std::string> keys;
    for (const auto& [key, value] : doc["members"][1].items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"name", "library", "volumePrefix", "label", "uuid"}));
    ASSERT_EQ(doc["crates"].size(), 2u);
    const auto& house = doc["crates"][0];
    EXPECT_EQ(house["tracks"], (Json{lib.music("a.mp3").native(), drive.music("b.mp3").native()}));
    EXPECT_EQ(house["trackMembers"], (Json{0, 1}));
    EXPECT_EQ(doc["crates"][1]["trackMembers"], Json{1});

    const auto text = runCli({"crates", "--library", lib.serato, "--library", drive.dir.path()});
    EXPECT_EQ(text.out.rfind("Libraries:\n  home \u2192 " + lib.serato.native() + "\n  ", 0), 0u)
        << text.out;
    EXPECT_NE(text.out.find("\nHouse  (2 tracks)\nSet  (1 track)\n"), std::string::npos);
    const auto once = runCli({"crates", "--library", lib.serato, "--library", lib.dir / "Music"});
    EXPECT_EQ(once.out, runCli({"crates"}).out);
    EXPECT_EQ(once.out.rfind("Library: ", 0), 0u);
}

// A backup of the home library and a drive's as one: each crate gets both libraries' tracks,
// inspect names both, and a re-run without the drive keeps what it gave and says so.
TEST(Cli, BackupOfSeveralLibrariesAsOne) {
    const auto readText = [](const fs::path& file) {
        const auto bytes = readBytes(file);
        return std::string(bytes.begin(), bytes.end());
    };
    CliLibrary lib("Music/_Serato_");
    writeFile(lib.music("a.mp3"), "home");
    lib.addCrate("House.crate", {"a.mp3"});
    auto drive = std::make_unique<CliLibrary>();
    writeFile(drive->music("b.mp3"), "drive b");
    writeFile(drive->music("c.mp3"), "drive c");
    drive->addCrate("House.crate", {"b.mp3"});
    drive->addCrate("Set.crate", {"c.mp3"});
    const ScopedHome guard(lib.dir.path());
    const ScopedEnv userName("USER", lib.dir.path().filename().native());
    const fs::path to = lib.dir / "backup";
    const auto first =
        runCli({"backup", "--all", "--library", drive->dir.path(), "--to", to, "--json"});
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_EQ(readText(to / "House" / "a.mp3"), "home");
    EXPECT_EQ(readText(to / "House" / "b.mp3"), "drive b");
    EXPECT_EQ(readText(to / "Set" / "c.mp3"), "drive c");
    const auto doc = Json::parse(runCli({"inspect", to, "--json"}).out);
    ASSERT_EQ(doc["members"].size(), 2u);
    EXPECT_EQ(doc["members"][0]["name"], "home");
    EXPECT_EQ(doc["members"][0]["files"], 1);
    EXPECT_EQ(doc["members"][1]["files"], 2);
    const std::string driveName = doc["members"][1]["name"];

    drive.reset();  // the drive is unplugged
    const auto again = runCli({"backup", "--all", "--to", to});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("warning: " + driveName + " is not connected \u2014 last backed up "),
              std::string::npos)
        << again.out;
    EXPECT_EQ(readText(to / "Set" / "c.mp3"), "drive c");
    EXPECT_EQ(Json::parse(runCli({"inspect", to, "--json"}).out)["members"][1]["files"], 2);
}

// A library across the computer and a labelled drive comes back from one backup as it was
// (the drive found by its UUID, the home library where it was) and a folder per crate: every
// crate file, crate order and record equal, every file byte-equal; files already on the drive
// stay under the default for restoring as it was.
TEST(Cli, LibraryAcrossADriveComesBackInBothLayouts) {
    if (!platform::backend().readsVolumeLabels)
        GTEST_SKIP() << "this backend reads no drive labels or UUIDs, so finds no drive";
    CliLibrary lib("Music/_Serato_");
    auto drive = std::make_unique<LoopDrive>(lib.dir / "drive.img", "DJ DRIVE");
    const fs::path usb = lib.dir / "mnt" / "DJ DRIVE";
    if (drive->skipReason().empty()) drive->mount(usb, lib.dir / "mnt");
    if (!drive->skipReason().empty()) GTEST_SKIP() << drive->skipReason();
    const ScopedHome guard(lib.dir.path());
    const ScopedEnv userName("USER", lib.dir.path().filename().native());
    const auto readText = [](const fs::path& file) {
        const auto bytes = readBytes(file);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string homePrefix = SeratoLibrary::volumeMountPrefix(lib.dir.path());
    const auto homePath = [&](const std::string& name) {
        return CrateWriter::volumeRelativePath(lib.music(name), homePrefix);
    };
    const auto database = [](const std::vector<std::string>& paths) {
        std::vector<Bytes> records;
        for (const auto& path : paths) {
            Bytes base;
            SeratoDatabase::str(base, "tsng", "Title of " + path);
            records.push_back(SeratoDatabase::record(base, path));
        }
        return SeratoDatabase::data(records);
    };
    writeFile(lib.music("a.mp3"), "home a");
    writeFile(lib.serato / "Subcrates" / "House.crate", CrateWriter::crateData({homePath("a.mp3")}));
    writeFile(lib.serato / "neworder.pref", CrateOrder::data({"House"}));
    writeFile(lib.serato / "database V2", database({homePath("a.mp3")}));
    writeFile(usb / "Music" / "b.mp3", "drive b");
    writeFile(usb / "Music" / "c.mp3", "drive c");
    const fs::path usbSerato = usb / "_Serato_";
    writeFile(usbSerato / "Subcrates" / "House.crate", CrateWriter::crateData({"Music/b.mp3"}));
    writeFile(usbSerato / "Subcrates" / "Set.crate",
              CrateWriter::crateData({"Music/c.mp3", "Music/b.mp3"}));
    writeFile(usbSerato / "neworder.pref", CrateOrder::data({"Set", "House"}));
    writeFile(usbSerato / "database V2", database({"Music/b.mp3", "Music/c.mp3"}));
    std::map<fs::path, Bytes> original;
    for (const auto& entry : fs::recursive_directory_iterator(lib.dir.path()))
        if (entry.is_regular_file() && entry.path().extension() != ".img")
            original[entry.path()] = readBytes(entry.path());
    const fs::path backup = lib.dir / "backup";
    const auto backedUp =
        runCli({"backup", "--library", lib.serato, "--library", usbSerato, "--to", backup});
    ASSERT_EQ(backedUp.status, 0) << backedUp.out << backedUp.err;

    // As it was: a new computer's empty home library and a wiped drive.
    for (const auto& [file, bytes] : original) fs::remove(file);
    writeFile(usb / "Music" / "c.mp3", "drive c, newer cues");
    const Args asItWas{"restore", "--from", backup, "--layout", "original"};
    auto dry = asItWas;
    dry.push_back("--dry-run");
    const auto table = runCli(dry);
    ASSERT_EQ(table.status, 0) << table.out << table.err;
    EXPECT_NE(table.out.find("Libraries:\n  home \u2192 "), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("  DJ DRIVE \u2192 " + usb.native() +
                             " (drive with its UUID; Serato folder " + usbSerato.native() +
                             "), 2 files\n"),
              std::string::npos)
        << table.out;
    const auto restored = runCli(asItWas);
    ASSERT_EQ(restored.status, 0) << restored.out << restored.err;
    EXPECT_EQ(readText(usb / "Music" / "c.mp3"), "drive c, newer cues");
    writeFile(usb / "Music" / "c.mp3", "drive c");
    const auto records = [](const Bytes& data) {
        std::vector<std::pair<std::string, Bytes>> pairs;
        for (auto& record : SeratoDatabase::records(data))
            pairs.emplace_back(record.path, record.record);
        return pairs;
    };
    for (const auto& [file, bytes] : original) {
        ASSERT_TRUE(fs::is_regular_file(file)) << file << "\n" << restored.out;
        if (file.filename() == "database V2")
            EXPECT_EQ(records(readBytes(file)), records(bytes)) << file;
        else
            EXPECT_EQ(readBytes(file), bytes) << file;
    }

    // A folder per crate: one crate of both libraries' tracks, the drive's Set in its order.
    const fs::path audio = lib.dir / "restored", serato = lib.dir / "restored" / "_Serato_";
    const auto crates = runCli({"restore", "--from", backup, "--audio-to", audio, "--serato", serato});
    ASSERT_EQ(crates.status, 0) << crates.out << crates.err;
    const auto listed = [&](const std::string& crate) {
        std::vector<std::string> names;
        for (const auto& stored : CrateParser::storedPaths(readBytes(serato / "Subcrates" / crate)))
            names.push_back(fs::path(stored).filename());
        return names;
    };
    EXPECT_EQ(listed("House.crate"), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_EQ(listed("Set.crate"), (std::vector<std::string>{"c.mp3", "b.mp3"}));
    EXPECT_EQ(readBytes(audio / "Set" / "c.mp3"), original.at(usb / "Music" / "c.mp3"));
    EXPECT_EQ(readBytes(audio / "House" / "a.mp3"), original.at(lib.music("a.mp3")));
    EXPECT_EQ(SeratoDatabase::records(readBytes(serato / "database V2")).size(), 3u);

    for (const auto& [map, reason] : {std::pair{"nobody=/x", "which is no library of this backup"},
                                      std::pair{"home", "give it as NAME=FOLDER"}}) {
        auto mapped = asItWas;
        mapped.insert(mapped.end(), {"--map", map});
        EXPECT_NE(runCli(mapped).err.find(reason), std::string::npos) << map;
    }
    // No place for the drive's library: nothing starts, and the reason names it.
    drive.reset();
    const auto unplugged = runCli(asItWas);
    EXPECT_EQ(unplugged.status, 2);
    EXPECT_NE(unplugged.err.find("Nowhere to restore the library DJ DRIVE to"), std::string::npos)
        << unplugged.err;
}

TEST(Cli, ApplyAndTagsJson) {
    TempDir dir;
    const auto apply = runCli({"apply", "--serato", dir.path(), "--json"});
    EXPECT_EQ(apply.status, 1);  // nothing staged
    EXPECT_EQ(Json::parse(apply.out).size(), 4u);
    // --database is written instead of the home folder's, which does not exist here.
    const ScopedHome home(dir / "home");
    writeFile(dir / ".morrowdeck/apply.json", R"({"assets": {}, "smartCrates": []})");
    SeratoSqlite(dir / "other.sqlite", SeratoSqlite::Schema::minimal);
    const auto other =
        runCli({"apply", "--serato", dir.path(), "--database", dir / "other.sqlite"});
    EXPECT_EQ(other.status, 0) << other.out;
    EXPECT_TRUE(fs::is_directory(dir / ".morrowdeck-undo"));
    writeFile(dir / "x.MP3", "not audio");
    const auto tags = runCli({"tags", dir / "x.MP3", dir / "missing.flac", "--json"});
    ASSERT_EQ(tags.status, 0);
    const auto doc = Json::parse(tags.out);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["entry"].size(), 16u);
}

// A run recorded by hand the way a restore records it: the crate it replaced is listed,
// refused while it changed since, and put back with --force.
TEST(Cli, UndoListsRunsAndPutsOneBack) {
    CliLibrary lib;
    lib.addCrate("A.crate", {"a.mp3"});
    const fs::path crate = lib.serato / "Subcrates" / "A.crate";
    const fs::path run = lib.serato / ".morrowdeck-undo" / "20261208T043512Z";
    fs::create_directories(run / "files");
    fs::copy_file(crate, run / "files" / "0");
    writeFile(crate, "restored");
    const auto content = [](const fs::path& file) {
        ContentHash hash;
        hashFile(file, hash);
        return UndoIndex::Content{static_cast<std::int64_t>(fs::file_size(file)), 0, hash};
    };
    UndoIndex index;
    index.id = "20261208T043512Z";
    index.startedNs = 1'796'000'000'000'000'000;
    index.entries.push_back({crate, UndoIndex::Entry::Kind::serato, UndoIndex::Entry::Action::replaced,
                             "files/0", content(run / "files" / "0"), content(crate)});
    writeFile(run / "index.json", index.toJson());
    const std::string serato = lib.serato;

    const auto list = runCli({"undo", "--serato", serato, "--list", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    const auto doc = Json::parse(list.out);
    ASSERT_EQ(doc["runs"].size(), 1u);
    EXPECT_EQ(doc["runs"][0].dump(),
              R"({"id":"20261208T043512Z","date":"2026-11-30T00:53:20Z","kind":"restore","files":1,)"
              R"("bytes":)" + std::to_string(fs::file_size(run / "files" / "0")) + R"(,"undone":false})");
    EXPECT_EQ(doc["totalBytes"], fs::file_size(run / "files" / "0"));

    writeFile(crate, "Serato changed it");
    const std::pair<Args, std::string> refused[] = {
        {{"undo", "--serato", serato, "--run", "20990101T000000Z"}, "No saved run 20990101T000000Z"},
        {{"undo", "--serato", serato, "--list", "--force"}, "excludes"},
        {{"undo", "--serato", lib.dir / "none"}, "No _Serato_ folder"},
        {{"undo", "--serato", serato}, "error: Changed since the run: " + crate.native()},
    };
    for (const auto& [arguments, message] : refused) {
        const auto result = runCli(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
    const auto done = runCli({"undo", "--serato", serato, "--force", "--json"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(Json::parse(done.out)["putBack"], 1);
    EXPECT_EQ(readBytes(crate), readBytes(run / "files" / "0"));
    const auto text = runCli({"undo", "--serato", serato, "--list"});
    EXPECT_NE(text.out.find("restore  1 file(s)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("undone\n1 saved run(s), "), std::string::npos) << text.out;
    EXPECT_EQ(runCli({"undo", "--serato", serato}).status, 2);  // nothing left to undo
}

// Genres/House {a}; Techno {c}; smart crate Hits {a}.
class BackupCli : public testing::Test {
  protected:
    void SetUp() override {
        writeFile(lib.music("a.mp3"), std::string(100, 'x'));
        writeFile(lib.music("c.mp3"), std::string(300, 'x'));
        lib.addCrate("Genres%%House.crate", {"a.mp3"});
        lib.addCrate("Techno.crate", {"c.mp3"});
        lib.addCrate("Hits.scrate", {"a.mp3"});
    }
    CliResult backup(std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"backup", "--library", lib.serato, "--to", to});
        return runCli(extra);
    }
    CliLibrary lib;
    fs::path to = lib.dir / "backup";
};

// Each option's effect is the engine's to test; here only that it gets there.
// Missing sources exit 1 with one JSON document.
TEST_F(BackupCli, OptionsReachTheEngineAndMissingFilesExitOne) {
    const auto first = backup({"--dedup", "--smart-as-folders", "--crate", "Smart Crates/Hits"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(first.out.starts_with("info: ")) << first.out;  // "level: message" lines
    EXPECT_EQ(first.err, "");  // not a terminal: no progress line
    EXPECT_TRUE(fs::is_directory(to / ".ORVEL_Store"));
    EXPECT_TRUE(fs::exists(to / "Smart Crates/Hits/a.mp3"));
    EXPECT_FALSE(fs::exists(to / "Techno"));
    fs::remove_all(to);
    ASSERT_EQ(backup().status, 0);
    writeFile(lib.music("c.mp3"), std::string(301, 'y'));  // the source changes size
    ASSERT_EQ(backup({"--no-verify"}).status, 0);
    EXPECT_EQ(fs::file_size(to / "Techno/c.mp3"), 300u);  // not re-copied
    fs::remove(lib.music("c.mp3"));
    const auto missing = backup({"--json"});
    EXPECT_EQ(missing.status, 1) << missing.err;
    const auto doc = Json::parse(missing.out);  // one document, nothing else
    EXPECT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc["snapshot"].size(), 17u);
    EXPECT_TRUE(doc["log"].at(0)["level"].is_string());
    EXPECT_EQ(doc["problems"],
              Json::parse(R"([{"path": ")" + lib.music("c.mp3").native() +
                          R"(", "kind": "missing", "message": "Source not found"}])"));
}

// A backup whose records, catalog and manifest cannot be written copied its audio, but a
// restore could not rebuild the library from it: it is no success.
TEST_F(BackupCli, MetadataThatCannotBeWrittenExitsOne) {
    writeFile(to / ".morrowdeck", "a file where the folder goes");
    const auto plain = backup();
    EXPECT_EQ(plain.status, 1) << plain.err;
    EXPECT_NE(plain.out.find("error: Couldn't write " + (to / ".morrowdeck/catalog.json").native()),
              std::string::npos)
        << plain.out;
    const std::string last = plain.out.substr(plain.out.rfind('\n', plain.out.size() - 2) + 1);
    EXPECT_TRUE(last.starts_with("warning: Backup finished with issues \u2014 ")) << last;
    EXPECT_EQ(last.find(" 0 failed"), std::string::npos) << last;

    const auto doc = Json::parse(backup({"--json"}).out);
    EXPECT_GT(doc["snapshot"]["failedFiles"], 0);
    EXPECT_EQ(doc["log"].back()["level"], "warning");
}

// Every file and folder below a root with its bytes and modification time.
std::map<std::string, std::string> treeOf(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto bytes =
            entry.is_regular_file() ? readBytes(entry.path()) : std::vector<std::uint8_t>{};
        tree[entry.path().lexically_relative(root)] =
            std::string(bytes.begin(), bytes.end()) + "@" +
            std::to_string(entry.last_write_time().time_since_epoch().count());
    }
    return tree;
}

// Dry runs print the plan and write nothing: the destinations are unchanged byte for byte,
// and one not made yet stays absent.
TEST_F(BackupCli, DryRunsPrintThePlanAndWriteNothing) {
    ASSERT_EQ(backup().status, 0);
    writeFile(lib.music("c.mp3"), std::string(301, 'y'));
    const auto before = treeOf(to);
    const auto plain = backup({"--dry-run"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(
        plain.out.find("\nTechno: 1 to copy (301 bytes), 0 up to date (0 bytes), 0 missing\n"),
        std::string::npos)
        << plain.out;
    const auto doc = Json::parse(backup({"--dry-run", "--json"}).out);
    std::vector<std::string> keys;
    for (const auto& [key, value] : doc.items())
        keys.push_back(key);
    EXPECT_EQ(keys,
              (Args{"crates", "total", "destination", "drive", "freeBytes", "fits", "problems"}));
    EXPECT_EQ(doc["total"]["filesToCopy"], 1);

    const fs::path audio = lib.dir / "restored", serato = lib.dir / "restoredLibrary";
    const auto restore = runCli(
        {"restore", "--from", to, "--audio-to", audio, "--serato", serato, "--dry-run", "--json"});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(Json::parse(restore.out)["total"]["filesToCopy"], 2);
    EXPECT_EQ(Json::parse(restore.out)["total"]["existing"],
              Json({{"new", 2}, {"replaced", 0}, {"kept", 0}, {"restoredCopies", 0}}));
    EXPECT_EQ(treeOf(to), before);
    EXPECT_FALSE(fs::exists(audio) || fs::exists(serato));
    EXPECT_EQ(
        runCli({"backup", "--library", lib.serato, "--to", lib.dir / "new", "--dry-run"}).status,
        0);
    EXPECT_FALSE(fs::exists(lib.dir / "new"));
}

// A backup larger than the drive's free space is refused (the dry run says so too) and
// writes nothing; --allow-partial goes ahead and lists the files that did not fit.
TEST_F(BackupCli, AFullDriveRefusesUnlessPartialIsAllowed) {
    const fs::path usb = lib.dir / "usb";
    TmpfsMount mount(usb, "size=64k");
    if (!mount.ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(lib.music("big.mp3"), std::string(200000, 'x'));
    lib.addCrate("Big.crate", {"big.mp3"});
    const Args run{"backup", "--library", lib.serato, "--to", usb, "--crate", "Big"};
    for (const Args& extra : {Args{}, Args{"--dry-run"}}) {
        Args args = run;
        args.insert(args.end(), extra.begin(), extra.end());
        const auto refused = runCli(args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, "Not enough space on usb: 201 KB needed, 66 KB free.\n");
    }
    EXPECT_TRUE(fs::is_empty(usb));
    Args partial = run;
    partial.insert(partial.end(), {"--allow-partial", "--json"});
    const auto result = runCli(partial);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(Json::parse(result.out)["problems"].at(0)["kind"], "failed");
}

// The crates a restore gives back are the last run's: a crate renamed since the first run comes
// back under its new name only, in both backup modes, its old folder staying in the backup and
// named by the dry run. A run of some crates keeps the others while the library has them.
TEST_F(BackupCli, ARestoreBringsBackTheCratesOfTheLastRun) {
    const auto restore = [&](const fs::path& from, const fs::path& into, Args extra) {
        Args args{"restore", "--from", from, "--audio-to", into / "audio", "--serato", into};
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args);
    };
    const auto leftOut = [](const CliResult& dryRun) {
        std::map<std::string, std::string> rows;
        const auto doc = Json::parse(dryRun.out);
        for (const auto& row : doc["crates"])
            rows[row["name"]] = row.value("leftOut", "") + "/" + row["filesToCopy"].dump();
        return rows;
    };
    const fs::path subcrates = lib.serato / "Subcrates";
    for (const Args& mode : {Args{}, Args{"--dedup"}}) {
        SCOPED_TRACE(mode.empty() ? "copies" : "dedup");
        to = lib.dir / (mode.empty() ? "copies" : "dedup");
        if (fs::exists(subcrates / "Dance.crate"))
            fs::rename(subcrates / "Dance.crate", subcrates / "Techno.crate");
        ASSERT_EQ(backup(mode).status, 0);
        fs::rename(subcrates / "Techno.crate", subcrates / "Dance.crate");
        ASSERT_EQ(backup(mode).status, 0);

        const auto plain = restore(to, lib.dir / "unused", {"--dry-run"});
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_NE(plain.out.find("\nTechno: not in the last run\n"), std::string::npos)
            << plain.out;
        const auto json = restore(to, lib.dir / "unused", {"--dry-run", "--json"});
        EXPECT_EQ(
            leftOut(json),
            (std::map<std::string, std::string>{
                {"Dance", "/1"}, {"Genres/House", "/1"}, {"Techno", "not in the last run/0"}}));
        EXPECT_EQ(Json::parse(json.out)["total"]["filesToCopy"], 2);

        const fs::path into = to.native() + " restored";
        const auto real = restore(to, into, {});
        EXPECT_EQ(real.status, 0) << real.out;
        EXPECT_TRUE(fs::exists(into / "_Serato_/Subcrates/Dance.crate"));
        EXPECT_FALSE(fs::exists(into / "_Serato_/Subcrates/Techno.crate"));
        EXPECT_TRUE(fs::exists(into / "audio/Dance/c.mp3"));
        EXPECT_FALSE(fs::exists(into / "audio/Techno"));
        EXPECT_TRUE(fs::exists(to / "Techno/c.mp3"));
    }

    // Techno one day, House the next: both are the backup's; Techno removed from the library,
    // the next run of House leaves it out.
    to = lib.dir / "subsets";
    ASSERT_EQ(backup({"--crate", "Dance"}).status, 0);
    ASSERT_EQ(backup({"--crate", "Genres/House"}).status, 0);
    EXPECT_EQ(leftOut(restore(to, lib.dir / "unused", {"--dry-run", "--json"})),
              (std::map<std::string, std::string>{{"Dance", "/1"}, {"Genres/House", "/1"}}));
    fs::remove(subcrates / "Dance.crate");
    ASSERT_EQ(backup({"--crate", "Genres/House"}).status, 0);
    EXPECT_EQ(leftOut(restore(to, lib.dir / "unused", {"--dry-run", "--json"})),
              (std::map<std::string, std::string>{{"Dance", "not in the last run/0"},
                                                  {"Genres/House", "/1"}}));
}

// --keep-replaced reaches the engine; inspect lists what a backup folder keeps.
// --serato-database: the dry run says whether the saved copy would go back (exit 1 when not),
// the options reach the run, and a mapping that is no OLD=NEW is a usage error.
TEST(Cli, RestorePutsSeratosDatabaseBackOnlyWithEveryVolumeHere) {
    TempDir dir;
    const fs::path backup = dir / "backup", database = dir / "home" / "master.sqlite";
    const std::string serato = dir / "library", here = dir.path();
    writeFile(backup / "House" / "a.mp3", "audio");
    fs::create_directories(backup / ".morrowdeck");
    MasterDatabaseFixture(backup / ".morrowdeck" / "master.sqlite").addVolume("/Volumes/Gone");
    const Args restore{"restore",  "--from", backup,       "--audio-to", dir / "audio",
                       "--serato", serato,   "--database", database,     "--serato-database"};
    const auto with = [&](Args extra) {
        Args args = restore;
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args);
    };
    const Args mapped{"--map-volume", "/Volumes/Gone=" + here};

    const auto refusedPlan = with({"--dry-run"});
    EXPECT_EQ(refusedPlan.status, 1);
    EXPECT_NE(refusedPlan.out.find("Serato's database would not be put back: its volume path(s) "
                                   "\"/Volumes/Gone\" are no folder on this machine"),
              std::string::npos)
        << refusedPlan.out;
    auto args = mapped;
    args.insert(args.end(), {"--dry-run", "--json"});
    const auto plan = with(args);
    EXPECT_EQ(plan.status, 0) << plan.err;
    EXPECT_EQ(Json::parse(plan.out)["seratoDatabase"]["mapped"],
              Json::parse(R"([{"from":"/Volumes/Gone","to":")" + here + R"("}])"));
    EXPECT_FALSE(fs::exists(database));

    const auto putBack = with(mapped);
    EXPECT_EQ(putBack.status, 0) << putBack.err;
    EXPECT_TRUE(fs::exists(database));

    EXPECT_EQ(with({"--map-volume", "/Volumes/Gone"}).status, 2);
    EXPECT_EQ(
        runCli({"restore", "--from", backup, "--audio-to", dir / "audio", "--map-volume", "/a=/b"})
            .status,
        2);
}

TEST_F(BackupCli, KeptReplacedFilesAreListedByInspectAndVerify) {
    ASSERT_EQ(backup().status, 0);
    writeFile(lib.music("c.mp3"), std::string(301, 'y'));
    ASSERT_EQ(backup({"--keep-replaced", "0"}).status, 0);
    EXPECT_FALSE(fs::exists(to / ".morrowdeck" / "Replaced"));
    writeFile(lib.music("c.mp3"), std::string(302, 'z'));
    ASSERT_EQ(backup().status, 0);
    const auto doc = Json::parse(runCli({"inspect", to, "--json"}).out);
    EXPECT_EQ(doc["kind"], "backup");
    ASSERT_EQ(doc["members"].size(), 1u);  // the library, with the files it gave the backup
    EXPECT_EQ(doc["members"][0]["files"], 2);
    EXPECT_EQ(doc["members"][0]["library"], fs::path(lib.serato).string());
    ASSERT_EQ(doc["replaced"].size(), 1u);
    EXPECT_EQ(doc["replaced"][0]["files"], Json{"Techno/c.mp3"});
    // Kept versions are listed by verify, and are not unexpected files.
    const auto verify = runCli({"verify", to, "--json"});
    EXPECT_EQ(verify.status, 0) << verify.out;
    EXPECT_EQ(Json::parse(verify.out)["replaced"], doc["replaced"]);
    EXPECT_EQ(backup({"--keep-replaced", "-1"}).status, 2);
}

TEST(Cli, LibrariesAsJson) {
    CliLibrary lib("Music/_Serato_");
    lib.addCrate("House.crate", {"a.mp3"});
    const ScopedHome guard(lib.dir.path());
    writeFile(lib.dir / "mounts", "");
    const auto result = runCli({"libraries", "--json", "--mount-table", lib.dir / "mounts"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = Json::parse(result.out);
    ASSERT_EQ(doc["libraries"].size(), 1u);
    const auto& found = doc["libraries"][0];
    EXPECT_EQ(found["library"], lib.serato.native());
    std::vector<std::string> keys;
    for (const auto& [key, value] : found.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"library", "drive", "mountPoint", "fileSystem",
                                              "onDrive", "hardLinks", "crates", "tracks"}));
    EXPECT_EQ(found["crates"], 1);
}

// A labelled drive holding a library, mounted at /media/$USER/<label> as the desktop mounts a
// plugged-in drive, is listed under its label. USER is a name of this test's own, so no other
// test's search of the drive folders finds the drive.
TEST(Cli, LibrariesListsALabelledDriveUnderMedia) {
    CliLibrary lib("home/Music/_Serato_");
    const std::string user = lib.dir.path().filename().native();
    const fs::path media = fs::path("/media") / user;
    LoopDrive drive(lib.dir / "drive.img", "SERATO GIG");
    if (drive.skipReason().empty()) drive.mount(media / "SERATO GIG", media);
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    writeFile(media / "SERATO GIG" / "_Serato_" / "Subcrates" / "Set.crate",
              CrateWriter::crateData({"Music/a.mp3"}));
    const ScopedEnv home("HOME", lib.dir / "home");
    const ScopedEnv userName("USER", user);
    const auto result = runCli({"libraries", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = Json::parse(result.out);
    const auto found = std::find_if(doc["libraries"].begin(), doc["libraries"].end(),
                                    [](const Json& item) { return item["drive"] == "SERATO GIG"; });
    ASSERT_NE(found, doc["libraries"].end()) << result.out;
    EXPECT_EQ((*found)["mountPoint"], (media / "SERATO GIG").native());
    EXPECT_EQ((*found)["crates"], 1);
}

// -q leaves only warnings and errors, -v adds a line per file, before or after the subcommand;
// --json is the same document with either.
TEST_F(BackupCli, QuietAndVerboseChangeOnlyTheText) {
    EXPECT_EQ(runCli({"--version"}).out, std::string("morrowdeck-cli ") + version + "\n");
    ASSERT_EQ(backup().status, 0);
    const auto verbose = backup({"-v"});
    EXPECT_NE(verbose.out.find("info: Up to date " + (to / "Techno/c.mp3").native() + "\n"),
              std::string::npos)
        << verbose.out;
    EXPECT_EQ(Json::parse(backup({"--verbose", "--json"}).out)["log"].size(),
              Json::parse(backup({"--json"}).out)["log"].size());
    fs::remove(lib.music("c.mp3"));
    const auto quiet = runCli({"-q", "backup", "--library", lib.serato, "--to", to});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_TRUE(quiet.out.starts_with("warning: Missing source: ")) << quiet.out;
    EXPECT_EQ(quiet.out.find("info: "), std::string::npos) << quiet.out;
}

// verify: 0 when all is well, 1 with findings (as JSON), 2 without a manifest or library.
TEST_F(BackupCli, VerifyExitStatusesAndJson) {
    ASSERT_EQ(backup().status, 0);
    const auto clean = runCli({"verify", to, "--against", lib.serato});
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    // The two tracks and the smart crate's file.
    EXPECT_NE(clean.out.find("success: Checked 3 file(s), 556 bytes: all well."),
              std::string::npos)
        << clean.out;

    writeFile(to / "Techno/c.mp3", std::string(300, 'y'));
    const auto damaged = runCli({"verify", to, "--json"});
    EXPECT_EQ(damaged.status, 1) << damaged.err;
    const auto doc = Json::parse(damaged.out);
    EXPECT_EQ(doc["findings"],
              Json::parse(R"([{"kind": "damaged", "path": "Techno/c.mp3",
                              "detail": "content differs from when it was backed up"}])"));
    EXPECT_EQ(doc["checkedFiles"], 3);

    EXPECT_EQ(runCli({"verify", lib.dir / "Music"}).status, 2);
    EXPECT_EQ(runCli({"verify", to, "--against", lib.dir / "Music"}).status, 2);
}

// `backup | head`: a reader gone before the first line ends neither the run nor its status.
TEST_F(BackupCli, AClosedOutputStreamLetsTheRunFinish) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    ::close(pipe[0]);
    CliProcess process({"backup", "--library", lib.serato, "--to", to}, MORROWDECK_CLI, pipe[1]);
    ::close(pipe[1]);
    EXPECT_EQ(process.wait().status, 0);
    EXPECT_TRUE(fs::exists(to / "Techno/c.mp3"));
}

// Ctrl-C cancels and waits for the run's end; thousands of one-at-a-time copies keep it going,
// and a run that finished before the signal arrived is skipped, not failed.
TEST_F(BackupCli, CtrlCCancelsAndExits130) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        names.push_back("t" + std::to_string(i) + ".mp3");
        writeFile(lib.music(names.back()), std::string(4096, 'x'));
    }
    lib.addCrate("Big.crate", names);
    CliProcess process({"backup", "--library", lib.serato, "--to", to, "--threads", "1"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (process.outputSoFar().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(process.pid(), SIGINT);
    const auto result = process.wait();
    if (result.status == 0) GTEST_SKIP() << "the backup finished before the signal arrived";
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_FALSE(fs::exists(to / "Big" / names.back()));
}

// The whole product through its binaries: make a demo library, back it up, restore it into a
// fresh audio folder and Serato library (what comes back is compared in round_trip_test), then
// restore again with one file blocked, and with the library's database unreadable.
TEST(RoundTrip, DemoLibraryComesBackThroughTheCli) {
    TempDir dir;
    const ScopedHome home(dir / "home");  // not the database of whoever runs the test
    const fs::path library = dir / "demo" / "_Serato_", backup = dir / "backup";
    const fs::path audio = dir / "audio", serato = dir / "serato";
    ASSERT_EQ(runCli({dir / "demo", "--tracks", "24"}, MORROWDECK_DEMO_LIBRARY).status, 0);
    EXPECT_EQ(runCli({dir / "demo"}, MORROWDECK_DEMO_LIBRARY).status, 2);  // never over one
    ASSERT_EQ(runCli({"backup", "--library", library, "--to", backup, "--dedup"}).status, 0);
    const Args restore{"restore", "--from", backup, "--audio-to", audio, "--serato", serato};
    auto verbose = restore;
    verbose.push_back("-v");
    const auto restored = runCli(verbose);
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_NE(restored.out.find("info: Copied " + audio.native()), std::string::npos);

    std::vector<fs::path> copies;
    for (const auto& entry : fs::recursive_directory_iterator(audio))
        if (entry.is_regular_file() && entry.path().extension() == ".wav")
            copies.push_back(entry.path());
    ASSERT_GE(copies.size(), 24u);

    fs::remove(copies[0]);
    fs::create_directories(copies[0] / "blocked");
    auto failing = restore;
    failing.insert(failing.end(), {"--json", "--no-rebuild"});
    const auto failed = runCli(failing);
    EXPECT_EQ(failed.status, 1);  // one file could not be restored
    EXPECT_TRUE(Json::accept(failed.out)) << failed.out;

    // A library database too large to read is left as it is, and the run is no success.
    fs::remove_all(copies[0]);
    const fs::path database = serato / "_Serato_" / "database V2";
    fs::resize_file(database, 600'000'000);  // sparse
    const auto unreadable = runCli(restore);
    EXPECT_EQ(unreadable.status, 1) << unreadable.out;
    EXPECT_NE(unreadable.out.find("error: Couldn't read the existing " + database.native()),
              std::string::npos)
        << unreadable.out;
    EXPECT_EQ(fs::file_size(database), 600'000'000u);
}

Json inspectJson(const fs::path& file) {
    const auto result = runCli({"inspect", file.native(), "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    return Json::parse(result.out);
}

// Files are told by their content; stored paths are shown as written.
TEST(Inspect, KindsAndDocuments) {
    TempDir dir;
    const auto crate = copyFixture("single-crate/Serato Demo Tracks.crate", dir.path());
    EXPECT_EQ(inspectJson(crate)["version"], "1.0/Serato ScratchLive Crate");
    EXPECT_TRUE(runCli({"inspect", crate}).out.starts_with("Crate file ("));
    const auto pfil = SeratoDatabase::chunk("pfil", text::encodeUtf16BE("Music/a.mp3"));
    auto record = pfil;
    SeratoDatabase::appendChunk(record, "uadd", SeratoDatabase::Bytes{0x62, 0x7E, 0xF4, 0xC4});
    SeratoDatabase::appendChunk(record, "tbad", SeratoDatabase::Bytes{0});
    writeFile(dir / "database V2", SeratoDatabase::data({record}));
    writeFile(dir / ".morrowdeck" / "library.dbsnap",
              SeratoDatabase::snapshot({{"House/a.mp3", pfil}, {"House/b.mp3", {}}}));
    SeratoSqlite(dir / "master.sqlite", SeratoSqlite::Schema::minimal);
    EXPECT_EQ(inspectJson(dir / "master.sqlite")["kind"], "sqlite");  // told by content
    const std::pair<const char*, const char*> cases[] = {
        {"database V2",
         R"({"kind":"database","version":"2.0/Serato Scratch LIVE Database","records":[{"path":
            "Music/a.mp3","fields":[{"tag":"pfil","text":"Music/a.mp3"},{"tag":"uadd","u32":
            1652487364},{"tag":"tbad","hex":"00"}]}]})"},
        {".morrowdeck/library.dbsnap",
         R"({"kind":"snapshot","entries":[{"relPath":"House/a.mp3","path":"Music/a.mp3"},
                                          {"relPath":"House/b.mp3","path":null}]})"},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(nlohmann::json(inspectJson(dir / file)), nlohmann::json::parse(expected)) << file;
}

// Serato's library database: volumes, the crate tree with track counts per volume, smart
// crates, the number of tracks, and what could not be read.
TEST(Inspect, MasterDatabaseVolumesCratesAndTracks) {
    TempDir dir;
    {
        test::MasterDatabaseFixture db(dir / "master.sqlite");
        const auto home = db.addVolume("/Users/dj"), drive = db.addVolume("/Volumes/GIG");
        const auto house = db.addCrate("House");
        db.addCrate("Deep", house);
        db.addSmartCrate("Recent", "<rules/>");
        db.addEntry(house, db.addAsset(home, "Music/a.mp3"), 1);
        db.addEntry(house, db.addAsset(drive, "b.mp3"), 2);
        db.addEntry(house, db.addAsset(drive, "c.mp3"), 3);
        db.sql().exec("UPDATE container SET parent_id = 99 WHERE name = 'Deep'");
    }
    const auto json = inspectJson(dir / "master.sqlite");
    EXPECT_EQ(json["kind"], "sqlite");
    EXPECT_EQ(json["volumes"].size(), 2u);
    EXPECT_EQ(json["volumes"][1]["path"], "/Volumes/GIG");
    EXPECT_EQ(json["assets"], 3);
    ASSERT_EQ(json["crates"].size(), 3u);
    EXPECT_EQ(nlohmann::json(json["crates"][0]["tracks"]),
              nlohmann::json::parse(R"([{"volume":1,"tracks":1},{"volume":2,"tracks":2}])"));
    EXPECT_EQ(json["crates"][2]["type"], "smartCrate");
    EXPECT_EQ(json["crates"][2]["rules"], "<rules/>");
    ASSERT_EQ(json["warnings"].size(), 1u);

    const auto text = runCli({"inspect", dir / "master.sqlite"}).out;
    for (const char* line : {"Volumes: 2\n  /Users/dj\n  /Volumes/GIG\n",
                             "  House — 1 track on /Users/dj, 2 tracks on /Volumes/GIG\n",
                             "  Recent (smart crate)\n", "  Deep\n", "Tracks: 3\n",
                             "Warning: Serato's database "})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
}

// The crates whose two versions differ: a backup's copy is compared with the crate files saved
// beside it, on the volume that agrees with most of them; any other database with the default
// library.
TEST(Inspect, MasterDatabaseCratesWhoseFileVersionDiffers) {
    TempDir dir;
    const fs::path saved = dir / "backup" / ".morrowdeck";
    {
        test::MasterDatabaseFixture db(saved / "master.sqlite");
        db.addVolume("/Users/dj");
        const auto drive = db.addVolume("/Volumes/GIG/");
        const auto house = db.addCrate("House"), deep = db.addCrate("Deep", house);
        const auto b = db.addAsset(drive, "b.mp3"), c = db.addAsset(drive, "c.mp3");
        db.addEntry(house, b, 1);
        db.addEntry(house, c, 2);
        db.addEntry(deep, b, 1);
    }
    writeFile(saved / "Subcrates" / "House.crate", CrateWriter::crateData({"b.mp3", "c.mp3"}));
    writeFile(saved / "Subcrates" / "House%%Deep.crate", CrateWriter::crateData({"c.mp3"}));
    const auto json = inspectJson(saved / "master.sqlite");
    EXPECT_EQ(nlohmann::json(json["differingCrates"]),
              (nlohmann::json{{"comparedWith", saved.native()}, {"crates", {"House/Deep"}}}));

    const ScopedHome home(dir.path());
    const fs::path library = dir / "Music" / "_Serato_";
    writeFile(library / "Subcrates" / "House.crate", CrateWriter::crateData({"b.mp3", "c.mp3"}));
    fs::copy_file(saved / "master.sqlite", dir / "master.sqlite");
    const std::string prefix = SeratoLibrary::volumeMountPrefix(library);
    SeratoSqlite(dir / "master.sqlite", SeratoSqlite::Schema::existing)
        .exec("UPDATE location SET path = " + sqlQuote(prefix.empty() ? "/" : prefix) +
              " WHERE id = 2");
    EXPECT_EQ(inspectJson(dir / "master.sqlite")["differingCrates"]["crates"], Json::array());
    writeFile(library / "Subcrates" / "House.crate", CrateWriter::crateData({"c.mp3", "b.mp3"}));
    const auto text = runCli({"inspect", dir / "master.sqlite"}).out;
    EXPECT_NE(text.find("Crates whose database and file versions differ (compared with " +
                        library.native() + "):\n  House\n"),
              std::string::npos)
        << text;
}

// The progress line: never a negative time left, never a cut inside a UTF-8 sequence, and
// nothing written when disabled or when nothing is shown.
TEST(ProgressLine, TimeLeftAndRedraw) {
    ProgressSnapshot snap;
    snap.totalFiles = 200, snap.completedFiles = 50, snap.bytesToCopy = 3'000'000;
    snap.processedBytes = 3'000'000, snap.skippedBytes = 500'000;  // sources grew
    snap.bytesPerSecond = 2'000'000;
    EXPECT_EQ(cli::progressText(snap), "25%  50/200 files  3.5 MB of 3 MB  2 MB/s  0s left");
    snap = {};
    snap.phase = "Copying\u2026";  // cut at 8 bytes would split the ellipsis
    std::ostringstream off, on;
    cli::ProgressLine disabled(off, false, 80), line(on, true, 9);
    for (cli::ProgressLine* progress : {&disabled, &line})
        progress->clear(), progress->show(snap), progress->clear(), progress->clear();
    EXPECT_EQ(off.str(), "");
    EXPECT_EQ(on.str(), "\rCopying\x1b[K\r\x1b[K");
}

}  // namespace
}  // namespace morrowdeck::test
