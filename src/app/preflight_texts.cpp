#include "app/preflight_texts.h"

#include <QStringList>
#include <algorithm>

#include "app/pane_texts.h"

namespace morrowdeck::preflightText {

namespace {

QString files(std::int64_t count) {
    return paneText::countText(count) + (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

QString countOrDash(std::int64_t count) {
    return count > 0 ? paneText::countText(count) : QStringLiteral("—");
}

}  // namespace

QString totals(const RunPreview::Tally& total) {
    QStringList parts;
    parts << (total.filesToCopy > 0 ? files(total.filesToCopy) + QStringLiteral(" to copy (") +
                                          paneText::byteCountText(total.bytesToCopy) +
                                          QStringLiteral(")")
                                    : QStringLiteral("Nothing to copy"));
    if (total.filesToLink > 0) parts << paneText::countText(total.filesToLink) + QStringLiteral(" to link");
    if (total.filesUpToDate > 0)
        parts << paneText::countText(total.filesUpToDate) + QStringLiteral(" up to date");
    if (!total.problems.empty())
        parts << paneText::countText(static_cast<std::int64_t>(total.problems.size())) +
                     QStringLiteral(" missing");
    return parts.join(QStringLiteral(" • "));
}

QString fit(const RunPreview& preview) {
    if (preview.destination.empty())
        return QStringLiteral("Choose a destination to see what is already backed up there.");
    if (!preview.freeBytes) return {};
    if (!preview.fits()) return QString::fromStdString(preview.notEnoughSpaceText());
    // A volume without a name of its own (the system's "/") is not named; a Windows drive
    // without a label, named by its letter ("Z:"), reads "drive Z" before the text's own ':'.
    QString drive = QString::fromStdString(preview.drive);
    if (drive.size() == 2 && drive[0].isLetter() && drive[1] == QLatin1Char(':'))
        drive = QStringLiteral("drive ") + drive[0];
    const QString where = drive.isEmpty() || drive == QLatin1String("/")
                              ? QStringLiteral("Fits")
                              : QStringLiteral("Fits on ") + drive;
    return QStringLiteral("%1: %2 needed, %3 free.")
        .arg(where, paneText::byteCountText(preview.neededBytes()),
             paneText::byteCountText(std::max<std::int64_t>(*preview.freeBytes, 0)));
}

std::vector<Row> rows(const RunPreview& preview) {
    std::vector<Row> result;
    result.reserve(preview.crates.size());
    for (const auto& crate : preview.crates) {
        Row row;
        row.crate = QString::fromStdString(crate.name).replace(QLatin1Char('/'), QStringLiteral(" / "));
        QStringList copy;
        if (crate.filesToCopy > 0)
            copy << paneText::countText(crate.filesToCopy) + QStringLiteral(" (") +
                        paneText::byteCountText(crate.bytesToCopy) + QStringLiteral(")");
        if (crate.filesToLink > 0)
            copy << paneText::countText(crate.filesToLink) +
                        (crate.filesToLink == 1 ? QStringLiteral(" link") : QStringLiteral(" links"));
        row.toCopy = copy.isEmpty() ? QStringLiteral("—") : copy.join(QStringLiteral(" + "));
        row.upToDate = countOrDash(crate.filesUpToDate);
        if (!crate.problems.empty())
            row.missing = paneText::countText(static_cast<std::int64_t>(crate.problems.size()));
        result.push_back(std::move(row));
    }
    return result;
}

}  // namespace morrowdeck::preflightText
