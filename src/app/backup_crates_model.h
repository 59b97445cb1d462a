#pragma once

#include <QAbstractItemModel>
#include <filesystem>
#include <string>
#include <vector>

namespace morrowdeck {

// The crates of a backup as a tree with check boxes, for choosing which crates a restore
// brings back. Every crate starts checked. Checking or unchecking a crate does the same to the
// crates below it, and a crate with crates below shows whether all, some or none of them are
// checked. One column.
//
// Threads: UI thread only; cratesOf() reads a backup anywhere (it blocks on the drive).
class BackupCratesModel final : public QAbstractItemModel {
    Q_OBJECT

  public:
    explicit BackupCratesModel(QObject* parent = nullptr);

    // The crate paths of the backup at `backup` (components joined with "/", the crates' own
    // names): the crate folders its catalog lists, else every folder holding audio files (a
    // backup from before the catalog). The folder of the tracks in no crate is no crate.
    static std::vector<std::string> cratesOf(const std::filesystem::path& backup);

    // Shows these crates (the groups above them made as needed), all checked; none: empty.
    void setCrates(const std::vector<std::string>& paths);
    bool isEmpty() const { return roots_.empty(); }
    // At least one crate is checked.
    bool anyChecked() const;
    // The checked crates as RestoreEngine::setCrates takes them: a crate whose crates below
    // are all checked stands for them. Everything checked (or nothing shown): empty, which
    // restores the whole backup.
    std::vector<std::string> chosenPaths() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // A check box changed, or the crates were replaced.
    void checksChanged();

  private:
    struct Node {
        QString name;
        std::string path;  // components joined with "/"
        int parent = -1;   // -1 at the top
        int row = 0;       // among its parent's children
        std::vector<int> children;
        Qt::CheckState state = Qt::Checked;
    };

    const std::vector<int>& childrenOf(int node) const;
    QModelIndex indexOf(int node) const;
    void setSubtree(int node, Qt::CheckState state);
    void collectChosen(const std::vector<int>& level, std::vector<std::string>& into) const;

    std::vector<Node> nodes_;
    std::vector<int> roots_;
};

}  // namespace morrowdeck
