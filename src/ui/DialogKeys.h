#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace corvane {

// Enter presses the button that has the focus (if it may be clicked); with
// none it ends the dialog, which applies nothing. Returns false for any other
// key, which the caller passes on.
inline bool HandleEnterKey(QDialog& dialog, QKeyEvent* e, bool mayClickFocused = true) {
    if ((e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) ||
        (e->modifiers() & ~Qt::KeypadModifier))
        return false;
    auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
    if (button && mayClickFocused)
        button->click();
    else
        dialog.accept();
    return true;
}

}  // namespace corvane
