#include "app/views/undo_confirmation.h"

#include <QMessageBox>
#include <QPushButton>

namespace morrowdeck::UndoConfirmation {

UndoModel::Answer ask(QWidget* parent, const UndoModel::Prompt& prompt) {
    QMessageBox box(parent);
    box.setWindowModality(Qt::WindowModal);
    box.setTextFormat(Qt::PlainText);
    if (!prompt.refusal.isEmpty()) {
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Cannot Undo"));
        box.setText(QStringLiteral("Run %1 cannot be undone now.").arg(prompt.runId));
        box.setInformativeText(prompt.refusal);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return UndoModel::Answer::cancel;
    }
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Undo Restore"));
    box.setText(prompt.offersForce
                    ? QStringLiteral("Some files changed since run %1. Undo it anyway?").arg(prompt.runId)
                    : QStringLiteral("Put the Serato library back as it was before run %1?")
                          .arg(prompt.runId));
    // The first line says what is put back and removed; any others name changed files. A long
    // list is cut short in the text and given whole under "Show Details…".
    constexpr qsizetype shown = 8;
    QStringList lines = prompt.lines.mid(0, shown);
    if (prompt.lines.size() > shown) {
        lines.push_back(QStringLiteral("…and %1 more.").arg(prompt.lines.size() - shown));
        box.setDetailedText(prompt.lines.join(QLatin1Char('\n')));
    }
    box.setInformativeText(lines.join(QLatin1Char('\n')));
    const UndoModel::Answer yes =
        prompt.offersForce ? UndoModel::Answer::undoAnyway : UndoModel::Answer::undo;
    QPushButton* undo = box.addButton(
        prompt.offersForce ? QStringLiteral("Undo Anyway") : QStringLiteral("Undo"),
        QMessageBox::DestructiveRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == undo ? yes : UndoModel::Answer::cancel;
}

}  // namespace morrowdeck::UndoConfirmation
