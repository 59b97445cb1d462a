#include "cli/progress_line.h"

#include <algorithm>
#include <ostream>

#include "library/formatting.h"

namespace morrowdeck::cli {

namespace {

std::string bytes(std::int64_t count) {
    return text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0)));
}

}  // namespace

std::string progressText(const ProgressSnapshot& snap) {
    // Until planning ends there is nothing to count yet.
    if (snap.totalFiles <= 0) return snap.phase;

    const std::int64_t percent = snap.completedFiles * 100 / snap.totalFiles;
    const std::int64_t done = snap.processedBytes + snap.skippedBytes;
    std::string line =
        std::to_string(percent) + "%  " + std::to_string(snap.completedFiles) + "/" +
        std::to_string(snap.totalFiles) + " files  " + bytes(done) + " of " +
        bytes(snap.bytesToCopy) + "  " +
        text::formatByteCount(static_cast<std::uint64_t>(std::max(snap.bytesPerSecond, 0.0))) +
        "/s";
    // A rate of a few bytes per second (only up-to-date files so far) gives absurd estimates.
    if (snap.bytesPerSecond > 1000) {
        const std::int64_t left = std::max<std::int64_t>(snap.bytesToCopy - done, 0);
        line +=
            "  " + text::formatDuration(static_cast<double>(left) / snap.bytesPerSecond) + " left";
    }
    return line;
}

void ProgressLine::show(const ProgressSnapshot& snapshot) {
    if (!enabled_) return;
    std::string line = progressText(snapshot);
    if (columns_ > 1 && line.size() >= columns_) {
        // Cut at a character boundary; bytes never undercount columns for this text.
        std::size_t end = columns_ - 1;
        while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
            --end;
        line.resize(end);
    }
    // Carriage return, the text, then erase whatever a longer earlier text left behind.
    out_ << '\r' << line << "\x1b[K" << std::flush;
    shown_ = true;
}

void ProgressLine::clear() {
    if (!enabled_ || !shown_) return;
    out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

}  // namespace morrowdeck::cli
