// The desktop application: one main window over the window model. `--library DIR` (or DIR
// alone, as a file manager passes it) opens the library at DIR (a _Serato_ folder or a folder
// that holds one) instead of the library used last (or ~/Music/_Serato_). The window opens where it was, fitted into the screen.
#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <memory>

#include "app/app_settings.h"
#include "app/qt_main_queue.h"
#include "app/retired_engines.h"
#include "app/views/first_launch.h"
#include "app/views/main_window.h"
#include "app/views/saved_geometry.h"
#include "app/views/symbols.h"
#include "morrowdeck_version.h"
#include "platform/path_text.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Morrowdeck");
    QApplication::setOrganizationName("Morrowdeck");
    QApplication::setDesktopFileName("morrowdeck");
    QApplication::setApplicationVersion(morrowdeck::version);
    QApplication::setWindowIcon(QIcon(":/morrowdeck.svg"));
    QApplication::setQuitOnLastWindowClosed(true);

    QCommandLineParser parser;
    parser.setApplicationDescription("Back up and restore Serato DJ libraries.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption library("library", "Open the Serato library at DIR.", "DIR");
    parser.addOption(library);
    parser.addPositionalArgument("folder", "The Serato library to open (as --library).",
                                 "[FOLDER]");
    parser.process(app);

    std::optional<std::filesystem::path> libraryFolder;
    if (parser.isSet(library))
        libraryFolder = morrowdeck::platform::toPath(parser.value(library).toStdString());
    else if (!parser.positionalArguments().isEmpty())
        libraryFolder =
            morrowdeck::platform::toPath(parser.positionalArguments().constFirst().toStdString());

    int status = 0;
    {
        morrowdeck::MainWindow window(std::make_shared<morrowdeck::QtMainQueue>(), libraryFolder);
        morrowdeck::AppSettings remembered;
        const bool placed = morrowdeck::SavedGeometry::restore(window, remembered);
        window.show();
        QSettings settings("Morrowdeck", "Morrowdeck");
        if (morrowdeck::FirstLaunch::claim(settings) && !placed) morrowdeck::FirstLaunch::scheduleSizing();
        status = QApplication::exec();
        morrowdeck::SavedGeometry::save(window, remembered);
    }
    // The window's models hand a run still under way to a thread that cancels it; the process
    // ends only once it has stopped, while the application (and the queue its last messages
    // go to) still exists.
    morrowdeck::waitForRetiredEngines();
    return status;
}
