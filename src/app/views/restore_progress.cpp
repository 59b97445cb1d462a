#include "app/views/restore_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/pane_texts.h"
#include "app/restore_texts.h"
#include "app/views/elided_label.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {

constexpr int barSteps = 1000;

}  // namespace

RestoreProgress::RestoreProgress(QWidget* parent)
    : QGroupBox("Progress", parent),
      bar_(new QProgressBar(this)),
      percent_(new QLabel(this)),
      count_(new QLabel(this)),
      currentFile_(new ElidedLabel(this)),
      throughput_(new QLabel),
      timeLeft_(new QLabel),
      timeLeftBox_(nullptr) {
    bar_->setRange(0, barSteps);
    bar_->setTextVisible(false);
    QFont percentFont = Style::monospaced(Style::Text::title3);
    percentFont.setBold(true);
    percent_->setFont(percentFont);
    count_->setFont(Style::monospaced(Style::Text::callout));
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, Style::secondary(palette()));
    count_->setPalette(countPalette);
    Style::apply(*currentFile_, Style::Text::caption2, Style::secondary(palette()));

    auto* numbers = new QHBoxLayout;
    numbers->addWidget(percent_);
    numbers->addStretch(1);
    numbers->addWidget(count_);
    auto* rates = new QHBoxLayout;
    rates->setSpacing(16);
    rates->addWidget(Symbols::secondaryRow(QStringLiteral("speedometer"), throughput_, this));
    timeLeftBox_ = Symbols::secondaryRow(QStringLiteral("clock"), timeLeft_, this);
    rates->addWidget(timeLeftBox_);
    rates->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    layout->addWidget(bar_);
    layout->addLayout(numbers);
    layout->addWidget(currentFile_);
    layout->addLayout(rates);
    setProgress(ProgressSnapshot{}, false);
}

void RestoreProgress::setProgress(const ProgressSnapshot& progress, bool running) {
    setVisible(running || progress.finished);
    setTitle(paneText::progressTitle(progress));
    bar_->setValue(int(paneText::fraction(progress) * barSteps));
    percent_->setText(QStringLiteral("%1%").arg(paneText::percentage(progress)));
    count_->setText(restoreText::countText(progress));
    currentFile_->setFullText(QString::fromStdString(progress.currentFile));
    currentFile_->setVisible(!progress.currentFile.empty());
    throughput_->setText(paneText::throughputText(progress));
    const std::optional<QString> left = paneText::timeLeftText(progress);
    timeLeft_->setText(left.value_or(QString()));
    timeLeftBox_->setVisible(left.has_value());
}

QString RestoreProgress::percentText() const { return percent_->text(); }
QString RestoreProgress::countText() const { return count_->text(); }
QString RestoreProgress::currentFileText() const {
    return currentFile_->isHidden() ? QString() : currentFile_->fullText();
}
QString RestoreProgress::throughputText() const { return throughput_->text(); }
QString RestoreProgress::timeLeftText() const {
    return timeLeftBox_->isHidden() ? QString() : timeLeft_->text();
}
double RestoreProgress::barFraction() const { return double(bar_->value()) / barSteps; }

}  // namespace morrowdeck
