#include "app/views/empty_state.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {
constexpr int symbolSize = 44;
}

EmptyState::EmptyState(const QString& symbol, const QString& title, const QString& description,
                       QWidget* parent)
    : QWidget(parent),
      symbol_(symbol),
      symbolLabel_(new QLabel(this)),
      titleLabel_(new QLabel(title, this)),
      descriptionLabel_(new QLabel(description, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    layout->addStretch(1);
    for (QLabel* label : {symbolLabel_, titleLabel_, descriptionLabel_}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    titleLabel_->setObjectName("emptyStateTitle");
    Style::apply(*titleLabel_, Style::Text::title3);
    titleLabel_->setFont([] {
        QFont font = Style::font(Style::Text::title3);
        font.setBold(true);
        return font;
    }());
    descriptionLabel_->setWordWrap(true);
    Style::apply(*descriptionLabel_, Style::Text::body, Style::secondary(palette()));
    paintSymbol();
}

QPushButton* EmptyState::addButton(const QString& text) {
    auto* button = new QPushButton(text, this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    // Before the closing stretch, centred.
    layout->insertWidget(layout->count() - 1, button, 0, Qt::AlignHCenter);
    return button;
}

QString EmptyState::title() const { return titleLabel_->text(); }
QString EmptyState::description() const { return descriptionLabel_->text(); }

void EmptyState::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) paintSymbol();
    QWidget::changeEvent(event);
}

void EmptyState::paintSymbol() {
    symbolLabel_->setPixmap(
        Symbols::pixmap(symbol_, symbolSize, Style::secondary(palette()), devicePixelRatioF()));
}

}  // namespace morrowdeck
