#include "FakeDeviceIdentity.h"

using namespace Qt::StringLiterals;

QString FakeDeviceIdentity::name() const
{
    return u"Стенд «Оврин»"_s;
}

QString FakeDeviceIdentity::platform() const
{
    return u"macOS"_s;
}
