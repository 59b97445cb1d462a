#include "app/views/sidebar_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/crate_tree_model.h"
#include "app/search_results_model.h"
#include "app/views/crate_row_delegate.h"
#include "app/views/empty_state.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {

QWidget* loadingPage(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* spinner = new QProgressBar(page);
    spinner->setRange(0, 0);  // indeterminate
    spinner->setTextVisible(false);
    spinner->setMaximumWidth(120);
    auto* text = new QLabel(QStringLiteral("Loading crates…"), page);
    text->setAlignment(Qt::AlignCenter);
    Style::apply(*text, Style::Text::body, Style::secondary(page->palette()));
    layout->addStretch(1);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    layout->addWidget(text);
    layout->addStretch(1);
    return page;
}

template <typename View>
void setUpCrateView(View* view, bool showPath) {
    view->setItemDelegate(new CrateRowDelegate(showPath, view));
    view->setFrameShape(QFrame::NoFrame);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

}  // namespace

SidebarView::SidebarView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      treeModel_(new CrateTreeModel(model.selection(), this)),
      resultsModel_(new SearchResultsModel(model.selection(), this)),
      search_(new QLineEdit(this)),
      stack_(new QStackedWidget(this)),
      loading_(loadingPage(stack_)),
      empty_(new EmptyState("tray", "No Crates", "Choose a Serato library to load its crates.", stack_)),
      tree_(new QTreeView(stack_)),
      resultsPage_(new QWidget(stack_)),
      resultsTitle_(new QLabel(resultsPage_)),
      results_(new QListView(resultsPage_)),
      selectionBar_(new QWidget(this)),
      selectionCount_(new QLabel(selectionBar_)) {
    search_->setPlaceholderText("Search crates");
    search_->setClearButtonEnabled(true);
    SelectionModel& selection = model.selection();
    search_->setText(selection.searchText());
    connect(search_, &QLineEdit::textChanged, &selection, &SelectionModel::setSearchText);
    // Escape in the search field clears it and shows the whole tree again.
    auto* clear = new QShortcut(QKeySequence(Qt::Key_Escape), search_, nullptr, nullptr,
                                Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, search_, &QLineEdit::clear);

    // Crates with tracks not found carry a badge, counted by the plan in the background.
    treeModel_->setMissingTracks([&plan = model.plan()](const Crate& crate) { return plan.missingTracks(crate); });
    connect(&model.plan(), &PlanModel::missingTracksChanged, treeModel_, &CrateTreeModel::missingTracksChanged);
    tree_->setModel(treeModel_);
    tree_->setHeaderHidden(true);
    setUpCrateView(tree_, false);
    results_->setModel(resultsModel_);
    setUpCrateView(results_, true);
    auto* resultsLayout = new QVBoxLayout(resultsPage_);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    resultsTitle_->setContentsMargins(8, 4, 8, 4);
    resultsTitle_->setFont(Style::font(Style::Text::headline));
    resultsLayout->addWidget(resultsTitle_);
    resultsLayout->addWidget(results_, 1);
    for (QWidget* page : {loading_, static_cast<QWidget*>(empty_), static_cast<QWidget*>(tree_), resultsPage_}) {
        stack_->addWidget(page);
    }

    // The selection bar: symbol, "{selected} of {leaves}", All, None.
    selectionBar_->setFixedHeight(56);
    auto* bar = new QHBoxLayout(selectionBar_);
    bar->setContentsMargins(14, 0, 14, 0);
    bar->setSpacing(8);
    auto* symbol = new QLabel(selectionBar_);
    symbol->setPixmap(Symbols::pixmap("checklist", 16, Style::secondary(palette()), devicePixelRatioF()));
    selectionCount_->setFont(Style::monospaced(Style::Text::callout));
    auto* all = new QPushButton("All", selectionBar_);
    auto* none = new QPushButton("None", selectionBar_);
    for (QPushButton* button : {all, none}) {
        button->setFont(Style::font(Style::Text::callout));
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    connect(all, &QPushButton::clicked, &selection, &SelectionModel::selectAll);
    connect(none, &QPushButton::clicked, &selection, &SelectionModel::selectNone);
    bar->addWidget(symbol);
    bar->addWidget(selectionCount_);
    bar->addStretch(1);
    bar->addWidget(all);
    bar->addWidget(none);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(6);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(8, 0, 8, 0);
    searchRow->addWidget(search_);
    layout->addLayout(searchRow);
    layout->addWidget(stack_, 1);
    layout->addWidget(selectionBar_);

    connect(&model.library(), &LibraryModel::isLoadingChanged, this, &SidebarView::showPage);
    connect(&selection, &SelectionModel::forestChanged, this, [this] {
        showPage();
        updateSelectionBar();
    });
    connect(&selection, &SelectionModel::searchTextChanged, this, [this] {
        if (search_->text() != model_.selection().searchText())
            search_->setText(model_.selection().searchText());
        showPage();
    });
    connect(&selection, &SelectionModel::selectionChanged, this, &SidebarView::updateSelectionBar);
    showPage();
    updateSelectionBar();
}

QString SidebarView::page() const {
    const QWidget* current = stack_->currentWidget();
    if (current == loading_) return "loading";
    if (current == empty_) return "empty";
    return current == tree_ ? "tree" : "results";
}

QString SidebarView::resultsTitle() const { return resultsTitle_->text(); }

void SidebarView::showPage() {
    if (model_.library().isLoading()) {
        stack_->setCurrentWidget(loading_);
    } else if (model_.selection().forest().empty()) {
        stack_->setCurrentWidget(empty_);
    } else if (!model_.selection().searchText().isEmpty()) {
        // The list switches on the raw text; the results come from the trimmed text, so a
        // text of spaces shows an empty "Results (0)".
        resultsTitle_->setText(resultsModel_->title());
        stack_->setCurrentWidget(resultsPage_);
    } else {
        stack_->setCurrentWidget(tree_);
    }
}

void SidebarView::updateSelectionBar() {
    const std::size_t leaves = model_.selection().allLeaves().size();
    selectionBar_->setVisible(leaves > 0);
    selectionCount_->setText(
        QStringLiteral("%1 of %2").arg(model_.selection().selectedCrates().size()).arg(leaves));
}

}  // namespace morrowdeck
