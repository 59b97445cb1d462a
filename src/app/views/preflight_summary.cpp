#include "app/views/preflight_summary.h"

#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/preflight_texts.h"
#include "app/views/style.h"

namespace morrowdeck {

namespace {

enum Column { crateColumn, copyColumn, upToDateColumn, missingColumn };

}  // namespace

PreflightSummary::PreflightSummary(AppModel& model, QWidget* parent)
    : QGroupBox("Before you start", parent),
      model_(model),
      totals_(new QLabel(this)),
      fit_(new QLabel(this)),
      toggle_(new QToolButton(this)),
      breakdown_(new QTreeWidget(this)) {
    totals_->setWordWrap(true);
    totals_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fit_->setWordWrap(true);
    Style::apply(*fit_, Style::Text::caption, Style::secondary(palette()));

    toggle_->setText("Crates");
    toggle_->setCheckable(true);
    toggle_->setAutoRaise(true);
    toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle_->setArrowType(Qt::RightArrow);
    toggle_->setToolTip("Show what each ticked crate needs");
    connect(toggle_, &QToolButton::toggled, this, [this](bool open) {
        toggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        breakdown_->setVisible(open);
    });

    breakdown_->setColumnCount(4);
    breakdown_->setHeaderLabels({"Crate", "To copy", "Up to date", "Missing"});
    breakdown_->setRootIsDecorated(false);
    breakdown_->setUniformRowHeights(true);
    breakdown_->setAlternatingRowColors(true);
    breakdown_->setSelectionMode(QAbstractItemView::NoSelection);
    breakdown_->setFocusPolicy(Qt::NoFocus);
    breakdown_->setMaximumHeight(180);
    breakdown_->header()->setStretchLastSection(false);
    breakdown_->header()->setSectionResizeMode(crateColumn, QHeaderView::Stretch);
    for (const int column : {copyColumn, upToDateColumn, missingColumn})
        breakdown_->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    breakdown_->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addWidget(totals_);
    layout->addWidget(fit_);
    layout->addWidget(toggle_, 0, Qt::AlignLeft);
    layout->addWidget(breakdown_);

    PlanModel& plan = model.plan();
    connect(&plan, &PlanModel::selectionPreviewChanged, this, &PreflightSummary::refresh);
    connect(&model.run(), &RunModel::isRunningChanged, this, &PreflightSummary::refresh);
    connect(&model.selection(), &SelectionModel::forestChanged, this, [this] {
        shown_ = false;
        refresh();
    });
    refresh();
}

QString PreflightSummary::totalsText() const { return totals_->text(); }
QString PreflightSummary::fitText() const { return fit_->isHidden() ? QString() : fit_->text(); }

void PreflightSummary::refresh() {
    const auto& preview = model_.plan().selectionPreview();
    // A plan being worked out keeps the last one on show, greyed, so the box does not jump.
    if (!preview) {
        setEnabled(false);
        if (!shown_) {
            totals_->setText("Working out what the backup will do…");
            fit_->hide();
            toggle_->hide();
            breakdown_->hide();
        }
        setVisible(!model_.run().isRunning() && !model_.selection().isEmpty());
        return;
    }
    setEnabled(true);
    setVisible(!model_.run().isRunning() && !preview->crates.empty());
    if (preview->crates.empty()) return;
    shown_ = true;

    totals_->setText(preflightText::totals(preview->total()));
    const QString fit = preflightText::fit(*preview);
    warning_ = !preview->fits();
    fit_->setText(fit);
    fit_->setVisible(!fit.isEmpty());
    QPalette fitPalette = palette();
    fitPalette.setColor(QPalette::WindowText, warning_ ? Style::red() : Style::secondary(palette()));
    fit_->setPalette(fitPalette);

    breakdown_->clear();
    for (const auto& row : preflightText::rows(*preview)) {
        auto* item = new QTreeWidgetItem(breakdown_, {row.crate, row.toCopy, row.upToDate, row.missing});
        for (const int column : {copyColumn, upToDateColumn, missingColumn})
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (!row.missing.isEmpty()) item->setForeground(missingColumn, Style::orange());
    }
    toggle_->show();
    breakdown_->setVisible(toggle_->isChecked());
}

}  // namespace morrowdeck
