#include "app/views/detail_view.h"

#include <algorithm>

#include <QEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/views/action_bar.h"
#include "app/views/activity_panel.h"
#include "app/views/destination_section.h"
#include "app/views/empty_state.h"
#include "app/views/options_section.h"
#include "app/views/preflight_summary.h"
#include "app/views/progress_section.h"

namespace morrowdeck {

DetailView::DetailView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      stack_(new QStackedWidget(this)),
      empty_(new EmptyState("music.note.list", "No Serato Library",
                            "Choose your _Serato_ folder to load crates and start a backup.", stack_)),
      content_(new QWidget(stack_)),
      split_(new QSplitter(Qt::Vertical, content_)),
      destination_(new DestinationSection(model)),
      options_(new OptionsSection(model)),
      preflight_(new PreflightSummary(model)),
      progress_(new ProgressSection(model)),
      activity_(new ActivityPanel(model.run())),
      actionBar_(new ActionBar(model, content_)) {
    QPushButton* choose = empty_->addButton("Choose Library…");
    choose->setDefault(true);
    connect(choose, &QPushButton::clicked, &model.library(), &LibraryModel::chooseLibrary);

    auto* form = new QWidget;
    auto* formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(16, 12, 16, 12);
    formLayout->setSpacing(12);
    // The progress sits right under the destination, so a running or finished backup is in
    // view without scrolling (it is hidden before the first run); what the next run will do
    // and the options, set before a run, come after it.
    formLayout->addWidget(destination_);
    formLayout->addWidget(progress_);
    formLayout->addWidget(preflight_);
    formLayout->addWidget(options_);
    formLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes straight to the sections inside
    scroll->setMinimumHeight(140);
    activity_->setMinimumHeight(130);
    split_->addWidget(scroll);
    split_->addWidget(activity_);
    split_->setChildrenCollapsible(false);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);
    split_->setSizes({600, 190});
    // Until the user drags the divider, the log's share follows the window's height.
    connect(split_, &QSplitter::splitterMoved, this, [this] { logSized_ = true; });
    split_->installEventFilter(this);

    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    contentLayout->addWidget(split_, 1);
    contentLayout->addWidget(actionBar_);
    stack_->addWidget(empty_);
    stack_->addWidget(content_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);

    connect(&model.selection(), &SelectionModel::forestChanged, this, &DetailView::refresh);
    connect(&model.library(), &LibraryModel::isLoadingChanged, this, &DetailView::refresh);
    for (const auto signal : {&RunModel::isRunningChanged, &RunModel::progressChanged})
        connect(&model.run(), signal, this, &DetailView::refresh);
    refresh();
}

void DetailView::setShowLog(bool show) { activity_->setVisible(show); }

// The log takes about a quarter of the column, between 130 and 190 pixels, so a short window
// (a small or scaled screen) keeps most of its height for the destination and progress.
bool DetailView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == split_ && event->type() == QEvent::Resize && !logSized_) {
        const int height = split_->height() - split_->handleWidth();
        const int log = std::clamp(height * 28 / 100, 130, 190);
        split_->setSizes({height - log, log});
    }
    return QWidget::eventFilter(watched, event);
}

bool DetailView::showsEmptyState() const { return stack_->currentWidget() == empty_; }

void DetailView::refresh() {
    const bool empty = model_.selection().forest().empty() && !model_.library().isLoading();
    stack_->setCurrentWidget(empty ? static_cast<QWidget*>(empty_) : content_);
    const ProgressSnapshot& progress = model_.run().progress();
    progress_->setVisible(model_.run().isRunning() || progress.completedFiles > 0 || progress.finished);
}

}  // namespace morrowdeck
