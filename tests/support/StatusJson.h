#pragma once

#include "account/AccountStatus.h"
#include "link/Status.h"

#include <QByteArray>
#include <QJsonObject>

// The JSON a helper would send for `status`, for scripting fake replies.
QJsonObject statusObject(const Status& status);
QByteArray statusBody(const Status& status);

// The JSON of "GET /account/status" for `account`.
QByteArray accountBody(const AccountStatus& account);
