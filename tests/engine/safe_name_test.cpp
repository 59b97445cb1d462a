// Names Windows refuses are stored in a readable form that gives back exactly the name, and
// one run never stores two names a case-ignoring file system would take for one.
#include "engine/safe_name.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/stored_names.h"

namespace morrowdeck {
namespace {

TEST(SafeName, RefusedNamesAndTheirStoredForms) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Why?.mp3", "Why？.mp3"},
        {"AC:DC", "AC：DC"},
        {"a*b\"c<d>e|f\\g", "a＊b＂c＜d＞e｜f＼g"},
        {"tab\there\x01", "tab␉here␁"},
        {"Hits.", "Hits．"},
        {"Hits. .", "Hits. ．"},
        {"Hits ", "Hits␠"},
        {"CON", "ＣON"},
        {"con.txt", "ｃon.txt"},
        {"Aux .mp3", "Ａux .mp3"},
        {"nul.tar.gz", "ｎul.tar.gz"},
        {"COM1", "ＣOM1"},
        {"lpt9.wav", "ｌpt9.wav"},
        {"COM\u00B9", "ＣOM\u00B9"},
        // Characters the stored form uses are quoted, so that they come back as they were.
        {"Ｑ？‛␠ and ?", "‛Ｑ‛？‛‛‛␠ and ？"},
    };
    for (const auto& [name, stored] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(SafeName::isRefused(name));
        EXPECT_EQ(SafeName::encode(name), stored);
        EXPECT_FALSE(SafeName::isRefused(stored));
        EXPECT_EQ(SafeName::decode(stored), name);
    }
    for (const std::string name : {"House", "a.mp3", "CONSOLE.mp3", "COM10", "LPT", "con-men",
                                   ".hidden", "100% Hits", "Ｑ？ full width", "Café 🔥"})
        EXPECT_FALSE(SafeName::isRefused(name)) << name;
}

TEST(SafeName, EveryNameAndQuotedFormComesBack) {
    for (const std::string name :
         {"house", "Why?.mp3", "Ünï?", "CON.", "a\xff?b", "‛", "‛house", "x ", ""}) {
        for (std::size_t quoted = 0; quoted <= name.size() + 1; ++quoted) {
            const std::string stored = SafeName::encode(name, quoted);
            EXPECT_EQ(SafeName::decode(stored), name) << name << " " << quoted;
            EXPECT_FALSE(SafeName::isRefused(stored)) << stored;
        }
    }
}

// Within one folder: a refused name gets its stored form, and of names equal ignoring case and
// normalisation (stored forms included) the later ones get quoted forms. A name the backup
// already holds stays as it is.
TEST(StoredNames, OneFolderNeverHoldsTwoNamesTakenForOne) {
    std::set<std::string> held{"Old/Why?.mp3", "Old/why?.mp3"};
    StoredNames names([&](const std::string& path) { return held.contains(path); });
    EXPECT_EQ(names.name("", "House"), "House");
    EXPECT_EQ(names.name("", "house"), "‛house");
    EXPECT_EQ(names.name("", "HOUSE"), "‛H‛OUSE");
    EXPECT_EQ(names.name("", "house"), "‛house");  // the same name, the same answer
    EXPECT_EQ(names.name("", "Caf\u00E9"), "Caf\u00E9");
    EXPECT_EQ(names.name("", "Cafe\u0301"), "‛Cafe\u0301");
    EXPECT_EQ(names.name("House", "Why?.mp3"), "Why？.mp3");
    EXPECT_EQ(names.name("House", "why？.mp3"), "why‛？.mp3");
    EXPECT_EQ(names.name("House", "house"), "house");  // another folder
    EXPECT_EQ(names.path("", {"AC:DC", "Why?.mp3"}), "AC：DC/Why？.mp3");
    EXPECT_EQ(names.name("Old", "Why?.mp3"), "Why?.mp3");
    EXPECT_EQ(names.name("Old", "why?.mp3"), "why?.mp3");
    EXPECT_EQ(names.name("Old", "WHY?.mp3"), "WHY？.mp3");

    const std::map<std::string, std::string> changed{{"‛house", "house"},
                                                     {"‛H‛OUSE", "HOUSE"},
                                                     {"‛Cafe\u0301", "Cafe\u0301"},
                                                     {"House/Why？.mp3", "Why?.mp3"},
                                                     {"House/why‛？.mp3", "why？.mp3"},
                                                     {"AC：DC", "AC:DC"},
                                                     {"AC：DC/Why？.mp3", "Why?.mp3"},
                                                     {"Old/WHY？.mp3", "WHY?.mp3"}};
    EXPECT_EQ(names.changed(), changed);
}

}  // namespace
}  // namespace morrowdeck
