#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

namespace morrowdeck {

class LibraryModel;
class PlanModel;

// "Show in File Manager" for the library and for the backup's destination. After a backup it
// opens that run's destination, not one chosen since. The file manager is injected, so tests
// see what would be shown. A file manager that cannot be opened is reported, not ignored.
//
// Threads: UI thread only; the revealer may answer later (its failure callback holds this
// action through a QPointer).
class RevealAction final : public QObject {
    Q_OBJECT

  public:
    // Shows the folder; calls `failed` (now or later, on the UI thread) when nothing could.
    using Revealer =
        std::function<void(const std::filesystem::path&, std::function<void()> failed)>;

    // Reads the folders of `library` and `plan`, which outlive this.
    RevealAction(const LibraryModel& library, const PlanModel& plan, QObject* parent = nullptr);

    void setRevealer(Revealer revealer);
    // The destination of the backup just started.
    void setRunDestination(std::filesystem::path folder);

    void revealDestination();
    void revealLibrary();

  signals:
    // No file manager could show `folder`.
    void revealFailed(const QString& folder);

  private:
    void reveal(const std::filesystem::path& folder);

    const LibraryModel& library_;
    const PlanModel& plan_;
    Revealer reveal_;
    std::optional<std::filesystem::path> runDestination_;
};

}  // namespace morrowdeck
