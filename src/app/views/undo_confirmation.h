#pragma once

#include "app/undo_model.h"

class QWidget;

namespace morrowdeck {

// The question asked before an undo: a window-modal message box over `parent` that says which
// run it puts back and lists what it will put back and remove. A refused plan shows only its
// reason and an OK. The destructive button ("Undo", or "Undo Anyway" when files changed since
// the run) is never the default: Cancel is.
namespace UndoConfirmation {

UndoModel::Answer ask(QWidget* parent, const UndoModel::Prompt& prompt);

}  // namespace UndoConfirmation

}  // namespace morrowdeck
