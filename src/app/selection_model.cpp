#include "app/selection_model.h"

#include <utility>

#include "library/crate_index.h"

namespace morrowdeck {

SelectionModel::SelectionModel(QObject* parent) : QObject(parent) {}

void SelectionModel::setIndex(std::shared_ptr<const CrateIndex> index) {
    CrateSelection selection(std::move(index));
    selection.selectAll();
    selection_ = std::move(selection);
    emit forestChanged();
    emit selectionChanged();
}

const std::vector<Crate::Ptr>& SelectionModel::forest() const {
    return selection_.index().forest();
}

const std::vector<Crate::Ptr>& SelectionModel::allLeaves() const {
    return selection_.index().allLeaves();
}

CrateSelection::CheckState SelectionModel::state(const Crate& crate) const {
    return selection_.state(crate);
}

std::vector<Crate::Ptr> SelectionModel::selectedCrates() const {
    return selection_.selectedCrates();
}

std::int64_t SelectionModel::selectedTrackCount() const {
    std::int64_t count = 0;
    for (const auto& crate : selectedCrates())
        count += static_cast<std::int64_t>(crate->tracks.size());
    return count;
}

bool SelectionModel::isEmpty() const {
    return selection_.ids().empty();
}

void SelectionModel::toggle(const Crate& crate) {
    change([&](auto& s) { s.toggle(crate); });
}
void SelectionModel::selectAll() {
    change([](auto& s) { s.selectAll(); });
}
void SelectionModel::selectNone() {
    change([](auto& s) { s.selectNone(); });
}

void SelectionModel::untick(const std::vector<Crate::Ptr>& leaves) {
    change([&](auto& s) {
        for (const auto& leaf : leaves) s.deselectLeaf(*leaf);
    });
}

void SelectionModel::change(const std::function<void(CrateSelection&)>& change) {
    const auto before = selection_.ids();
    change(selection_);
    if (selection_.ids() != before) emit selectionChanged();
}

void SelectionModel::setSearchText(const QString& text) {
    if (text == searchText_) return;
    searchText_ = text;
    emit searchTextChanged();
}

std::vector<Crate::Ptr> SelectionModel::searchResults() const {
    return selection_.index().searchResults(searchText_.toStdString());
}

}  // namespace morrowdeck
