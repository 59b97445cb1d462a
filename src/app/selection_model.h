#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "library/crate.h"
#include "library/crate_selection.h"

namespace morrowdeck {

class CrateIndex;

// The loaded crate forest and which of its crates are ticked, with the sidebar's search text.
// A new forest arrives with every load and starts with every crate ticked.
//
// Threads: UI thread only; nothing here touches a drive. Change signals fire only on a real
// change, except that a new forest always signals both the forest and the selection.
class SelectionModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)

  public:
    explicit SelectionModel(QObject* parent = nullptr);

    // Replaces the forest and ticks every crate of it.
    void setIndex(std::shared_ptr<const CrateIndex> index);

    const std::vector<Crate::Ptr>& forest() const;
    const std::vector<Crate::Ptr>& allLeaves() const;
    const CrateSelection& selection() const { return selection_; }
    CrateSelection::CheckState state(const Crate& crate) const;
    std::vector<Crate::Ptr> selectedCrates() const;
    std::int64_t selectedTrackCount() const;  // own tracks of the selected crates
    bool isEmpty() const;                     // no crate ticked

    void toggle(const Crate& crate);
    void selectAll();
    void selectNone();
    // Unticks these leaves (each alone, not the leaves below it), as remembered for a library.
    void untick(const std::vector<Crate::Ptr>& leaves);

    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    std::vector<Crate::Ptr> searchResults() const;

  signals:
    void forestChanged();  // also means allLeaves and the index changed
    void selectionChanged();
    void searchTextChanged();

  private:
    void change(const std::function<void(CrateSelection&)>& change);

    CrateSelection selection_;  // holds the index, and through it the forest
    QString searchText_;
};

}  // namespace morrowdeck
