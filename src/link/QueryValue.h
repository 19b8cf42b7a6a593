#pragma once

#include <QString>

// A query-item value for a helper target: UTF-8 bytes percent-encoded, only
// the unreserved characters and "/" left as they are. "+" becomes %2B and a
// space %20, so the helper never reads a plus back as a space, and the target
// never holds a space or a control character (which HelperSocket refuses).
QString queryValue(QStringView value);
