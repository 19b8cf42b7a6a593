#pragma once

#include "ui/kit/TextBlock.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

// The pieces the account window's panels are built from, so that they line
// up and behave alike.
namespace AccountForm {

constexpr int spacing = 12;
// A pairing or e-mail code: six characters as the user sees them.
constexpr int codeLength = 6;

// Return in a field of the sheet must not press whichever button had the
// focus last: none of these is a default button.
QPushButton* button(const QString& title, QWidget* parent);
TextBlock* text(TextBlock::Tone tone, const QString& content, QWidget* parent);
// Plain text the user can select, wrapped.
QLabel* selectable(QWidget* parent);
// The window's spacing between rows, `margin` around them.
QVBoxLayout* column(QWidget* widget, int margin = 0);
// The rows of a panel, which keeps the height they need: while the window's
// layout settles (the cabinet above growing as it loads, say), a panel short
// of room overlaps its neighbour for a moment instead of squeezing its
// fields and buttons.
QVBoxLayout* panelColumn(QWidget* panel);

// A field bound to a string of the window: the user's edits go to its
// `textEdited`; showText writes the string back only when it differs, so
// that the cursor stays.
QLineEdit* field(const QString& placeholder, QWidget* parent);
void showText(QLineEdit* edit, const QString& value);
// Return in `edit` presses `target` when it can be pressed.
void submits(QLineEdit* edit, QPushButton* target);

} // namespace AccountForm
