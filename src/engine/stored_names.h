#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace morrowdeck {

// The names one backup run stores its folders and files under. A name Windows refuses is
// stored in its safe form (SafeName), and of two names in one folder that a file system
// ignoring case and normalisation would take for one, the later one gets a quoted form; every
// other name is stored as it is. A path the backup already holds under the name itself
// (`held`, by path relative to the backup root) keeps it, so that a re-run finds the copies an
// earlier version made. The same name in the same folder always gets the same answer.
//
// Threads: one run's planning thread only.
class StoredNames {
  public:
    using Held = std::function<bool(const std::string& relPath)>;

    explicit StoredNames(Held held = {}) : held_(std::move(held)) {}

    // The stored form of `name` inside the stored folder `folder` (relative to the backup
    // root; "" for the root). The reference stays valid while this object lives.
    const std::string& name(const std::string& folder, std::string_view name);

    // The stored path of the components below `folder`, each named in the folder its
    // parents were stored as.
    std::string path(const std::string& folder, const std::vector<std::string>& components);

    // Each stored path whose last name differs from the name it was given for, with that
    // name: what a restore gives back.
    const std::map<std::string, std::string>& changed() const { return changed_; }

  private:
    Held held_;
    std::unordered_map<std::string, std::string> given_;  // folder NUL name -> stored name
    std::unordered_set<std::string> taken_;               // folder NUL folded stored name
    std::map<std::string, std::string> changed_;
};

// One sentence for a run's log: how many names `changed` holds (stored path -> the name it
// stands for) and the first few of them as "“AC:DC” → “AC：DC”", led by `lead` ("3 names " +
// lead + ": …"). "" when it holds none.
std::string changedNamesText(const std::map<std::string, std::string>& changed,
                             std::string_view lead);

}  // namespace morrowdeck
