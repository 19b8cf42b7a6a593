#include "signin/SignInDeviceList.h"

#include "signin/SignInDeviceRow.h"

#include <QPushButton>
#include <QVBoxLayout>

SignInDeviceList::SignInDeviceList(int spacing, QWidget* parent)
    : QWidget(parent)
    , rows_(new QVBoxLayout(this))
{
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(spacing);
}

void SignInDeviceList::setDevices(const QList<SignInDevice>& devices)
{
    if (devices == devices_)
        return;
    devices_ = devices;
    // A row may be the sender of the click that led here: delete it later.
    while (QLayoutItem* item = rows_->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (const SignInDevice& device : devices) {
        auto* row = new SignInDeviceRow(device, this);
        row->replaceButton()->setEnabled(!busy_);
        connect(row, &SignInDeviceRow::replaceRequested, this, &SignInDeviceList::replaceRequested);
        rows_->addWidget(row);
        row->show(); // at once, not on the layout's queued call
    }
}

void SignInDeviceList::setBusy(bool busy)
{
    busy_ = busy;
    for (int i = 0; i < rows_->count(); ++i) {
        if (auto* row = qobject_cast<SignInDeviceRow*>(rows_->itemAt(i)->widget()))
            row->replaceButton()->setEnabled(!busy);
    }
}
