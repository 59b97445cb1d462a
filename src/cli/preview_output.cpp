#include "cli/preview_output.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "cli/json_output.h"
#include "library/formatting.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

std::string bytes(std::int64_t count) {
    return text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0)));
}

// "3 to copy (12 MB), 2 up to date (4 MB), 1 missing"
std::string tallyLine(const RunPreview::Tally& tally) {
    std::string line = std::to_string(tally.filesToCopy) + " to copy (" + bytes(tally.bytesToCopy) +
                       "), " + std::to_string(tally.filesUpToDate) + " up to date (" +
                       bytes(tally.bytesUpToDate) + ")";
    if (tally.filesToLink > 0) line += ", " + std::to_string(tally.filesToLink) + " to link";
    return line + ", " + std::to_string(tally.problems.size()) + " missing";
}

// What happens at files already there: {"new", "replaced", "kept", "restoredCopies"}.
nlohmann::ordered_json existingJson(const RunPreview::Tally& tally) {
    return {{"new", tally.filesToCopy - tally.filesToReplace - tally.filesBesideExisting},
            {"replaced", tally.filesToReplace},
            {"kept", tally.filesUpToDate},
            {"restoredCopies", tally.filesBesideExisting}};
}

nlohmann::ordered_json tallyJson(const RunPreview::Tally& tally, bool named, bool existing) {
    nlohmann::ordered_json row;
    if (named) row["name"] = tally.name;
    row["filesToCopy"] = tally.filesToCopy;
    row["bytesToCopy"] = tally.bytesToCopy;
    row["filesUpToDate"] = tally.filesUpToDate;
    row["bytesUpToDate"] = tally.bytesUpToDate;
    row["filesToLink"] = tally.filesToLink;
    if (existing) row["existing"] = existingJson(tally);
    auto missing = nlohmann::ordered_json::array();
    for (const auto& problem : tally.problems)
        missing.push_back(problem.path);
    row["missing"] = std::move(missing);
    if (!tally.leftOut.empty()) row["leftOut"] = tally.leftOut;
    return row;
}

// "Files: 3 new, 1 replaced, 2 kept, 1 written as "(restored)" copies"
std::string existingLine(const RunPreview::Tally& tally) {
    return "Files: " +
           std::to_string(tally.filesToCopy - tally.filesToReplace - tally.filesBesideExisting) +
           " new, " + std::to_string(tally.filesToReplace) + " replaced, " +
           std::to_string(tally.filesUpToDate) + " kept, " +
           std::to_string(tally.filesBesideExisting) + " written as \"(restored)\" copies";
}

}  // namespace

nlohmann::ordered_json problemsJson(const std::vector<RunProblem>& problems) {
    auto list = nlohmann::ordered_json::array();
    for (const auto& problem : problems) {
        list.push_back({{"path", problem.path},
                        {"kind", RunProblem::rawValue(problem.kind)},
                        {"message", problem.message}});
    }
    return list;
}

int printPreview(std::ostream& out, const RunPreview& preview, bool json, bool refuseWhenFull,
                 const nlohmann::ordered_json& extra) {
    const RunPreview::Tally total = preview.total();
    const bool fits = preview.fits();
    if (json) {
        auto crates = nlohmann::ordered_json::array();
        for (const auto& crate : preview.crates)
            crates.push_back(tallyJson(crate, true, preview.countsExisting));
        nlohmann::ordered_json document{
            {"crates", std::move(crates)},
            {"total", tallyJson(total, false, preview.countsExisting)},
            {"destination", platform::toUtf8(preview.destination)},
            {"drive", preview.drive},
            {"freeBytes", preview.freeBytes ? nlohmann::ordered_json(*preview.freeBytes)
                                            : nlohmann::ordered_json()},
            {"fits", fits},
            {"problems", problemsJson(total.problems)}};
        if (!preview.notices.empty()) document["notices"] = preview.notices;
        for (const auto& [key, value] : extra.items())
            document[key] = value;
        printJson(out, document);
    } else {
        for (const auto& crate : preview.crates) {
            out << crate.name << ": " << (crate.leftOut.empty() ? tallyLine(crate) : crate.leftOut)
                << '\n';
            for (const auto& problem : crate.problems)
                out << "  " << RunProblem::rawValue(problem.kind) << ": " << problem.path << '\n';
        }
        out << "Total: " << tallyLine(total) << '\n';
        if (preview.countsExisting) out << existingLine(total) << '\n';
        if (preview.freeBytes) {
            out << "Free on " << preview.drive << ": " << bytes(*preview.freeBytes) << " \u2014 "
                << (fits ? "fits." : "does not fit.") << '\n';
        }
        for (const auto& notice : preview.notices)
            out << "warning: " << notice << '\n';
        out.flush();
    }
    if (!fits && refuseWhenFull) {
        if (!json) std::cerr << preview.notEnoughSpaceText() << '\n';
        return exitUsage;
    }
    return total.problems.empty() ? exitOk : exitFailures;
}

}  // namespace morrowdeck::cli
