#pragma once

#include <QStringList>

class QWidget;

// The texts a person sees under `root`: every visible, non-empty text block,
// label and button text, in creation order.
QStringList shownTexts(QWidget* root);
