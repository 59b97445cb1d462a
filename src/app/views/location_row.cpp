#include "app/views/location_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/restore_texts.h"
#include "app/views/elided_label.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

LocationRow::LocationRow(const QString& symbol, QString placeholderTitle,
                         QString placeholderSubtitle, QWidget* parent)
    : QWidget(parent),
      placeholderTitle_(std::move(placeholderTitle)),
      placeholderSubtitle_(std::move(placeholderSubtitle)),
      title_(new QLabel(this)),
      subtitle_(new ElidedLabel(this)),
      choose_(new QPushButton("Choose…", this)) {
    const QFont symbolFont = Style::font(Style::Text::title3);
    const int symbolSize = QFontMetrics(symbolFont).height();
    auto* icon = new QLabel(this);
    icon->setPixmap(Symbols::pixmap(symbol, symbolSize, Style::accent(palette()), devicePixelRatioF()));
    icon->setFixedWidth(qMax(24, symbolSize));
    icon->setAlignment(Qt::AlignCenter);
    QFont titleFont = Style::font(Style::Text::body);
    titleFont.setWeight(QFont::Medium);
    title_->setFont(titleFont);
    title_->setTextFormat(Qt::PlainText);
    Style::apply(*subtitle_, Style::Text::caption, Style::secondary(palette()));
    choose_->setAutoDefault(false);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    lines->addWidget(title_);
    lines->addWidget(subtitle_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(12);
    layout->addWidget(icon);
    layout->addLayout(lines, 1);
    layout->addWidget(choose_);
    setFolder(std::nullopt);
}

void LocationRow::setFolder(const std::optional<std::filesystem::path>& folder) {
    title_->setText(restoreText::locationTitle(folder, placeholderTitle_));
    subtitle_->setFullText(restoreText::locationSubtitle(folder, placeholderSubtitle_));
}

QString LocationRow::title() const { return title_->text(); }
QString LocationRow::subtitle() const { return subtitle_->fullText(); }

}  // namespace morrowdeck
