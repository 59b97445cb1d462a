#include "app/views/problem_list.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

ProblemList::ProblemList(QWidget* parent)
    : QGroupBox(QStringLiteral("Problems"), parent),
      list_(new QListWidget(this)),
      copyAll_(new QPushButton(QStringLiteral("Copy All"), this)) {
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Long paths wrap, so every line can be read whole.
    list_->setWordWrap(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setIconSize(QSize(16, 16));
    list_->setMinimumHeight(list_->fontMetrics().height() * 8);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copySelected = new QAction(QStringLiteral("Copy"), list_);
    copySelected->setShortcut(QKeySequence::Copy);
    copySelected->setShortcutContext(Qt::WidgetShortcut);
    auto* copyEverything = new QAction(QStringLiteral("Copy All"), list_);
    list_->addAction(copySelected);
    list_->addAction(copyEverything);
    copyAll_->setAutoDefault(false);
    copyAll_->setToolTip(QStringLiteral("Copy every line as text"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copyAll_);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(copySelected, &QAction::triggered, this, [this] { copy(selectedText()); });
    const auto all = [this] { copy(lines_.join(QLatin1Char('\n'))); };
    connect(copyEverything, &QAction::triggered, this, all);
    connect(copyAll_, &QPushButton::clicked, this, all);
    setVisible(false);
}

void ProblemList::setLines(const QStringList& lines) {
    const bool grows = lines.size() >= lines_.size() &&
                       std::equal(lines_.begin(), lines_.end(), lines.begin());
    if (!grows) list_->clear();
    const QIcon warning = Symbols::icon(QStringLiteral("exclamationmark.triangle.fill"), Style::orange());
    const QIcon error = Symbols::icon(QStringLiteral("xmark.octagon.fill"), Style::red());
    for (qsizetype i = grows ? lines_.size() : 0; i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(
            lines[i].startsWith(QLatin1String("error:")) ? error : warning, lines[i], list_);
        item->setToolTip(lines[i]);
    }
    lines_ = lines;
    setTitle(QStringLiteral("Problems (%1)").arg(lines_.size()));
    setVisible(!lines_.isEmpty());
}

QString ProblemList::selectedText() const {
    QStringList chosen;
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->isSelected()) chosen << lines_.value(row);
    return (chosen.isEmpty() ? lines_ : chosen).join(QLatin1Char('\n'));
}

void ProblemList::copy(const QString& text) {
    QApplication::clipboard()->setText(text);
}

}  // namespace morrowdeck
