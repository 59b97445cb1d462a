#pragma once

#include <QString>

namespace morrowdeck {

// A problem the user must act on, as a model reports it to its window: what happened, what to
// do, and the one action that fixes it when there is one. The window shows it in its message
// bar; the model takes it back when the problem is fixed.
struct Notice {
    enum class Level { info, warning, error };
    // What the notice is about: fixing that (a library loads, another destination is chosen,
    // the backup that locked the library ends, a run starts) clears it.
    enum class Subject { library, libraryLocked, destination, reveal, run };
    enum class Action { none, chooseLibrary, chooseDestination };

    Level level = Level::error;
    Subject subject = Subject::run;
    QString text;    // what happened: "No _Serato_ folder in /media/usb."
    QString advice;  // what to do: "Choose the folder that contains _Serato_."
    Action action = Action::none;

    bool operator==(const Notice&) const = default;
};

}  // namespace morrowdeck
