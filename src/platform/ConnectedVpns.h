#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The VPNs connected on this computer, for the parallel-VPN scan, as lines
// of the network tool's form
//     * (Connected) <id> VPN (<provider>) "<name>"
// A QObject, so that Core holds it weakly.
class ConnectedVpns : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectedVpns)

public:
    // One scan's reading. Runs on the scan's queue (any thread, may block)
    // and gives every line, joined with line feeds; nothing when the lines
    // cannot be read.
    using Reading = std::function<std::optional<QString>()>;

    using QObject::QObject;

    // Main thread; returns at once, asking nothing: the reading of the scan
    // that starts now.
    virtual Reading reading() const = 0;
};
