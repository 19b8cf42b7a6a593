#pragma once

#include "link/Status.h"

#include <QStringList>

// A decoded status as lines a person reads in a terminal (Russian, like the
// application). Pure, so it can be checked without a helper.
QStringList statusText(const Status& status);
// The same in one line, without the figures that change every second
// (response time, rates) and without the channel list: what `status --watch`
// writes to a pipe or a file each time it changes.
QString statusLine(const Status& status);
