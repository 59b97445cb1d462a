#include "app/views/activity_panel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/run_model.h"
#include "app/log_model.h"
#include "app/views/elided_label.h"
#include "app/views/empty_state.h"
#include "app/views/log_row_delegate.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

ActivityPanel::ActivityPanel(RunModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      logModel_(new LogModel(model, this)),
      status_(new ElidedLabel(this)),
      stack_(new QStackedWidget(this)),
      empty_(new EmptyState("list.bullet.rectangle", "No Activity Yet",
                            "Start a backup to see live progress here.", stack_)),
      list_(new QListView(stack_)) {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 4, 12, 4);
    header->setSpacing(6);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(Symbols::pixmap("list.bullet.rectangle", 16, Style::secondary(palette()), devicePixelRatioF()));
    auto* title = new QLabel("Activity", this);
    title->setFont(Style::font(Style::Text::headline));
    Style::apply(*status_, Style::Text::caption, Style::secondary(palette()));
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    header->addWidget(symbol);
    header->addWidget(title);
    header->addSpacing(12);
    header->addWidget(status_, 1);

    list_->setModel(logModel_);
    list_->setItemDelegate(new LogRowDelegate(list_));
    list_->setSpacing(1);  // 1 on each side: 3 or so between lines
    list_->setUniformItemSizes(true);
    list_->setLayoutMode(QListView::Batched);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setFrameShape(QFrame::NoFrame);
    auto* copy = new QAction("Copy", list_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &ActivityPanel::copySelection);
    list_->addAction(copy);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    stack_->addWidget(empty_);
    stack_->addWidget(list_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Style::divider(this));
    layout->addLayout(header);
    layout->addWidget(Style::divider(this));
    layout->addWidget(stack_, 1);

    connect(&model, &RunModel::statusMessageChanged, this,
            [this] { status_->setFullText(model_.statusMessage()); });
    status_->setFullText(model.statusMessage());
    // Every new line scrolls, also when the cap removed the oldest one in the same step and
    // the number of lines stayed the same.
    connect(logModel_, &QAbstractItemModel::rowsInserted, list_, &QListView::scrollToBottom);
    connect(logModel_, &QAbstractItemModel::rowsInserted, this, &ActivityPanel::showPage);
    connect(logModel_, &QAbstractItemModel::modelReset, this, &ActivityPanel::showPage);
    connect(logModel_, &QAbstractItemModel::rowsRemoved, this, &ActivityPanel::showPage);
    showPage();
}

QString ActivityPanel::statusText() const { return status_->fullText(); }
bool ActivityPanel::showsEmptyState() const { return stack_->currentWidget() == empty_; }

void ActivityPanel::showPage() {
    stack_->setCurrentWidget(logModel_->rowCount() == 0 ? static_cast<QWidget*>(empty_) : list_);
}

void ActivityPanel::copySelection() {
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows) lines << row.data().toString();
    QApplication::clipboard()->setText(lines.join('\n'));
}

}  // namespace morrowdeck
