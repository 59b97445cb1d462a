#pragma once

#include <exception>
#include <string>

namespace morrowdeck {

// The engines' own start-condition failures. The description is the error's only text: the
// models show it as their status line and as one error log line.
class SeratoError : public std::exception {
  public:
    enum class Code {
        libraryNotFound,
        destinationUnwritable,
        noCratesSelected,
        noBackupFound,
        seratoRunning,
        crateNotInBackup,
        noTarget,
        noOriginalPaths
    };

    static SeratoError libraryNotFound(std::string path) {
        return {Code::libraryNotFound, std::move(path)};
    }
    static SeratoError destinationUnwritable(std::string path) {
        return {Code::destinationUnwritable, std::move(path)};
    }
    static SeratoError noCratesSelected() { return {Code::noCratesSelected, {}}; }
    static SeratoError noBackupFound(std::string path) {
        return {Code::noBackupFound, std::move(path)};
    }
    // A crate chosen for a restore, by its path ("House/Deep"), that the backup does not hold.
    static SeratoError crateNotInBackup(std::string cratePath) {
        return {Code::crateNotInBackup, std::move(cratePath)};
    }
    // A library of the backup, by its name, that a restore as it was has no place for.
    static SeratoError noTarget(std::string member) { return {Code::noTarget, std::move(member)}; }
    // A backup, by its folder, that does not record where its tracks were (an earlier version's).
    static SeratoError noOriginalPaths(std::string path) {
        return {Code::noOriginalPaths, std::move(path)};
    }
    // Serato is open: a run that writes into its library or database does not start.
    static SeratoError seratoRunning() { return {Code::seratoRunning, {}}; }

    Code code() const { return code_; }
    const std::string& path() const { return path_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    SeratoError(Code code, std::string path);

    Code code_;
    std::string path_;
    std::string description_;
};

}  // namespace morrowdeck
