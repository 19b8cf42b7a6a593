#pragma once

#include <QString>
#include <QStringList>

// The letters the simulated center "sends": files in the outbox folder of
// the center, named so that the newest sorts last.
struct Letter {
    QString code;      // the 6-digit code
    QString challenge; // the challenge it answers (its Message-ID)
    QString linkToken; // empty in a confirmation letter, which has no link
    QString link;      // the whole "ovrin://auth?…" sign-in link, or empty
};

// The names of the letters to `email` in `center`'s outbox, oldest first.
QStringList lettersTo(const QString& center, const QString& email);
// The newest letter to `email`; every field empty when there is none.
Letter newestLetter(const QString& center, const QString& email);
