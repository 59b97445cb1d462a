#pragma once

#include <QGroupBox>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace morrowdeck {

// "Problems": what went wrong in a run, one line per damaged, missing or failed file, as the
// command line prints it. The lines can be selected and copied as text: Ctrl+C and the context
// menu's Copy take the selected lines (all when none is selected), Copy All every line.
// Hidden while there are none.
class ProblemList final : public QGroupBox {
    Q_OBJECT
  public:
    explicit ProblemList(QWidget* parent = nullptr);

    // Shows `lines`. Lines added at the end are appended, so a growing list costs only the new
    // lines.
    void setLines(const QStringList& lines);

    QListWidget* list() const { return list_; }
    QPushButton* copyAllButton() const { return copyAll_; }
    // The text Ctrl+C puts on the clipboard: the selected lines, or all, one a line.
    QString selectedText() const;

  private:
    void copy(const QString& text);

    QListWidget* list_;
    QPushButton* copyAll_;
    QStringList lines_;
};

}  // namespace morrowdeck
