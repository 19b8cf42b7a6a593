#pragma once

#include <QString>

#include <optional>

namespace ResourceFolder {

// The application's resources ("helper", "channels.json", "netcore",
// "menubar.svg"): `<directory of the executable>/../lib/ovrin`, the same in
// the build tree and in an install. Nothing when that folder does not exist.
// Needs the QCoreApplication.
std::optional<QString> find();

} // namespace ResourceFolder
