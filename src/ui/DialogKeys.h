#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

#include "ui/ImageButton.h"

namespace corvane {

// Enter presses the push button that has the focus; anywhere else it does
// nothing, so that a key pressed in a field never ends the window and throws
// away what was typed. Radio and check-box image buttons are not pressed:
// Space checks them. Returns false for any other key, which the caller passes on.
inline bool HandleEnterKey(QDialog& dialog, QKeyEvent* e) {
    if ((e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) ||
        (e->modifiers() & ~Qt::KeypadModifier))
        return false;
    auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
    auto* image = qobject_cast<ImageButton*>(button);
    if (button && (!image || image->mode == ImageButton::kPushMode))
        button->click();
    return true;
}

}  // namespace corvane
