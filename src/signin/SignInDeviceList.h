#pragma once

#include "signin/SignInDevice.h"

#include <QList>
#include <QWidget>

class QVBoxLayout;

// The devices offered for replacement, one row each in the center's order.
class SignInDeviceList : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignInDeviceList)

public:
    explicit SignInDeviceList(int spacing, QWidget* parent = nullptr);

    // Rebuilds the rows only when the list differs from the one shown.
    void setDevices(const QList<SignInDevice>& devices);
    // Disables every "Заменить" while a request is in flight.
    void setBusy(bool busy);

Q_SIGNALS:
    void replaceRequested(const SignInDevice& device);

private:
    QVBoxLayout* m_rows;
    QList<SignInDevice> m_devices;
    bool m_busy = false;
};
