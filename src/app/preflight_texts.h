#pragma once

#include <QString>
#include <vector>

#include "engine/run_preview.h"

// The texts of the summary of what a backup will do, shown before it starts, as pure
// functions of the engine's plan.
namespace morrowdeck::preflightText {

// "312 files to copy (1.2 GB) • 1,688 up to date • 3 missing": the files to copy (or "Nothing
// to copy"), then those to link, up to date and missing when there are any.
QString totals(const RunPreview::Tally& total);

// Whether the files to copy fit: "Fits on {drive}: {need} needed, {free} free." ("Fits: …" on
// a volume without a name), the engine's
// "Not enough space on …" otherwise, a prompt without a destination, "" when the free space
// is unknown.
QString fit(const RunPreview& preview);

// One crate's line of the breakdown.
struct Row {
    QString crate;     // "House / Deep"
    QString toCopy;    // "12 (45 MB)", "12 (45 MB) + 3 links", "—" for none
    QString upToDate;  // "1,688", "—" for none
    QString missing;   // "3", "" for none
    bool operator==(const Row&) const = default;
};
std::vector<Row> rows(const RunPreview& preview);

}  // namespace morrowdeck::preflightText
