#include "app/views/destination_section.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/remembered_choices.h"
#include "app/views/elided_label.h"
#include "app/views/style.h"
#include "app/views/symbols.h"
#include "platform/path_text.h"

namespace morrowdeck {

DestinationSection::DestinationSection(AppModel& model, QWidget* parent)
    : QGroupBox("Destination", parent),
      model_(model),
      symbol_(new QLabel(this)),
      name_(new QLabel(this)),
      path_(new ElidedLabel(this)),
      freeBox_(new QWidget(this)),
      free_(new QLabel(freeBox_)),
      freeWord_(new QLabel("free", freeBox_)),
      lastBackup_(new QLabel(this)),
      choose_(new QPushButton("Choose…", this)) {
    setAcceptDrops(true);
    QFont nameFont = Style::font(Style::Text::body);
    nameFont.setWeight(QFont::Medium);
    name_->setFont(nameFont);
    Style::apply(*path_, Style::Text::body, Style::secondary(palette()));

    auto* freeLayout = new QVBoxLayout(freeBox_);
    freeLayout->setContentsMargins(0, 0, 0, 0);
    freeLayout->setSpacing(0);
    free_->setFont(Style::monospaced(Style::Text::callout));
    Style::apply(*freeWord_, Style::Text::caption2, Style::secondary(palette()));
    free_->setAlignment(Qt::AlignRight);
    freeWord_->setAlignment(Qt::AlignRight);
    freeLayout->addWidget(free_);
    freeLayout->addWidget(freeWord_);
    Style::apply(*lastBackup_, Style::Text::caption, Style::secondary(palette()));
    lastBackup_->setHidden(true);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    lines->addWidget(name_);
    lines->addWidget(path_);
    lines->addWidget(lastBackup_);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(symbol_);
    row->addLayout(lines, 1);
    row->addWidget(freeBox_);
    row->addWidget(choose_);
    auto* note = new QLabel("Backups only add or update files — nothing on the destination is ever deleted.", this);
    note->setWordWrap(true);
    Style::apply(*note, Style::Text::caption, Style::secondary(palette()));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(note);

    PlanModel& plan = model.plan();
    connect(choose_, &QPushButton::clicked, &plan, &PlanModel::chooseDestination);
    connect(&plan, &PlanModel::destinationURLChanged, this, &DestinationSection::refresh);
    // Measured in the background after each change of destination and each run.
    connect(&plan, &PlanModel::destinationFreeChanged, this, &DestinationSection::refresh);
    // The free space turns red while the selection will not fit.
    connect(&plan, &PlanModel::selectionPreviewChanged, this, &DestinationSection::refresh);
    // "5 minutes ago" becomes "6 minutes ago".
    auto* clock = new QTimer(this);
    clock->setInterval(60'000);
    connect(clock, &QTimer::timeout, this, &DestinationSection::refresh);
    clock->start();
    refresh();
}

void DestinationSection::setHistory(const RememberedChoices& history) {
    history_ = &history;
    connect(&history, &RememberedChoices::lastBackupChanged, this, &DestinationSection::refresh);
    refresh();
}

QString DestinationSection::lastBackupText() const {
    return lastBackup_->isHidden() ? QString() : lastBackup_->text();
}

void DestinationSection::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    // The user may have plugged the drive in (or out) while the window was in the background.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) model_.plan().checkDestination();
}

QString DestinationSection::nameText() const { return name_->text(); }
QString DestinationSection::pathText() const { return path_->fullText(); }
QString DestinationSection::freeText() const { return freeBox_->isHidden() ? QString() : free_->text(); }

void DestinationSection::refresh() {
    const auto& destination = model_.plan().destinationURL();
    symbol_->setPixmap(Symbols::pixmap(destination ? "externaldrive.fill" : "externaldrive", 28,
                                       Style::accent(palette()), devicePixelRatioF()));
    if (destination) {
        const QString path = QString::fromStdString(platform::toUtf8(*destination));
        const QString name = QString::fromStdString(platform::toUtf8(destination->filename()));
        name_->setText(name.isEmpty() ? path : name);
        path_->setFullText(path);
    } else {
        name_->setText("No destination selected");
        path_->setFullText("Drop a folder here, or choose one");
    }
    const bool missing = destination && model_.plan().destinationConnected() == false;
    const std::optional<QString> free = missing ? QStringLiteral("not connected") : model_.plan().destinationFreeText();
    free_->setText(free.value_or(QString()));
    free_->setFont(missing ? Style::font(Style::Text::callout) : Style::monospaced(Style::Text::callout));
    QPalette freePalette = palette();
    if (missing) freePalette.setColor(QPalette::WindowText, Style::secondary(palette()));
    else if (model_.plan().selectionWillNotFit()) freePalette.setColor(QPalette::WindowText, Style::red());
    free_->setPalette(freePalette);
    freeWord_->setHidden(missing);
    freeBox_->setVisible(free.has_value());
    const QString last = history_ ? history_->lastBackupText() : QString();
    lastBackup_->setText(last);
    lastBackup_->setHidden(last.isEmpty());
}

void DestinationSection::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    QWidget::update();
}

void DestinationSection::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    setHighlighted(true);
}

void DestinationSection::dragLeaveEvent(QDragLeaveEvent* event) {
    setHighlighted(false);
    QGroupBox::dragLeaveEvent(event);
}

void DestinationSection::dropEvent(QDropEvent* event) {
    setHighlighted(false);
    // A folder is whatever the file system says is one; dropped URLs carry no trailing slash.
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            model_.plan().setDestinationURL(platform::toPath(url.toLocalFile().toStdString()));
            event->acceptProposedAction();
            return;
        }
    }
    model_.run().setStatusMessage("Drop a folder, not a file, as the destination.");
    event->ignore();
}

void DestinationSection::paintEvent(QPaintEvent* event) {
    QGroupBox::paintEvent(event);
    if (!highlighted_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = Style::accent(palette());
    fill.setAlphaF(0.15);
    painter.setPen(QPen(Style::accent(palette()), 2));
    painter.setBrush(fill);
    painter.drawRoundedRect(rect().adjusted(1, 1, -1, -1), 6, 6);
}

}  // namespace morrowdeck
