#include "app/views/restore_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QFrame>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/backup_crates_model.h"
#include "app/restore_model.h"
#include "app/restore_texts.h"
#include "app/window_sizing.h"
#include "app/views/elided_label.h"
#include "app/views/location_row.h"
#include "app/views/message_bar.h"
#include "app/views/problem_list.h"
#include "app/views/restore_progress.h"
#include "app/views/style.h"
#include "app/views/symbols.h"
#include "app/views/window_keys.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

QLabel* captionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    Style::apply(*label, Style::Text::caption, Style::secondary(parent->palette()));
    return label;
}

}  // namespace

RestoreWindow::RestoreWindow(RestoreModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      close_(new QToolButton(this)),
      backup_(new LocationRow("shippingbox", "No backup selected", "The folder you previously backed up into", this)),
      audio_(new LocationRow("music.note.list", "No audio location", "Where the music files are copied", this)),
      serato_(new LocationRow("music.note.house", "Serato library", "Where crates are written", this)),
      crates_(new QTreeView(this)),
      cratesCaption_(captionLabel(QString(), this)),
      layout_(new QComboBox(this)),
      targets_(new QTableWidget(this)),
      targetsCaption_(captionLabel(QString(), this)),
      overwrite_(new QCheckBox("Overwrite crates that already exist", this)),
      rebuild_(new QCheckBox("Rebuild Serato database (seamless, recommended)", this)),
      rebuildCaption_(captionLabel(QString(), this)),
      progress_(new RestoreProgress(this)),
      problems_(new ProblemList(this)),
      spinner_(new QProgressBar(this)),
      apply_(new QPushButton("Apply ratings && rules to Serato", this)),  // "&&" shows one "&"
      applyResult_(captionLabel(QString(), this)),
      status_(new ElidedLabel(this)),
      start_(new QPushButton("Start Restore", this)),
      cancel_(new QPushButton("Cancel", this)),
      undo_(new QPushButton("Undo Last Restore", this)) {
    setWindowTitle("Restore a Backup");
    closeWithKeys(*this);
    setWindowModality(Qt::WindowModal);
    // Its form scrolls: on a screen too short for it (1366 × 768 at 150 %) the window is made
    // shorter, so the header and Start Restore stay on screen.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    setFixedSize(fitWithinScreen({width, height},
                                 screen ? std::optional(screen->availableGeometry().size()) : std::nullopt));

    auto* source = new QGroupBox("Source", this);
    (new QVBoxLayout(source))->addWidget(backup_);
    auto* target = new QGroupBox("Restore to", this);
    auto* targetLayout = new QVBoxLayout(target);
    layout_->addItem("One folder per crate");
    layout_->addItem("As it was");
    layout_->setToolTip("As it was: each library of the backup goes back to its own drive, its "
                        "tracks to their own paths");
    auto* layoutRow = new QHBoxLayout;
    auto* layoutLabel = new QLabel("&Layout", target);
    layoutLabel->setBuddy(layout_);
    layoutRow->addWidget(layoutLabel);
    layoutRow->addWidget(layout_);
    layoutRow->addStretch(1);
    targetLayout->addLayout(layoutRow);
    targetLayout->addWidget(audio_);
    targetLayout->addWidget(serato_);
    targets_->setColumnCount(3);
    targets_->setHorizontalHeaderLabels({"Library", "Goes back to", "Files"});
    targets_->verticalHeader()->hide();
    targets_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    targets_->setSelectionMode(QAbstractItemView::NoSelection);
    targets_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    targets_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    targets_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    targetLayout->addWidget(targets_);
    targetLayout->addWidget(targetsCaption_);
    targetLayout->addWidget(overwrite_);
    targetLayout->addWidget(rebuild_);
    targetLayout->addWidget(rebuildCaption_);

    auto* form = new QWidget;
    auto* formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(16, 12, 16, 12);
    formLayout->setSpacing(12);
    formLayout->addWidget(source);
    formLayout->addWidget(cratesGroup());
    formLayout->addWidget(target);
    formLayout->addWidget(progress_);
    formLayout->addWidget(problems_);
    formLayout->addWidget(applyGroup());
    formLayout->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header());
    layout->addWidget(Style::divider(this));
    messageBar_ = new MessageBar(this);
    messageBar_->follow(model.notices());
    layout->addWidget(messageBar_);
    layout->addWidget(scroll, 1);
    layout->addWidget(Style::divider(this));
    layout->addWidget(actionBar());

    connect(close_, &QToolButton::clicked, this, &QDialog::close);
    connect(backup_->chooseButton(), &QPushButton::clicked, &model, &RestoreModel::chooseBackup);
    connect(audio_->chooseButton(), &QPushButton::clicked, &model, &RestoreModel::chooseAudioTarget);
    connect(serato_->chooseButton(), &QPushButton::clicked, &model, &RestoreModel::chooseSerato);
    connect(overwrite_, &QCheckBox::toggled, &model, &RestoreModel::setOverwrite);
    connect(rebuild_, &QCheckBox::toggled, &model, &RestoreModel::setRebuildDatabase);
    connect(apply_, &QPushButton::clicked, &model, &RestoreModel::applyToSerato);
    connect(start_, &QPushButton::clicked, this, [this] {
        if (settle_.settled()) model_.start();
    });
    RunModel& run = model.run();
    connect(cancel_, &QPushButton::clicked, &run, &RunModel::cancel);
    connect(undo_, &QPushButton::clicked, &model, &RestoreModel::undoLastRestore);

    for (const auto signal : {&RestoreModel::backupURLChanged, &RestoreModel::audioTargetURLChanged,
                              &RestoreModel::seratoURLChanged}) {
        connect(&model, signal, this, &RestoreWindow::refreshFolders);
    }
    connect(layout_, &QComboBox::currentIndexChanged, &model, [this](int index) {
        model_.setLayout(index == 1 ? RestoreModel::Layout::asItWas : RestoreModel::Layout::crates);
    });
    connect(&model, &RestoreModel::layoutChanged, this, &RestoreWindow::refreshLayout);
    connect(&model, &RestoreModel::targetsChanged, this, &RestoreWindow::refreshTargets);
    connect(&model.crates(), &BackupCratesModel::checksChanged, this, &RestoreWindow::refreshCrates);
    connect(&model.crates(), &BackupCratesModel::checksChanged, this, &RestoreWindow::refreshActions);
    for (const auto signal : {&RestoreModel::overwriteChanged, &RestoreModel::rebuildDatabaseChanged,
                              &RestoreModel::mergesIntoExistingDatabaseChanged}) {
        connect(&model, signal, this, &RestoreWindow::refreshOptions);
    }
    for (const auto signal : {&RunModel::progressChanged, &RunModel::isRunningChanged})
        connect(&run, signal, this, &RestoreWindow::refreshProgress);
    for (const auto signal : {&RestoreModel::isApplyingChanged, &RestoreModel::applyResultChanged,
                              &RestoreModel::seratoURLChanged}) {
        connect(&model, signal, this, &RestoreWindow::refreshApply);
    }
    connect(&run, &RunModel::isRunningChanged, this, &RestoreWindow::refreshApply);
    connect(&model, &RestoreModel::problemLinesChanged, this,
            [this] { problems_->setLines(model_.problemLines()); });
    problems_->setLines(model_.problemLines());
    connect(&model, &RestoreModel::canStartChanged, this, &RestoreWindow::refreshActions);
    for (const auto signal : {&RunModel::statusMessageChanged, &RunModel::isRunningChanged})
        connect(&run, signal, this, &RestoreWindow::refreshActions);
    for (const auto signal : {&UndoModel::isUndoingChanged, &UndoModel::lastRunChanged})
        connect(&model.undo(), signal, this, &RestoreWindow::refreshActions);
    connect(&model.undo(), &UndoModel::isUndoingChanged, this, &RestoreWindow::refreshApply);
    for (const auto signal : {&RestoreModel::seratoURLChanged, &RestoreModel::isApplyingChanged})
        connect(&model, signal, this, &RestoreWindow::refreshActions);
    refreshFolders();
    refreshCrates();
    refreshLayout();
    refreshOptions();
    refreshProgress();
    refreshApply();
    refreshActions();
}

QWidget* RestoreWindow::header() {
    auto* box = new QWidget(this);
    const QFont symbolFont = Style::font(Style::Text::title2);
    auto* symbol = new QLabel(box);
    symbol->setPixmap(Symbols::pixmap("arrow.uturn.backward.circle.fill",
                                      QFontMetrics(symbolFont).height() * 4 / 3,
                                      Style::accent(palette()), devicePixelRatioF()));
    auto* title = new QLabel("Restore a Backup", box);
    QFont titleFont = Style::font(Style::Text::title2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto* subtitle = new QLabel("Rebuild your Serato library from a Morrowdeck backup.", box);
    Style::apply(*subtitle, Style::Text::callout, Style::secondary(palette()));
    const int closeSize = QFontMetrics(symbolFont).height();
    close_->setIcon(Symbols::icon("xmark.circle.fill", Style::secondary(palette())));
    close_->setIconSize(QSize(closeSize, closeSize));
    close_->setAutoRaise(true);
    close_->setFocusPolicy(Qt::NoFocus);
    close_->setToolTip("Close");

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(title);
    texts->addWidget(subtitle);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    layout->addWidget(symbol);
    layout->addLayout(texts);
    layout->addStretch(1);
    layout->addWidget(close_, 0, Qt::AlignTop);
    return box;
}

QGroupBox* RestoreWindow::cratesGroup() {
    auto* group = new QGroupBox("Crates", this);
    crates_->setModel(&model_.crates());
    crates_->setHeaderHidden(true);
    crates_->setUniformRowHeights(true);
    crates_->setMinimumHeight(140);
    // A backup's top crates open at once (also those read before the window was made); the
    // crates below them a click away.
    crates_->expandToDepth(0);
    connect(&model_.crates(), &QAbstractItemModel::modelReset, crates_, [this] { crates_->expandToDepth(0); });
    crates_->setToolTip("Uncheck the crates you do not want back (Space toggles the current one)");
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(6);
    layout->addWidget(crates_);
    layout->addWidget(cratesCaption_);
    return group;
}

QGroupBox* RestoreWindow::applyGroup() {
    auto* group = new QGroupBox("Step 2 — ratings, colors && smart-crate rules", this);
    spinner_->setRange(0, 0);  // indeterminate: a busy indicator
    spinner_->setTextVisible(false);
    spinner_->setFixedSize(36, 10);
    apply_->setIcon(Symbols::icon("wand.and.stars", Style::primary(palette())));
    apply_->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(spinner_);
    row->addWidget(apply_);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(6);
    layout->addLayout(row);
    layout->addWidget(applyResult_);
    layout->addWidget(captionLabel(
        "After restoring: open Serato once so it imports the library, then QUIT Serato and click "
        "this to write your ratings, colors and smart-crate rules into Serato's database.",
        group));
    return group;
}

QWidget* RestoreWindow::actionBar() {
    auto* box = new QWidget(this);
    Style::apply(*status_, Style::Text::caption, Style::secondary(palette()));
    const QColor onButton = palette().color(QPalette::HighlightedText);
    start_->setIcon(Symbols::icon("arrow.uturn.backward", onButton));
    start_->setMinimumWidth(120);
    start_->setAutoDefault(false);
    Style::prominent(*start_);
    cancel_->setIcon(Symbols::icon("stop.fill", Qt::white));
    cancel_->setAutoDefault(false);
    Style::destructive(*cancel_);
    undo_->setIcon(Symbols::icon("arrow.uturn.backward.circle", Style::primary(palette())));
    undo_->setAutoDefault(false);
    undo_->setToolTip("Put the Serato library back as it was before the last restore or apply");
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(status_, 1);
    layout->addWidget(undo_);
    layout->addWidget(cancel_);
    layout->addWidget(start_);
    return box;
}

QString RestoreWindow::rebuildCaption() const { return rebuildCaption_->text(); }
QString RestoreWindow::cratesCaption() const { return cratesCaption_->text(); }
bool RestoreWindow::showsApplySpinner() const { return !spinner_->isHidden(); }
QString RestoreWindow::applyResultText() const {
    return applyResult_->isHidden() ? QString() : applyResult_->text();
}
QString RestoreWindow::statusText() const { return status_->fullText(); }

void RestoreWindow::refreshFolders() {
    backup_->setFolder(model_.backupURL());
    audio_->setFolder(model_.audioTargetURL());
    serato_->setFolder(model_.seratoURL());
}

void RestoreWindow::refreshCrates() {
    const BackupCratesModel& crates = model_.crates();
    crates_->setVisible(!crates.isEmpty());
    if (crates.isEmpty()) {
        cratesCaption_->setText(model_.backupURL() ? "Every crate of the backup is restored."
                                                   : "Choose a backup to see its crates.");
    } else if (!crates.anyChecked()) {
        cratesCaption_->setText("No crate checked: nothing to restore.");
    } else if (crates.chosenPaths().empty()) {
        cratesCaption_->setText("Every crate is restored, with the tracks in no crate.");
    } else {
        cratesCaption_->setText("Only the checked crates are restored, with the crates below them.");
    }
    if (crates_->model()->rowCount() > 0 && !crates_->currentIndex().isValid())
        crates_->setCurrentIndex(crates_->model()->index(0, 0));
}

void RestoreWindow::refreshLayout() {
    const bool asItWas = model_.layout() == RestoreModel::Layout::asItWas;
    layout_->setCurrentIndex(asItWas ? 1 : 0);
    audio_->setVisible(!asItWas);
    serato_->setVisible(!asItWas);
    targets_->setVisible(asItWas);
    targetsCaption_->setVisible(asItWas);
    refreshTargets();
}

// One row per library of the backup: its name, where it goes back to (with how that was
// found, and a button to choose another folder) and how many files it gets.
void RestoreWindow::refreshTargets() {
    const auto& targets = model_.targets();
    targets_->setRowCount(int(targets.size()));
    bool missing = false;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const MemberTarget& target = targets[i];
        const int row = int(i);
        const bool none = target.found == MemberTarget::Found::none;
        missing = missing || none;
        targets_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(target.name)));
        auto* cell = new QWidget(targets_);
        auto* cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(4, 0, 0, 0);
        auto* where = new ElidedLabel(cell);
        where->setFullText(none ? QStringLiteral("Not connected — choose a folder")
                                : QStringLiteral("%1 (%2)")
                                      .arg(QString::fromStdString(platform::toUtf8(target.root)),
                                           MemberTargets::foundText(target.found)));
        where->setToolTip(none ? QString() : QString::fromStdString(platform::toUtf8(target.serato)));
        auto* choose = new QPushButton("Choose…", cell);
        choose->setAutoDefault(false);
        connect(choose, &QPushButton::clicked, &model_, [this, i] { model_.chooseTarget(i); });
        cellLayout->addWidget(where, 1);
        cellLayout->addWidget(choose);
        targets_->setCellWidget(row, 1, cell);
        auto* files = new QTableWidgetItem(QString::number(target.files));
        files->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        targets_->setItem(row, 2, files);
    }
    targets_->resizeRowsToContents();
    // As tall as its rows: the window scrolls, the table does not.
    int tall = targets_->horizontalHeader()->sizeHint().height() + 2 * targets_->frameWidth();
    for (int row = 0; row < targets_->rowCount(); ++row)
        tall += targets_->rowHeight(row);
    targets_->setFixedHeight(tall);
    targetsCaption_->setText(
        !model_.backupURL()  ? QStringLiteral("Choose a backup to see its libraries.")
        : targets.empty()    ? QStringLiteral("This backup does not record where its tracks were.")
        : missing            ? QStringLiteral("Choose a folder for each library that is not connected.")
                             : QStringLiteral("Each library's tracks go back to their own paths "
                                              "below its folder; its crates to the _Serato_ there."));
}

void RestoreWindow::refreshOptions() {
    overwrite_->setChecked(model_.overwrite());
    rebuild_->setChecked(model_.rebuildDatabase());
    rebuildCaption_->setText(
        restoreText::rebuildCaption(model_.rebuildDatabase(), model_.mergesIntoExistingDatabase()));
}

void RestoreWindow::refreshProgress() { progress_->setProgress(model_.run().progress(), model_.run().isRunning()); }

void RestoreWindow::refreshApply() {
    const bool applying = model_.isApplying();
    spinner_->setVisible(applying);
    apply_->setEnabled(model_.canUndo() && model_.seratoURL().has_value());
    const std::optional<QString>& result = model_.applyResult();
    applyResult_->setText(result.value_or(QString()));
    applyResult_->setVisible(result.has_value());
}

void RestoreWindow::refreshActions() {
    status_->setFullText(model_.run().statusMessage());
    const bool running = model_.run().isRunning();
    if (wasRunning_ && !running) settle_.runEnded();
    wasRunning_ = running;
    cancel_->setVisible(running);
    start_->setVisible(!running);
    start_->setEnabled(model_.canStart());
    start_->setToolTip(!model_.crates().isEmpty() && !model_.crates().anyChecked()
                           ? QStringLiteral("Check at least one crate to restore")
                           : QString());
    undo_->setVisible(model_.showsUndoLastRestore());
    undo_->setEnabled(model_.canUndo());
}

}  // namespace morrowdeck
