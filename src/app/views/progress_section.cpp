#include "app/views/progress_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/pane_texts.h"
#include "app/views/elided_label.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {

constexpr int barSteps = 1000;

QColor chipColor(paneText::Chip::Color color, const QPalette& palette) {
    switch (color) {
        case paneText::Chip::Color::green: return Style::green();
        case paneText::Chip::Color::blue: return Style::blue();
        case paneText::Chip::Color::orange: return Style::orange();
        case paneText::Chip::Color::red: return Style::red();
        case paneText::Chip::Color::secondary: break;
    }
    return Style::secondary(palette);
}

// A count badge: the number in its colour, then the label, on a faint rounded fill.
class Chip final : public QWidget {
  public:
    Chip(const QString& label, std::int64_t value, const QColor& color, QWidget* parent)
        : QWidget(parent), label_(label), value_(value) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(8, 3, 8, 3);
        layout->setSpacing(4);
        auto* number = new QLabel(QString::number(value), this);
        QFont numberFont = Style::monospaced(Style::Text::caption2);
        numberFont.setBold(true);
        number->setFont(numberFont);
        QPalette numberPalette = number->palette();
        numberPalette.setColor(QPalette::WindowText, color);
        number->setPalette(numberPalette);
        auto* text = new QLabel(label, this);
        Style::apply(*text, Style::Text::caption, Style::secondary(palette()));
        layout->addWidget(number);
        layout->addWidget(text);
    }
    QString text() const { return QStringLiteral("%1 %2").arg(label_).arg(value_); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = Style::primary(palette());
        fill.setAlphaF(0.07);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(rect(), 6, 6);
    }

  private:
    QString label_;
    std::int64_t value_;
};

}  // namespace

ProgressSection::ProgressSection(AppModel& model, QWidget* parent)
    : QGroupBox("Progress", parent),
      model_(model),
      percent_(new QLabel(this)),
      files_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      currentFile_(new ElidedLabel(this)),
      throughput_(new QLabel),
      timeLeftBox_(nullptr),
      timeLeft_(new QLabel),
      chips_(new QHBoxLayout),
      reveal_(new QPushButton("Show in File Manager", this)) {
    QFont percentFont = Style::monospaced(Style::Text::body);
    percentFont.setPointSizeF(percentFont.pointSizeF() * 30.0 / 13.0);
    percentFont.setWeight(QFont::DemiBold);
    percent_->setFont(percentFont);
    files_->setFont(Style::monospaced(Style::Text::callout));
    bar_->setRange(0, barSteps);
    bar_->setTextVisible(false);
    Style::apply(*currentFile_, Style::Text::caption, Style::secondary(palette()));

    auto* numbers = new QHBoxLayout;
    numbers->setSpacing(10);
    numbers->addWidget(percent_, 0, Qt::AlignBaseline);
    numbers->addWidget(files_, 0, Qt::AlignBaseline);
    numbers->addStretch(1);
    auto* rates = new QHBoxLayout;
    rates->setSpacing(16);
    rates->addWidget(Symbols::secondaryRow("speedometer", throughput_, this));
    timeLeftBox_ = Symbols::secondaryRow("clock", timeLeft_, this);
    rates->addWidget(timeLeftBox_);
    rates->addStretch(1);
    chips_->setSpacing(6);
    auto* revealRow = new QHBoxLayout;
    revealRow->addWidget(reveal_);
    revealRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    layout->addLayout(numbers);
    layout->addWidget(bar_);
    layout->addWidget(currentFile_);
    layout->addLayout(rates);
    layout->addLayout(chips_);
    layout->addLayout(revealRow);

    connect(reveal_, &QPushButton::clicked, &model.reveal(), &RevealAction::revealDestination);
    connect(&model.run(), &RunModel::progressChanged, this, &ProgressSection::refresh);
    refresh();
}

QString ProgressSection::percentText() const { return percent_->text(); }
QString ProgressSection::filesText() const { return files_->text(); }
QString ProgressSection::currentFileText() const {
    return currentFile_->isHidden() ? QString() : currentFile_->fullText();
}
QString ProgressSection::throughputText() const { return throughput_->text(); }
QString ProgressSection::timeLeftText() const { return timeLeftBox_->isHidden() ? QString() : timeLeft_->text(); }

QStringList ProgressSection::chipTexts() const {
    QStringList texts;
    for (int i = 0; i < chips_->count(); ++i) {
        if (const auto* chip = dynamic_cast<const Chip*>(chips_->itemAt(i)->widget())) texts << chip->text();
    }
    return texts;
}

void ProgressSection::refresh() {
    const ProgressSnapshot& progress = model_.run().progress();
    setTitle(paneText::progressTitle(progress));
    percent_->setText(QStringLiteral("%1%").arg(paneText::percentage(progress)));
    files_->setText(paneText::filesText(progress));
    bar_->setValue(int(paneText::fraction(progress) * barSteps));
    currentFile_->setFullText(QString::fromStdString(progress.currentFile));
    currentFile_->setVisible(!progress.currentFile.empty());
    throughput_->setText(paneText::throughputText(progress));
    const std::optional<QString> left = paneText::timeLeftText(progress);
    timeLeft_->setText(left.value_or(QString()));
    timeLeftBox_->setVisible(left.has_value());

    while (QLayoutItem* item = chips_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const paneText::Chip& chip : paneText::chips(progress)) {
        chips_->addWidget(new Chip(chip.label, chip.value, chipColor(chip.color, palette()), this));
    }
    chips_->addStretch(1);
    reveal_->setVisible(progress.finished && !progress.cancelled);
}

}  // namespace morrowdeck
