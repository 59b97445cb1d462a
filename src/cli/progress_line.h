#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "engine/progress_snapshot.h"

namespace morrowdeck::cli {

// The one-line progress text: the phase while planning, then percentage, files, bytes,
// rate and (once the rate means something) the time left, for example
// "42%  126/300 files  1.2 MB of 2.9 MB  3.1 MB/s  1s left".
std::string progressText(const ProgressSnapshot& snapshot);

// Keeps the progress text on one terminal line, redrawn in place. Used on the main thread
// only. When disabled (the stream is not a terminal) every call does nothing, so scripts and
// logs never see carriage returns.
class ProgressLine {
  public:
    // `columns`: the terminal's width, 0 when unknown. A longer text is cut so that it never
    // wraps: a wrapped line could not be redrawn in place.
    ProgressLine(std::ostream& out, bool enabled, std::size_t columns = 0)
        : out_(out), enabled_(enabled), columns_(columns) {}

    void show(const ProgressSnapshot& snapshot);

    // Erases the line, before other output is printed and at the end.
    void clear();

  private:
    std::ostream& out_;
    bool enabled_;
    std::size_t columns_;
    bool shown_ = false;
};

}  // namespace morrowdeck::cli
