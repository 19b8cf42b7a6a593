#include "signin/SignInDeviceList.h"

#include "signin/SignInDeviceRow.h"

#include <QPushButton>
#include <QVBoxLayout>

SignInDeviceList::SignInDeviceList(int spacing, QWidget* parent)
    : QWidget(parent)
    , m_rows(new QVBoxLayout(this))
{
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(spacing);
}

void SignInDeviceList::setDevices(const QList<SignInDevice>& devices)
{
    if (devices == m_devices)
        return;
    m_devices = devices;
    // A row may be the sender of the click that led here: delete it later.
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (const SignInDevice& device : devices) {
        auto* row = new SignInDeviceRow(device, this);
        row->replaceButton()->setEnabled(!m_busy);
        connect(row, &SignInDeviceRow::replaceRequested, this, &SignInDeviceList::replaceRequested);
        m_rows->addWidget(row);
        row->show(); // at once, not on the layout's queued call
    }
}

void SignInDeviceList::setBusy(bool busy)
{
    m_busy = busy;
    for (int i = 0; i < m_rows->count(); ++i) {
        if (auto* row = qobject_cast<SignInDeviceRow*>(m_rows->itemAt(i)->widget()))
            row->replaceButton()->setEnabled(!busy);
    }
}
