#pragma once

// The entry point. At most one copy runs per user: a second launch brings the
// running copy to the front (handing it any "ovrin:" links) and ends. The
// exit status is 0 on every path.
namespace OvrinApp {

int main(int argc, char* argv[]);

// Qt's own texts (the file panels, the standard buttons) in Russian, like the
// rest of the interface, whatever the system's language: Debian's
// qt6-translations-l10n. False when they are not installed.
bool loadQtTranslations();

} // namespace OvrinApp
