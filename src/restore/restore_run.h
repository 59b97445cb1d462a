#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "library/serato_folder.h"
#include "restore/restore_engine.h"

namespace morrowdeck {

// The locations and working tables of one restore run (local to execute()).
struct RestoreEngine::Run {
    std::filesystem::path backupRoot;
    std::filesystem::path audioTarget;
    std::filesystem::path seratoRoot;
    bool overwrite = true;
    bool rebuildDatabase = true;
    std::uint32_t restoreTime = 0;  // seconds since 1970, taken once
    std::string volumePrefix;       // of the audio target

    std::map<std::string, std::string> pathMap;  // backup-relative path -> volume-relative path
    std::map<std::string, SeratoDatabase::Bytes> snapshotTable;  // relPath -> Serato's record
    std::map<std::string, SeratoDatabase::Bytes> recordTable;    // volume-relative path -> record

    std::filesystem::path crateFolder() const { return seratoRoot / SeratoFolder::crateFolder; }
    std::filesystem::path smartCrateFolder() const {
        return seratoRoot / SeratoFolder::smartCrateFolder;
    }
};

}  // namespace morrowdeck
