#include "app/backup_crates_model.h"

#include <algorithm>
#include <map>

#include "engine/backup_catalog.h"
#include "engine/backup_layout.h"
#include "library/name_order.h"
#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"

namespace morrowdeck {

namespace fs = std::filesystem;

BackupCratesModel::BackupCratesModel(QObject* parent) : QAbstractItemModel(parent) {}

std::vector<std::string> BackupCratesModel::cratesOf(const fs::path& backup) {
    std::vector<std::string> paths;
    const auto catalog = BackupCatalog::read(backup);
    if (catalog && catalog->crates) {
        for (const auto& folder : *catalog->crates)
            if (folder != catalog->notInCrateFolder) paths.push_back(catalog->originalPath(folder));
        return paths;
    }
    // No catalog: the restore reads every folder with audio files as a crate.
    std::vector<std::string> skipped{std::string(BackupLayout::metadataFolder),
                                     std::string(BackupLayout::defaultStoreFolder)};
    if (catalog && !catalog->storeFolder.empty()) skipped.push_back(catalog->storeFolder);
    std::vector<RestoreEngine::CrateEntry> entries;
    std::vector<fs::path> scrates;
    std::error_code error;
    if (!fs::is_directory(backup, error)) return paths;
    RestoreEngine::scan(backup, backup, entries, scrates, skipped);
    for (const auto& entry : entries) {
        const std::string path = BackupLayout::joinComponents(entry.components);
        if (!path.empty() && (!catalog || path != catalog->notInCrateFolder))
            paths.push_back(catalog ? catalog->originalPath(path) : path);
    }
    return paths;
}

void BackupCratesModel::setCrates(const std::vector<std::string>& paths) {
    beginResetModel();
    nodes_.clear();
    roots_.clear();
    std::map<std::string, int> byKey;  // canonical path -> node: two spellings are one crate
    for (const auto& path : paths) {
        int parent = -1;
        std::string prefix;
        for (const auto& component : BackupLayout::splitComponents(path)) {
            prefix += (prefix.empty() ? "" : "/") + component;
            const auto [found, added] = byKey.try_emplace(text::nfcKey(prefix), int(nodes_.size()));
            if (added) {
                Node node;
                node.name = QString::fromStdString(component);
                node.path = prefix;
                node.parent = parent;
                nodes_.push_back(std::move(node));
                (parent < 0 ? roots_ : nodes_[std::size_t(parent)].children).push_back(found->second);
            }
            parent = found->second;
        }
    }
    const auto byName = [this](int a, int b) {
        return text::nameLess(nodes_[std::size_t(a)].name.toStdString(),
                              nodes_[std::size_t(b)].name.toStdString());
    };
    const auto order = [&](std::vector<int>& level) {
        std::sort(level.begin(), level.end(), byName);
        for (std::size_t row = 0; row < level.size(); ++row)
            nodes_[std::size_t(level[row])].row = int(row);
    };
    order(roots_);
    for (auto& node : nodes_)
        order(node.children);
    endResetModel();
    emit checksChanged();
}

bool BackupCratesModel::anyChecked() const {
    return std::any_of(roots_.begin(), roots_.end(),
                       [this](int root) { return nodes_[std::size_t(root)].state != Qt::Unchecked; });
}

std::vector<std::string> BackupCratesModel::chosenPaths() const {
    const bool all = std::all_of(roots_.begin(), roots_.end(), [this](int root) {
        return nodes_[std::size_t(root)].state == Qt::Checked;
    });
    std::vector<std::string> paths;
    if (!all) collectChosen(roots_, paths);
    return paths;
}

void BackupCratesModel::collectChosen(const std::vector<int>& level,
                                      std::vector<std::string>& into) const {
    for (const int id : level) {
        const Node& node = nodes_[std::size_t(id)];
        if (node.state == Qt::Checked) into.push_back(node.path);
        else if (node.state == Qt::PartiallyChecked) collectChosen(node.children, into);
    }
}

const std::vector<int>& BackupCratesModel::childrenOf(int node) const {
    return node < 0 ? roots_ : nodes_[std::size_t(node)].children;
}

QModelIndex BackupCratesModel::indexOf(int node) const {
    return createIndex(nodes_[std::size_t(node)].row, 0, quintptr(node));
}

QModelIndex BackupCratesModel::index(int row, int column, const QModelIndex& parent) const {
    const auto& level = childrenOf(parent.isValid() ? int(parent.internalId()) : -1);
    if (column != 0 || row < 0 || std::size_t(row) >= level.size()) return {};
    return createIndex(row, 0, quintptr(level[std::size_t(row)]));
}

QModelIndex BackupCratesModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const int parent = nodes_[std::size_t(child.internalId())].parent;
    return parent < 0 ? QModelIndex() : indexOf(parent);
}

int BackupCratesModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return int(childrenOf(parent.isValid() ? int(parent.internalId()) : -1).size());
}

int BackupCratesModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant BackupCratesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Node& node = nodes_[std::size_t(index.internalId())];
    switch (role) {
    case Qt::DisplayRole: return node.name;
    case Qt::CheckStateRole: return node.state;
    case Qt::ToolTipRole: return QString::fromStdString(node.path);
    default: return {};
    }
}

Qt::ItemFlags BackupCratesModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

// A click on a partly checked crate checks it and everything below; the crates above then
// show what their crates below now are.
bool BackupCratesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole) return false;
    const int id = int(index.internalId());
    const auto state = value.value<Qt::CheckState>() == Qt::Unchecked ? Qt::Unchecked : Qt::Checked;
    setSubtree(id, state);
    for (int up = nodes_[std::size_t(id)].parent; up >= 0; up = nodes_[std::size_t(up)].parent) {
        Node& node = nodes_[std::size_t(up)];
        const auto checked = std::count_if(node.children.begin(), node.children.end(), [this](int c) {
            return nodes_[std::size_t(c)].state == Qt::Checked;
        });
        const auto unchecked = std::count_if(node.children.begin(), node.children.end(), [this](int c) {
            return nodes_[std::size_t(c)].state == Qt::Unchecked;
        });
        const auto now = std::size_t(checked) == node.children.size()     ? Qt::Checked
                         : std::size_t(unchecked) == node.children.size() ? Qt::Unchecked
                                                                          : Qt::PartiallyChecked;
        if (now == node.state) break;
        node.state = now;
        const QModelIndex changed = indexOf(up);
        emit dataChanged(changed, changed, {Qt::CheckStateRole});
    }
    emit checksChanged();
    return true;
}

void BackupCratesModel::setSubtree(int id, Qt::CheckState state) {
    Node& node = nodes_[std::size_t(id)];
    if (node.state != state) {
        node.state = state;
        const QModelIndex changed = indexOf(id);
        emit dataChanged(changed, changed, {Qt::CheckStateRole});
    }
    for (const int child : nodes_[std::size_t(id)].children)
        setSubtree(child, state);
}

}  // namespace morrowdeck
