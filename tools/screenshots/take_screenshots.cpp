// Renders the main window at its default size in five states into OUT: without a library,
// with a folder without a library chosen (the message bar), with the demo library loaded, in the middle of a backup and after it; then the restore
// window in three: fresh, in the middle of restoring that backup into RESTORE_FOLDER, and
// finished with the apply step's answer and "Undo Last Restore"; then the question before
// that undo, the window after it, a restore of the backup with a few files damaged and missing
// showing its problem list; then a later launch with the remembered destination and when the
// library was last backed up there, and that destination unplugged; last that window's summary
// before a backup, with some tracks gone. Run by tools/screenshot under a virtual display:
//   morrowdeck-screenshots OUT DEMO_FOLDER BACKUP_FOLDER RESTORE_FOLDER
#include <QApplication>
#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QScrollArea>
#include <QTimer>
#include <QTreeView>
#include <QScrollArea>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "app/app_model.h"
#include "app/app_settings.h"
#include "app/qt_main_queue.h"
#include "app/restore_model.h"
#include "app/views/detail_view.h"
#include "app/views/main_window.h"
#include "app/views/destination_section.h"
#include "app/views/detail_view.h"
#include "app/views/problem_list.h"
#include "app/views/preflight_summary.h"
#include "app/views/restore_window.h"
#include "app/views/sidebar_view.h"

using namespace morrowdeck;

namespace {

void save(QWidget& window, const QString& folder, const QString& name) {
    QApplication::processEvents();
    // Events processed above may have changed texts again; lay those out before the picture.
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QString file = QDir(folder).filePath(name + ".png");
    if (!window.grab().save(file)) {
        std::cerr << "could not write " << file.toStdString() << "\n";
        QApplication::exit(1);
        return;
    }
    std::cout << file.toStdString() << "\n";
}

// Ages the library's last backup onto `destination` by two days and marks three of its crates
// as changed since, as after a few days of crate editing.
void ageLastBackup(const std::filesystem::path& library, const std::filesystem::path& destination) {
    AppSettings settings;
    auto record = settings.lastBackup(library, destination);
    if (!record) {
        std::cerr << "no backup was recorded\n";
        return;
    }
    record->finished = record->finished.addDays(-2);
    int changed = 0;
    for (auto& [crate, tracks] : record->crates)
        if (changed++ < 3) tracks = ~tracks;
    settings.setLastBackup(library, *record);
}

// Damages three tracks of `backup` (new content in every crate folder that holds one, so the
// copy a restore reads no longer matches the manifest) and removes one name each of two others.
void damageBackup(const std::filesystem::path& backup) {
    namespace fs = std::filesystem;
    std::vector<fs::path> audio;
    for (auto it = fs::recursive_directory_iterator(backup); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory() && it->path().filename().native().starts_with('.')) {
            it.disable_recursion_pending();
        } else if (it->is_regular_file() && it->path().extension() != ".crate") {
            audio.push_back(it->path());
        }
    }
    std::sort(audio.begin(), audio.end());
    for (std::size_t i = 0; i < audio.size() && i < 5; ++i) {
        const fs::path chosen = audio[i * 7 % audio.size()];
        if (i >= 3) {
            fs::remove(chosen);
            continue;
        }
        for (const fs::path& file : audio)
            if (file.filename() == chosen.filename()) std::ofstream(file) << "damaged";
    }
}

// The summary before a backup, for a library read again after three of its files went and
// five grew: the crates that lost tracks carry a badge, and the breakdown is open.
void showPreflight(MainWindow& window, const std::filesystem::path& demo, const QString& out) {
    AppModel& model = window.model();
    const auto music = demo.parent_path() / "Music";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(music))
        if (entry.path().extension() == ".wav") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i < files.size() && i < 8; ++i) {
        if (i < 3) {
            std::filesystem::remove(files[i * 7]);
        } else {
            std::ofstream(files[i * 7], std::ios::app) << std::string(4096, '\0');
        }
    }
    auto taken = std::make_shared<bool>(false);
    QObject::connect(&model.plan(), &PlanModel::selectionPreviewChanged, &window, [&window, &model, out, taken] {
        if (!model.plan().selectionPreview() || model.library().isLoading() || *taken) return;
        *taken = true;
        QTimer::singleShot(0, &window, [&window, out] {
            window.sidebar()->tree()->expandAll();
            PreflightSummary& summary = *window.detail()->preflight();
            summary.crateToggle()->setChecked(true);
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            if (auto* scroll = window.detail()->findChild<QScrollArea*>())
                scroll->ensureWidgetVisible(summary.breakdown(), 0, 0);
            save(window, out, "13-preflight-summary");
            QApplication::quit();
        });
    });
    model.library().load(demo);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 5) {
        std::cerr << "usage: morrowdeck-screenshots OUT DEMO_FOLDER BACKUP_FOLDER RESTORE_FOLDER\n";
        return 2;
    }
    const QString out = argv[1];
    const std::filesystem::path demo = std::filesystem::path(argv[2]) / "_Serato_";
    const std::filesystem::path backup = argv[3];
    const std::filesystem::path restored = argv[4];
    QDir().mkpath(out);
    // Settings of this run only: every state starts as a first launch, whatever the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings.path());

    MainWindow window(std::make_shared<QtMainQueue>());
    AppModel& model = window.model();
    RestoreModel& restore = window.restoreModel();
    window.show();
    bool midRunTaken = false;
    bool midRestoreTaken = false;
    bool damagedRestore = false;  // the last restore, of a damaged backup
    bool firstLoadDone = false;

    QTimer::singleShot(300, &window, [&] {
        save(window, out, "1-no-library");
        // A folder without a library: the message bar says so and offers "Choose Library…".
        const std::filesystem::path stick = restored.parent_path() / "USB Stick";
        std::filesystem::create_directories(stick);
        model.library().open(stick);
        save(window, out, "1a-error-bar");
        // Pictures are taken on the next turn of the event loop, once the model has finished
        // the step that announced the change.
        QObject::connect(&model.library(), &LibraryModel::isLoadingChanged, &window, [&] {
            if (model.library().isLoading() || firstLoadDone) return;
            firstLoadDone = true;
            QTimer::singleShot(0, &window, [&] {
                window.sidebar()->tree()->expandAll();
                save(window, out, "2-library-loaded");
                model.plan().setDestinationURL(backup);
                BackupOptions options = model.plan().options();
                options.threadCount = 1;  // slow enough to catch the run half way
                model.plan().setOptions(options);
                model.start();
            });
        });
        model.library().load(demo);
    });
    QObject::connect(&model.run(), &RunModel::progressChanged, &window, [&] {
        const ProgressSnapshot& progress = model.run().progress();
        if (midRunTaken || progress.finished || progress.totalFiles < 1 ||
            progress.completedFiles * 3 < progress.totalFiles) {
            return;
        }
        midRunTaken = true;
        save(window, out, "3-backup-running");
    });
    QObject::connect(&model.run(), &RunModel::isRunningChanged, &window, [&] {
        if (model.run().isRunning()) return;
        if (!midRunTaken) std::cerr << "the backup ended before a mid-run picture was taken\n";
        QTimer::singleShot(0, &window, [&] {
            save(window, out, "4-backup-finished");
            window.openRestoreWindow();
            QTimer::singleShot(300, &window, [&] {
                save(*window.restoreWindow(), out, "5-restore-fresh");
                restore.setBackupURL(backup);
                restore.setAudioTargetURL(restored / "Music");
                restore.setSeratoURL(restored / "_Serato_");
                restore.start();
            });
        });
    });

    // The restore: half way, then finished with the apply step's answer.
    QObject::connect(&restore.run(), &RunModel::progressChanged, &window, [&] {
        const ProgressSnapshot& progress = restore.run().progress();
        if (midRestoreTaken || progress.finished || progress.totalFiles < 1 ||
            progress.completedFiles * 3 < progress.totalFiles) {
            return;
        }
        midRestoreTaken = true;
        // On the next turn, once the window has shown this snapshot.
        QTimer::singleShot(0, &window, [&] { save(*window.restoreWindow(), out, "6-restore-running"); });
    });
    QObject::connect(&restore.run(), &RunModel::isRunningChanged, &window, [&] {
        if (restore.run().isRunning()) return;
        if (damagedRestore) {
            QTimer::singleShot(0, &window, [&] {
                RestoreWindow& restoreWindow = *window.restoreWindow();
                restoreWindow.findChild<QScrollArea*>()->ensureWidgetVisible(
                    restoreWindow.problemList());
                save(restoreWindow, out, "10-restore-problems");
                restoreWindow.close();
                // A later launch opens the last library with its remembered destination.
                ageLastBackup(demo, backup);
                auto* later = new MainWindow(std::make_shared<QtMainQueue>());
                later->setAttribute(Qt::WA_DeleteOnClose);
                later->show();
                QObject::connect(&later->model().library(), &LibraryModel::isLoadingChanged, later, [&, later] {
                    if (later->model().library().isLoading()) return;
                    QTimer::singleShot(300, later, [&, later] {
                        later->sidebar()->tree()->expandAll();
                        save(*later, out, "11-remembered-destination");
                        // The drive unplugged: the folder is gone, the destination stays.
                        const auto unplugged = std::filesystem::path(backup.string() + "-unplugged");
                        std::filesystem::rename(backup, unplugged);
                        later->model().plan().checkDestination();
                        QTimer::singleShot(300, later, [&, later, unplugged] {
                            save(*later, out, "12-destination-not-connected");
                            std::filesystem::rename(unplugged, backup);
                            later->model().plan().checkDestination();
                            showPreflight(*later, demo, out);
                        });
                    });
                });
            });
            return;
        }
        if (!midRestoreTaken) std::cerr << "the restore ended before a mid-run picture was taken\n";
        QTimer::singleShot(0, &window, [&] { restore.applyToSerato(); });
    });
    QObject::connect(&restore, &RestoreModel::isApplyingChanged, &window, [&] {
        if (restore.isApplying()) return;
        QTimer::singleShot(0, &window, [&] {
            save(*window.restoreWindow(), out, "7-restore-finished");
            // The undo's question, answered "Undo" once it has been pictured.
            auto* poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                poll->stop();
                save(*box, out, "8-undo-confirmation");
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == "Undo") button->click();
            });
            poll->start(50);
            restore.undoLastRestore();
        });
    });
    QObject::connect(&restore.undo(), &UndoModel::isUndoingChanged, &window, [&] {
        if (restore.undo().isUndoing()) return;
        QTimer::singleShot(0, &window, [&] {
            save(*window.restoreWindow(), out, "9-undo-finished");
            damageBackup(backup);
            damagedRestore = true;
            restore.start();
        });
    });
    return QApplication::exec();
}
