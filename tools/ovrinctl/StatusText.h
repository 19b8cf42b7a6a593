#pragma once

#include "link/Status.h"

#include <QStringList>

// A decoded status as lines a person reads in a terminal (Russian, like the
// application). Pure, so it can be checked without a helper.
QStringList statusText(const Status& status);
