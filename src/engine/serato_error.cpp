#include "engine/serato_error.h"

namespace morrowdeck {

namespace {

std::string describe(SeratoError::Code code, const std::string& path) {
    switch (code) {
        case SeratoError::Code::libraryNotFound:
            return "No Serato library (_Serato_ folder) found at " + path + ".";
        case SeratoError::Code::destinationUnwritable:
            return "The destination " + path + " is not writable.";
        case SeratoError::Code::noCratesSelected:
            return "No crates are selected to back up.";
        case SeratoError::Code::noBackupFound:
            return "No backup found at " + path +
                   " \u2014 it holds no crate folders, smart crates or backup metadata.";
        case SeratoError::Code::seratoRunning:
            return "Quit Serato completely first, then try again.";
        case SeratoError::Code::crateNotInBackup:
            return "No crate named " + path + " in the backup.";
        case SeratoError::Code::noTarget:
            return "Nowhere to restore the library " + path +
                   " to: connect its drive or choose a folder for it.";
        case SeratoError::Code::noOriginalPaths:
            return "The backup in " + path +
                   " does not record where its tracks were; restore it one folder per crate.";
    }
    return {};
}

}  // namespace

SeratoError::SeratoError(Code code, std::string path)
    : code_(code), path_(std::move(path)), description_(describe(code_, path_)) {}

}  // namespace morrowdeck
