#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/crate.h"

namespace morrowdeck {

// The file name of each track of one crate inside the crate's backup folder. Each track keeps
// its own file name, except that a different track whose name is already taken in the folder
// (Trap/X.mp3 and Trap/Otros/X.mp3) gets a numbered one ("X (2).mp3"). Names compare as the
// destination may: ignoring case and Unicode normalisation. A numbered name never takes
// another track's own name. Names depend only on the crate's track list, so every run over
// the same crate gives the same names and finds its earlier copies up to date.
class CrateFileNames {
  public:
    // Names every track of the crate; numbered names are kept in storage, which must outlive
    // the views handed out.
    CrateFileNames(const Crate& crate, std::deque<std::string>& storage);

    // The file name of the track at index, and whether an earlier entry of the crate is the
    // same track (its path canonically equal), so that its file is already planned.
    std::pair<std::string_view, bool> nameFor(std::size_t index) const { return names_[index]; }

  private:
    std::vector<std::pair<std::string_view, bool>> names_;
};

}  // namespace morrowdeck
