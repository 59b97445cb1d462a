#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace morrowdeck {

// The names the restored folders and files take below the audio target. Each keeps the name
// it has in the backup, except one the backup stored in another form (a name Windows refuses,
// or one that a file system ignoring case would confuse with another): it gets its own name
// back where the target's file system accepts that name and no other name in its folder
// would be taken for it. Otherwise the stored name stays, and whatever points at the file
// (a crate, a record) points at that name.
//
// Threads: one restore's work thread.
class TargetNames {
  public:
    // Whether `name` can be created in `folder` as it is; `stored` is the name the backup
    // holds it under.
    using Accepts = std::function<bool(const std::filesystem::path& folder, const std::string& name,
                                       const std::string& stored)>;

    // `originals`: stored path inside the backup -> the name it stands for (the catalog's).
    TargetNames(const std::map<std::string, std::string>& originals, std::filesystem::path target,
                Accepts accepts);

    // Makes a path inside the backup (a file, with its folders) known before any is named:
    // a name is only given back where none of its neighbours in the backup would clash.
    void add(const std::string& relPath);

    // The path below the target for a path inside the backup. The first answer for a path
    // is kept.
    const std::string& path(const std::string& relPath);

    // Whether the file system creates the name as it is in the folder: a trial folder of that
    // name must be made and then listed under it. One the system refuses for the name's sake
    // (invalid, or read back under another name, as exFAT drops a final dot) is not accepted;
    // any other failure is left to the copy, which reports it.
    static bool fileSystemAccepts(const std::filesystem::path& folder, const std::string& name);

    // The paths answered so far whose name stays in its stored form although the backup
    // recorded another (target path -> that name): what a run tells the user once.
    const std::map<std::string, std::string>& keptStored() const { return keptStored_; }

  private:
    const std::map<std::string, std::string>& originals_;
    std::filesystem::path target_;
    Accepts accepts_;
    // Folded names of the entries of each folder of the backup, and of the names given back in
    // each target folder.
    std::unordered_map<std::string, std::unordered_set<std::string>> inBackup_;
    std::unordered_map<std::string, std::unordered_set<std::string>> givenBack_;
    // Folder NUL folded name a stored name stands for -> the least of those stored names.
    std::unordered_map<std::string, std::string> firstOf_;
    std::unordered_map<std::string, std::string> chosen_;  // path in the backup -> target path
    std::map<std::string, std::string> keptStored_;
};

}  // namespace morrowdeck
