// The crate tree as the union of the crate files and the crates of Serato's database: which
// database crates belong to a library's volume, which list is shown, and what a database that
// cannot be used leaves (the crate files, with a warning).
#include <gtest/gtest.h>

#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "support/master_database_fixture.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoLibrary {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Source = Crate::Source;
using test::MasterDatabaseFixture;

const Crate* find(const std::vector<Crate::Ptr>& forest, const Names& path) {
    const std::vector<Crate::Ptr>* level = &forest;
    const Crate* found = nullptr;
    for (const auto& name : path) {
        found = nullptr;
        for (const auto& crate : *level)
            if (crate->name == name) found = crate.get();
        if (!found) return nullptr;
        level = &found->children;
    }
    return found;
}

// The crate at path; a missing one fails the test where it is asked for.
const Crate& at(const std::vector<Crate::Ptr>& forest, const Names& path) {
    const Crate* crate = find(forest, path);
    if (!crate) throw std::runtime_error("no crate " + testing::PrintToString(path));
    return *crate;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

class DatabaseCratesTest : public testing::Test {
  protected:
    void crateFile(const std::string& file, const Names& paths) {
        test::writeFile(library / (file.ends_with(".scrate") ? "SmartCrates" : "Subcrates") / file,
                        CrateWriter::crateData(paths));
    }
    LoadedCrates load(const std::string& volume, std::vector<std::string>* warnings = nullptr) {
        return SeratoLibrary::load(library, {master, volume, std::chrono::milliseconds(50)},
                                   warnings);
    }

    test::TempDir dir;
    fs::path library = dir / "_Serato_";
    fs::path master = dir / "master.sqlite";
};

// Two volumes (the system drive and a USB drive), nested crates, a smart crate, an empty crate,
// a container of an unknown kind, lists in list_order, and crate files that agree, differ or
// exist alone.
TEST_F(DatabaseCratesTest, UnionOfFilesAndTheDatabaseCratesOfTheLibrarysVolume) {
    {
        MasterDatabaseFixture db(master);
        const auto root = db.addVolume("/");
        const auto usb = db.addVolume("/media/dj/USB/");
        const auto house = db.addCrate("House");
        const auto deep = db.addCrate(" Deep ", house);
        const auto gig = db.addCrate("Gig");
        db.addCrate("Empty");
        const auto smart = db.addSmartCrate("Recent", "<rules/>");
        db.sql().exec("INSERT INTO container (name, type, list_order) VALUES ('Folder', 7, 99)");
        const auto inside = db.addCrate("Inside", std::stoll(*db.sql().scalar(
                                                      "SELECT id FROM container WHERE type = 7")));
        const auto a = db.addAsset(root, "Music/a.mp3");
        const auto b = db.addAsset(root, "Music/Caf\xC3\xA9.mp3");
        const auto c = db.addAsset(usb, "Tracks/c.mp3");
        db.addEntry(house, b, 2);
        db.addEntry(house, a, 1);
        db.addEntry(house, c, 1);
        db.addEntry(deep, a, 1);
        db.addEntry(deep, b, 2);
        db.addEntry(gig, c, 1);
        db.sql().exec("INSERT INTO location (id, path) VALUES (9, NULL)");  // no mount point
        db.addEntry(gig, db.addAsset(9, "n.mp3"), 2);
        db.addEntry(smart, a, 1);
        db.addEntry(inside, b, 1);
    }
    // The same list (one path decomposed), another order, and a crate only in files.
    crateFile("House.crate", {"Music/a.mp3", "/Music/Cafe\xCC\x81.mp3"});
    crateFile("House%%Deep.crate", {"Music/Cafe\xCC\x81.mp3", "Music/a.mp3"});
    crateFile("Files Only.crate", {"Music/x.mp3"});

    std::vector<std::string> warnings;
    const auto loaded = load("", &warnings);
    const auto& forest = loaded.forest;
    EXPECT_TRUE(loaded.databaseRead);
    const Crate& house = at(forest, {"House"});
    EXPECT_EQ(house.source, Source::both);
    EXPECT_FALSE(house.listsDiffer);
    EXPECT_EQ(house.tracks, (Names{"/Music/a.mp3", "/Music/Caf\xC3\xA9.mp3"}));
    const Crate& deep = at(forest, {"House", "Deep"});
    EXPECT_TRUE(deep.listsDiffer);
    EXPECT_EQ(deep.tracks, (Names{"/Music/a.mp3", "/Music/Caf\xC3\xA9.mp3"}));
    EXPECT_EQ(at(forest, {"Files Only"}).source, Source::files);
    const Crate& empty = at(forest, {"Empty"});
    EXPECT_EQ(empty.source, Source::database);
    EXPECT_FALSE(empty.crateFileURL);
    EXPECT_TRUE(empty.isLeaf() && empty.tracks.empty());
    EXPECT_EQ(find(forest, {"Gig"}), nullptr);  // its tracks are on other volumes only
    const Crate& recent = at(forest, {"Smart Crates", "Recent"});
    EXPECT_TRUE(recent.isSmart);
    EXPECT_EQ(recent.tracks, Names{"/Music/a.mp3"});
    EXPECT_EQ(at(forest, {"Smart Crates"}).source, Source::database);
    EXPECT_FALSE(at(forest, {"Folder"}).isLeaf());
    EXPECT_EQ(at(forest, {"Folder", "Inside"}).source, Source::database);
    EXPECT_EQ(warnings,
              (Names{"Serato's database " + test::text(master) +
                         " holds crates of a kind this program does not know (type 7); they "
                         "were left out.",
                     "These crates list other tracks in Serato's database than in their crate "
                     "files: House/Deep. The database's lists are shown; a backup keeps both."}));

    // The same database seen from a library on the USB drive without crate files: its tracks
    // there, the empty crate is the system drive's, and House comes along as Gig does.
    fs::remove_all(library);
    fs::create_directories(library / "Subcrates");
    const auto drive = load("/media/dj/USB").forest;
    EXPECT_EQ(find(drive, {"Empty"}), nullptr);
    EXPECT_EQ(find(drive, {"House", "Deep"}), nullptr);
    EXPECT_EQ(at(drive, {"House"}).tracks, Names{"/media/dj/USB/Tracks/c.mp3"});
    EXPECT_EQ(at(drive, {"Gig"}).tracks, Names{"/media/dj/USB/Tracks/c.mp3"});
    EXPECT_EQ(find(drive, {"Smart Crates"}), nullptr);
}

// A parent with tracks on another volume only comes along, without tracks, for its child.
TEST_F(DatabaseCratesTest, AncestorsComeAlongAndNoMatchingVolumeLeavesTheFiles) {
    {
        MasterDatabaseFixture db(master);
        const auto root = db.addVolume("/");
        const auto usb = db.addVolume("/media/dj/USB");
        const auto parent = db.addCrate("Parent");
        db.addEntry(parent, db.addAsset(usb, "p.mp3"), 1);
        db.addEntry(db.addCrate("Child", parent), db.addAsset(root, "c.mp3"), 1);
    }
    const auto forest = load("").forest;
    at(forest, {"Parent", "Child"});
    EXPECT_TRUE(at(forest, {"Parent"}).isLeaf());
    EXPECT_TRUE(at(forest, {"Parent"}).tracks.empty());

    crateFile("Mine.crate", {"m.mp3"});
    std::vector<std::string> warnings;
    const auto other = load("/media/other", &warnings);
    EXPECT_FALSE(other.databaseRead);
    ASSERT_EQ(other.forest.size(), 1u);
    EXPECT_EQ(other.forest[0]->source, Source::files);
    EXPECT_EQ(warnings, Names{"Serato's database " + test::text(master) +
                              " lists no volume mounted at /media/other, where the library is; "
                              "its crates were left out and the crate files are loaded alone."});
}

// Damaged (unopenable or cut short), newer or missing: the crate files load every time; only a
// missing database (older Serato) goes unmentioned. Why a database cannot be read (a lock
// among them) is the reader's to test.
TEST_F(DatabaseCratesTest, AnUnusableDatabaseNeverStopsTheCrateFiles) {
    crateFile("Mine.crate", {"m.mp3"});
    // Enough tracks that half the file misses pages of their table.
    const auto build = [&] {
        fs::remove(master);
        MasterDatabaseFixture db(master);
        const auto volume = db.addVolume("/");
        db.addEntry(db.addCrate("Db"), db.addAsset(volume, "d.mp3"), 1);
        db.sql().exec("BEGIN");
        for (int i = 0; i < 400; ++i)
            db.addAsset(volume, std::to_string(i) + ".mp3",
                        {{"comments", "'" + std::string(200, 'x') + "'"}});
        db.sql().exec("COMMIT");
    };
    const auto check = [&](const std::string& what, const std::string& warning, Names crates) {
        std::vector<std::string> warnings;
        const auto loaded = load("", &warnings);
        Names names;
        for (const auto& crate : loaded.forest) names.push_back(crate->name);
        EXPECT_EQ(names, crates) << what;
        EXPECT_NE(joined(warnings).find(warning), std::string::npos) << what << ": " << joined(warnings);
        EXPECT_EQ(warnings.size(), warning.empty() ? 0u : 1u) << what << ": " << joined(warnings);
    };

    build();
    const auto bytes = test::readBytes(master);
    test::writeFile(master, std::string(8192, 'Z'));
    check("garbage", "file is not a database. Its crates were left out", {"Mine"});
    test::writeFile(
        master,
        std::vector(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)));
    check("truncated", "Its crates were left out", {"Mine"});

    build();
    test::SeratoSqlite(master, test::SeratoSqlite::Schema::existing).exec(
        "CREATE TABLE future (x); ALTER TABLE container ADD COLUMN mood TEXT");
    check("newer", "columns this program does not know (container.mood)", {"Db", "Mine"});

    fs::remove(master);
    check("missing", "", {"Mine"});
}

}  // namespace
}  // namespace morrowdeck::SeratoLibrary
