#include "cabinet/PlanPicker.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

using namespace Qt::StringLiterals;

namespace {

constexpr int minimumCharacters = 12;
const QString separator = u" · "_s;

} // namespace

PlanPicker::PlanPicker(QWidget* parent)
    : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(minimumCharacters);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // In the open list the price at the end stays visible too.
    view()->setTextElideMode(Qt::ElideMiddle);
}

QString PlanPicker::entryText(const CabinetPlan& plan)
{
    return plan.name + separator + plan.price();
}

void PlanPicker::setPlans(const QList<CabinetPlan>& plans)
{
    if (plans == m_plans)
        return;
    m_plans = plans;
    const QSignalBlocker quiet(this);
    clear();
    for (const CabinetPlan& plan : plans)
        addItem(entryText(plan), plan.id);
    setCurrentIndex(-1);
}

void PlanPicker::setCurrentPlan(const QString& id)
{
    const QSignalBlocker quiet(this);
    int index = -1;
    for (qsizetype i = 0; i < m_plans.size(); ++i) {
        if (m_plans.at(i).id == id) {
            index = int(i);
            break;
        }
    }
    setCurrentIndex(index);
}

QString PlanPicker::planAt(int index) const
{
    return index >= 0 && index < m_plans.size() ? m_plans.at(index).id : QString();
}

void PlanPicker::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);

    const int index = currentIndex();
    if (index >= 0 && index < m_plans.size()) {
        const CabinetPlan& plan = m_plans.at(index);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, this);
        const QFontMetrics metrics = fontMetrics();
        const QString tail = separator + plan.price();
        const int room = field.width() - 4 - metrics.horizontalAdvance(tail);
        option.currentText =
            room > metrics.horizontalAdvance(u"M…"_s)
                ? metrics.elidedText(plan.name, Qt::ElideRight, room) + tail
                : metrics.elidedText(entryText(plan), Qt::ElideRight, field.width() - 4);
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
