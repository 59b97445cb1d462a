#include "app/views/action_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/pane_texts.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

ActionBar::ActionBar(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      crates_(new QLabel(this)),
      size_(new QLabel(this)),
      tracks_(new QLabel(this)),
      start_(new QPushButton("Start Backup", this)),
      cancel_(new QPushButton("Cancel", this)) {
    setFixedHeight(56);
    QFont cratesFont = Style::font(Style::Text::callout);
    cratesFont.setWeight(QFont::Medium);
    crates_->setFont(cratesFont);
    Style::apply(*size_, Style::Text::callout, Style::secondary(palette()));
    Style::apply(*tracks_, Style::Text::caption, Style::secondary(palette()));

    const QColor onButton = palette().color(QPalette::HighlightedText);
    start_->setIcon(Symbols::icon("play.fill", onButton));
    start_->setMinimumWidth(130);
    start_->setDefault(true);
    Style::prominent(*start_);
    cancel_->setIcon(Symbols::icon("stop.fill", Qt::white));
    cancel_->setMinimumWidth(130);
    Style::destructive(*cancel_);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    lines->addStretch(1);
    auto* count = new QHBoxLayout;
    count->setSpacing(8);
    count->addWidget(crates_);
    count->addWidget(size_);
    count->addStretch(1);
    lines->addLayout(count);
    lines->addWidget(tracks_);
    lines->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 0, 14, 0);
    layout->addLayout(lines);
    layout->addStretch(1);
    layout->addWidget(start_);
    layout->addWidget(cancel_);

    connect(start_, &QPushButton::clicked, this, [this] {
        if (settle_.settled()) model_.start();
    });
    connect(cancel_, &QPushButton::clicked, &model.run(), &RunModel::cancel);
    for (const auto signal : {&SelectionModel::selectionChanged, &SelectionModel::forestChanged})
        connect(&model.selection(), signal, this, &ActionBar::refresh);
    connect(&model.run(), &RunModel::isRunningChanged, this, &ActionBar::refresh);
    connect(&model, &AppModel::canStartChanged, this, &ActionBar::refresh);
    for (const auto signal : {&PlanModel::selectionPreviewChanged, &PlanModel::selectedTracksChanged})
        connect(&model.plan(), signal, this, &ActionBar::refresh);
    refresh();
}

QString ActionBar::cratesText() const { return crates_->text(); }
QString ActionBar::tracksText() const { return tracks_->text(); }
QString ActionBar::sizeText() const { return size_->text(); }

void ActionBar::triggerDefault() {
    if (!start_->isHidden() && start_->isEnabled()) start_->click();
}

void ActionBar::refresh() {
    crates_->setText(paneText::selectedCratesText(model_.selection().selectedCrates().size()));
    // Counted with the plan; the last count stays while a new one is worked out.
    const auto& tracks = model_.plan().selectedTracks();
    tracks_->setText(tracks ? paneText::selectedTracksText(tracks->distinct, tracks->entries)
                            : QString());
    const auto bytes = model_.plan().selectedBytes();
    size_->setText(bytes ? paneText::byteCountText(*bytes) : QString());
    const bool running = model_.run().isRunning();
    if (wasRunning_ && !running) settle_.runEnded();
    wasRunning_ = running;
    start_->setVisible(!running);
    cancel_->setVisible(running);
    start_->setEnabled(model_.canStart());
}

}  // namespace morrowdeck
