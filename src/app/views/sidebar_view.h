#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace morrowdeck {

class AppModel;
class CrateTreeModel;
class EmptyState;
class SearchResultsModel;

// The left column: the search field, then "Loading crates…", the "No Crates" panel, the crate
// outline or the search results, and the selection bar pinned at the bottom when the library
// has crates to select.
class SidebarView final : public QWidget {
    Q_OBJECT
  public:
    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return search_; }
    QTreeView* tree() const { return tree_; }
    QListView* results() const { return results_; }
    QString resultsTitle() const;
    // The page on show: "loading", "empty", "tree" or "results".
    QString page() const;

  private:
    void showPage();
    void updateSelectionBar();

    AppModel& model_;
    CrateTreeModel* treeModel_;
    SearchResultsModel* resultsModel_;
    QLineEdit* search_;
    QStackedWidget* stack_;
    QWidget* loading_;
    EmptyState* empty_;
    QTreeView* tree_;
    QWidget* resultsPage_;
    QLabel* resultsTitle_;
    QListView* results_;
    QWidget* selectionBar_;
    QLabel* selectionCount_;
};

}  // namespace morrowdeck
