#include "restore/library_writer.h"

#include <cerrno>

#include "library/bounded_read.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"

namespace morrowdeck {

bool LibraryWriter::readExisting(const std::filesystem::path& file, std::uint64_t maxBytes,
                                 std::optional<Bytes>& existing) {
    // A name that cannot be there (too long, say) is the write's to report.
    existing.reset();
    if (!platform::itemExists(file)) return true;
    std::string reason;
    existing = readBoundedFile(file, maxBytes, reason);
    if (reason.empty()) return true;
    reporter_.countFailure({platform::toUtf8(file), RunProblem::Kind::failed, reason},
                           LogEntry::Level::error,
                           "Couldn't read the existing " + platform::toUtf8(file) + " (" + reason +
                               "): left it as it is; move it away or repair it and restore "
                               "again.");
    return false;
}

int LibraryWriter::write(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                         std::uint64_t maxBytes, Kind kind) {
    std::optional<Bytes> existing;
    if (maxBytes > 0 && !readExisting(file, maxBytes, existing)) return EIO;
    if (const std::string problem = journal_.save(file, kind); !problem.empty()) {
        reporter_.countFailure({platform::toUtf8(file), RunProblem::Kind::failed, problem},
                               LogEntry::Level::error,
                               "Couldn't save " + platform::toUtf8(file) +
                                   " before replacing it (" + problem + "): left it as it is.");
        return EIO;
    }
    const int error = platform::writeFileAtomically(file, bytes);
    if (error != 0) {
        reporter_.countFailedWrite(platform::toUtf8(file), error);
        return error;
    }
    journal_.wrote(file, kind);
    return 0;
}

std::string LibraryWriter::changeDatabase(UndoJournal& journal,
                                          const std::filesystem::path& database,
                                          const std::function<std::string()>& change) {
    if (std::string problem = journal.save(database, Kind::database); !problem.empty())
        return "Couldn't save " + platform::toUtf8(database) + " before changing it (" + problem +
               "); nothing was changed.";
    std::string problem = change();
    journal.wrote(database, Kind::database);
    return problem;
}

void LibraryWriter::prepareCopies(FileCopier::Options& options, std::size_t jobs) {
    hashes_.assign(jobs, std::nullopt);
    options.keepAs = [this](const std::string& dest, std::uint64_t) {
        return journal_.keepAs(dest);
    };
    options.hashed = [this](std::size_t index, const ContentHash& hash) { hashes_[index] = hash; };
}

void LibraryWriter::copyReported(std::size_t index, const std::string& dest,
                                 FileCopier::Outcome outcome) {
    journal_.copied(dest, outcome == FileCopier::Outcome::copied, hashes_[index]);
}

}  // namespace morrowdeck
