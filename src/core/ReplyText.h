#pragma once

#include "link/HelperReply.h"

#include <QString>

#include <optional>

// What a failure alert shows: the reply body as UTF-8 text when there was a
// reply and it decodes, otherwise "Помощник не ответил.".
QString replyText(const std::optional<HelperReply>& reply);
