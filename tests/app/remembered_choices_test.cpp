#include "app/remembered_choices.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "app/app_settings.h"
#include "app/window_sizing.h"
#include "app_test_support.h"
#include "library/crate_writer.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

namespace {

Crate::Ptr crate(std::vector<std::string> components, std::vector<std::string> tracks) {
    auto made = std::make_shared<Crate>();
    made->name = components.back();
    made->components = std::move(components);
    made->crateFileURL = "/x.crate";
    made->tracks = std::move(tracks);
    return made;
}

// A library of crates, each a list of track paths, in a temporary folder.
void writeCrate(const fs::path& library, const std::string& name, const std::vector<std::string>& tracks) {
    const auto bytes = CrateWriter::crateData(tracks);
    std::ofstream(library / "Subcrates" / (name + ".crate"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

QStringList untickedNames(const SelectionModel& selection) {
    QStringList names;
    for (const auto& leaf : selection.allLeaves())
        if (!selection.selection().ids().contains(leaf->id)) names << QString::fromStdString(leaf->name);
    names.sort();
    return names;
}

}  // namespace

class RememberedChoicesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    int test_ = 0;
    // A settings file of each test's own.
    QString ini() const { return dir_.filePath(QStringLiteral("settings-%1.ini").arg(test_)); }

  private slots:
    void init() { ++test_; }

    void relativeTimes() {
        const struct {
            std::int64_t seconds;
            const char* text;
        } cases[] = {
            {-500, "just now"},     {0, "just now"},          {59, "just now"},
            {60, "1 minute ago"},   {5 * 60, "5 minutes ago"}, {3599, "59 minutes ago"},
            {3600, "1 hour ago"},   {23 * 3600, "23 hours ago"}, {24 * 3600, "yesterday"},
            {2 * 86400, "2 days ago"}, {13 * 86400, "13 days ago"}, {14 * 86400, "2 weeks ago"},
            {59 * 86400, "8 weeks ago"}, {60 * 86400, "2 months ago"}, {364 * 86400, "12 months ago"},
            {365 * 86400, "1 year ago"}, {3 * 365 * 86400, "3 years ago"},
        };
        for (const auto& c : cases) QCOMPARE(recordText::relativeTime(c.seconds), QString::fromUtf8(c.text));
    }

    void lastBackupTexts() {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        BackupRecord done;
        done.finished = now.addDays(-2);
        BackupRecord cancelled = done;
        cancelled.outcome = BackupRecord::Outcome::cancelled;
        BackupRecord problems = done;
        problems.outcome = BackupRecord::Outcome::problems;
        problems.failedFiles = 4;
        problems.missingFiles = 1;
        const struct {
            std::optional<BackupRecord> record;
            std::optional<std::size_t> changed;
            const char* text;
        } cases[] = {
            {std::nullopt, 3, "Never backed up"},
            {done, 3, "Last backup: 2 days ago — 3 crates changed since"},
            {done, 1, "Last backup: 2 days ago — 1 crate changed since"},
            {done, 0, "Last backup: 2 days ago — no crates changed since"},
            {done, std::nullopt, "Last backup: 2 days ago"},
            {cancelled, 2, "Last backup: 2 days ago (cancelled) — 2 crates changed since"},
            {problems, std::nullopt, "Last backup: 2 days ago (4 failed, 1 missing)"},
        };
        for (const auto& c : cases)
            QCOMPARE(recordText::lastBackup(c.record, now, c.changed), QString::fromUtf8(c.text));
    }

    // A crate changed when its ordered track list differs from the one saved; crates the run
    // did not save, or saved unchanged, do not count. The fingerprints survive their text.
    void changedCratesAndFingerprints() {
        const auto a = crate({"A"}, {"/m/1.mp3", "/m/2.mp3"});
        const auto b = crate({"B", "Sub"}, {"/m/3.mp3"});
        ProgressSnapshot snapshot;
        snapshot.finished = true;
        const BackupRecord record = BackupRecord::of("/backup", QDateTime::currentDateTimeUtc(), snapshot, {a, b});
        QCOMPARE(record.outcome, BackupRecord::Outcome::complete);
        QCOMPARE(BackupRecord::cratesFromText(record.cratesText(), 100), record.crates);
        QCOMPARE(BackupRecord::cratesFromText(record.cratesText(), 1).size(), std::size_t(1));
        QCOMPARE(BackupRecord::cratesFromText("zz nothing:here 0123456789abcdef:0123456789abcdeg", 100).size(),
                 std::size_t(0));

        const auto reordered = crate({"A"}, {"/m/2.mp3", "/m/1.mp3"});
        const auto sameB = crate({"B", "Sub"}, {"/m/3.mp3"});
        const auto renamed = crate({"B", "Other"}, {"/m/3.mp3", "/m/4.mp3"});
        // The split of names into components counts: "A/B" is not "AB".
        QVERIFY(BackupRecord::crateKey(*crate({"A", "B"}, {})) != BackupRecord::crateKey(*crate({"AB"}, {})));
        QCOMPARE(record.changedCrates({reordered, sameB, renamed}), std::size_t(1));
        QCOMPARE(record.changedCrates({a, sameB}), std::size_t(0));
    }

    void windowPlacement() {
        const QSize minimum(880, 580);
        const QRect screen(0, 0, 1366, 768);
        const struct {
            QRect saved, expected;
        } cases[] = {
            {{100, 100, 1000, 600}, {100, 100, 1000, 600}},   // fits: unchanged
            {{3000, 200, 1000, 600}, {366, 168, 1000, 600}},  // on a disconnected screen to the right
            {{-500, -300, 2560, 1440}, {0, 0, 1366, 768}},    // larger than the screen
            {{10, 10, 100, 100}, {10, 10, 880, 580}},         // below the minimum
        };
        for (const auto& c : cases) QCOMPARE(placeOnScreen(c.saved, screen, minimum), c.expected);
        // A screen smaller than the minimum: the window still fits.
        QCOMPARE(placeOnScreen({0, 0, 900, 600}, {0, 0, 800, 500}, minimum), QRect(0, 0, 800, 500));
    }

    void settingsRoundTrip() {
        AppSettings settings(ini());
        const fs::path library = "/music/_Serato_";
        BackupOptions options;
        options.duplicateMode = DuplicateMode::dedupHardLink;
        options.smartCrateMode = SmartCrateMode::asFolder;
        options.verifyExisting = false;
        options.threadCount = 3;
        options.keepReplaced = 0;
        settings.setBackupOptions(options);
        settings.setLastLibrary(library);
        settings.setDestination(library, "/media/usb/Backup");
        settings.setUntickedCrates(library, {"Genres/House"});
        settings.setWindowGeometry({QRect(10, 20, 900, 700), true});
        ProgressSnapshot snapshot;
        snapshot.finished = true;
        snapshot.copiedFiles = 12;
        snapshot.missingFiles = 2;
        const auto finished = QDateTime::fromMSecsSinceEpoch(1'800'000'000'123, Qt::UTC);
        const BackupRecord record =
            BackupRecord::of("/media/usb/Backup", finished, snapshot, {crate({"A"}, {"/t.mp3"})});
        settings.setLastBackup(library, record);
        settings.raw().sync();

        const AppSettings read(ini());
        QCOMPARE(read.backupOptions(), options);
        QCOMPARE(read.lastLibrary(), library);
        QCOMPARE(read.destination(library), fs::path("/media/usb/Backup"));
        QCOMPARE(read.destination("/other/_Serato_"), std::nullopt);
        QCOMPARE(read.untickedCrates(library), QStringList{"Genres/House"});
        QCOMPARE(read.windowGeometry()->normal, QRect(10, 20, 900, 700));
        QVERIFY(read.windowGeometry()->maximized);
        const auto back = read.lastBackup(library, "/media/usb/Backup");
        QVERIFY(back);
        QCOMPARE(back->finished, finished);
        QCOMPARE(back->outcome, BackupRecord::Outcome::problems);
        QCOMPARE(back->copiedFiles, 12);
        QCOMPARE(back->missingFiles, 2);
        QCOMPARE(back->crates, record.crates);
        QCOMPARE(read.lastBackup(library, "/elsewhere"), std::nullopt);
    }

    // An older, damaged or hostile file: wrong types, out-of-range numbers, relative paths,
    // huge lists, a library group under another library's hash. Nothing crashes and nothing
    // malformed is returned.
    void hostileSettings() {
        AppSettings good(ini());
        const fs::path library = "/music/_Serato_";
        good.setDestination(library, "/backup");
        good.setUntickedCrates(library, {"A"});
        ProgressSnapshot snapshot;
        snapshot.finished = true;
        good.setLastBackup(library, BackupRecord::of("/backup", QDateTime::currentDateTimeUtc(), snapshot, {}));
        good.raw().sync();
        // Corrupt each value behind the typed interface.
        QSettings raw(ini(), QSettings::IniFormat);
        const QString group = raw.allKeys().filter("/destination").first().section('/', 0, 1);
        const QString backup = raw.allKeys().filter("backups/").first().section('/', 0, 3);
        raw.setValue("lastLibrary", "relative/_Serato_");
        raw.setValue(group + "/destination", QRect(1, 2, 3, 4));
        QStringList huge;
        for (int i = 0; i < AppSettings::maxListEntries + 50; ++i) huge << QString::number(i);
        raw.setValue(group + "/untickedCrates", huge);
        raw.setValue(backup + "/finished", "yesterday");
        raw.setValue("options/sharedTracks", "symlinks");
        raw.setValue("options/smartCrates", 7);
        raw.setValue("options/recopyOnlyChanged", "perhaps");
        raw.setValue("options/parallelCopies", 100000);
        raw.setValue("options/keepReplaced", -4);
        raw.setValue("window/normalGeometry", "@Rect(0 0 -5 -5)");
        raw.sync();

        const AppSettings read(ini());
        QCOMPARE(read.lastLibrary(), std::nullopt);
        QCOMPARE(read.destination(library), std::nullopt);
        QCOMPARE(read.untickedCrates(library)->size(), AppSettings::maxListEntries);
        QCOMPARE(read.lastBackup(library, "/backup"), std::nullopt);
        BackupOptions expected;
        expected.threadCount = 32;
        expected.keepReplaced = 0;
        QCOMPARE(read.backupOptions(), expected);
        QCOMPARE(read.windowGeometry(), std::nullopt);

        // The library's group now names another path: nothing of it belongs to this library.
        raw.setValue(group + "/path", "/other/_Serato_");
        raw.setValue(group + "/destination", "/backup");
        raw.sync();
        QCOMPARE(AppSettings(ini()).destination(library), std::nullopt);
        // A file that is not an ini file at all reads as empty.
        raw.clear();
        raw.sync();
        std::ofstream(ini().toStdString(), std::ios::binary) << std::string("\0\xff[[[=\n\x01", 8);
        const AppSettings garbage(ini());
        QCOMPARE(garbage.lastLibrary(), std::nullopt);
        QCOMPARE(garbage.backupOptions(), BackupOptions{});
    }

    // A settings file that cannot be written (its folder is a file): the choices hold for
    // this run, saving reports the failure, and nothing is left behind.
    void unwritableSettings() {
        const QString blocker = dir_.filePath(QStringLiteral("blocker-%1").arg(test_));
        std::ofstream(blocker.toStdString()) << "a file, not a folder";
        const QString path = blocker + QStringLiteral("/settings.ini");
        AppSettings settings(path);
        settings.setLastLibrary("/music/_Serato_");
        settings.raw().sync();
        QCOMPARE(settings.raw().status(), QSettings::AccessError);
        QCOMPARE(settings.lastLibrary(), fs::path("/music/_Serato_"));
        QVERIFY(!QFileInfo::exists(path));
    }

    // Ticks are kept per library across a reload; a crate added since is ticked, one unticked
    // stays so; the destination and options come back with a new window model.
    void choicesComeBack() {
        QTemporaryDir root;
        const fs::path library = fs::path(root.path().toStdString()) / "_Serato_";
        fs::create_directories(library / "Subcrates");
        fs::copy_file(MORROWDECK_FIXTURES "/database-only/database V2", library / "database V2");
        writeCrate(library, "Alpha", {"Music/a.mp3"});
        writeCrate(library, "Beta", {"Music/b.mp3"});
        writeCrate(library, "Alpha%%Sub", {"Music/s.mp3"});  // a crate inside a crate
        const fs::path destination = fs::path(root.path().toStdString()) / "Backup";
        fs::create_directory(destination);
        AppSettings settings(ini());
        {
            LoadedModel m;
            RememberedChoices remembered(*m.model, settings);
            QVERIFY(m.load(library));
            SelectionModel& selection = m.model->selection();
            for (const auto& leaf : selection.allLeaves())
                if (leaf->name == "Beta" || leaf->name == "Sub") selection.toggle(*leaf);
            m.model->plan().setDestinationURL(destination);
            m.model->plan().setOptions(BackupOptions{.threadCount = 5});
            QCOMPARE(remembered.lastBackupText(), QStringLiteral("Never backed up"));

            writeCrate(library, "Gamma", {"Music/c.mp3"});
            QVERIFY(m.load(library));  // Reload
            // Gamma is ticked; Alpha, whose sub-crate is not, stays ticked itself.
            QCOMPARE(untickedNames(selection), (QStringList{"Beta", "Sub"}));
            QVERIFY(std::any_of(selection.allLeaves().begin(), selection.allLeaves().end(),
                                [](const auto& leaf) { return leaf->name == "Gamma"; }));
        }
        LoadedModel m;
        RememberedChoices remembered(*m.model, settings);
        QCOMPARE(m.model->plan().options().threadCount, 5);
        QCOMPARE(remembered.initialLibrary(), library);
        QVERIFY(m.load(*remembered.initialLibrary()));
        QCOMPARE(m.model->plan().destinationURL(), destination);
        QCOMPARE(untickedNames(m.model->selection()), (QStringList{"Beta", "Sub"}));

        // A library that is gone is not loaded at start.
        fs::remove_all(library);
        QCOMPARE(remembered.initialLibrary(), std::nullopt);
    }

    // A finished run is recorded for its library and destination; crates changed since are
    // counted against the loaded library. A destination whose folder is missing stays
    // remembered, reads as not connected and cannot be started.
    void backupRecordAndUnpluggedDrive() {
        QTemporaryDir root;
        const fs::path destination = fs::path(root.path().toStdString()) / "Backup";
        fs::create_directory(destination);
        AppSettings settings(ini());
        {
            LoadedModel m;
            RememberedChoices remembered(*m.model, settings);
            QVERIFY(m.load());
            m.model->plan().setDestinationURL(destination);
            QVERIFY(m.queue->runWhile([&] { return !m.model->plan().destinationConnected(); }));
            QSignalSpy changed(&remembered, &RememberedChoices::lastBackupChanged);
            m.model->start();
            QVERIFY(m.queue->runWhile([&] { return m.model->run().isRunning(); }));
            QVERIFY(changed.count() >= 1);
            QCOMPARE(remembered.lastBackupText(), QStringLiteral("Last backup: just now — no crates changed since"));
            QCOMPARE(remembered.lastBackup()->outcome, BackupRecord::Outcome::complete);
            QCOMPARE(remembered.lastBackup()->crates.size(), m.model->selection().allLeaves().size());
            QVERIFY(remembered.lastBackup()->copiedFiles > 0);
        }
        fs::remove_all(destination);
        LoadedModel m;
        RememberedChoices remembered(*m.model, settings);
        QVERIFY(m.load());
        QCOMPARE(m.model->plan().destinationURL(), destination);
        QVERIFY(m.queue->runWhile([&] { return !m.model->plan().destinationConnected(); }));
        QCOMPARE(m.model->plan().destinationConnected(), false);
        QVERIFY(!m.model->canStart());
        QVERIFY(remembered.lastBackupText().startsWith("Last backup: just now"));
        QCOMPARE(settings.destination(demoLibrary()), destination);
        // Plugged in again.
        fs::create_directory(destination);
        m.model->plan().checkDestination();
        QVERIFY(m.queue->runWhile([&] { return !m.model->plan().destinationConnected().value_or(false); }));
        QVERIFY(m.model->canStart());
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::RememberedChoicesTest)

#include "remembered_choices_test.moc"
