#pragma once

#include "account/AccountStatus.h"
#include "cabinet/CabinetData.h"

#include <QDateTime>
#include <QStringList>

// The account state and the cabinet as lines a person reads in a terminal.
// Dates are in the user's time zone unless `zoneId` names another.
QStringList accountText(const AccountStatus& account);
QStringList cabinetText(const CabinetData& cabinet, const QDateTime& now, QStringView zoneId = {});
