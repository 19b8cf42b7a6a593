#pragma once

#include "cabinet/CabinetPlan.h"

#include <QComboBox>
#include <QList>

// The plan picker: one entry per plan, "name · price", standing for the
// plan's id. When an entry is too long for the box, the name gives way and
// the price stays whole.
class PlanPicker : public QComboBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanPicker)

public:
    explicit PlanPicker(QWidget* parent = nullptr);

    static QString entryText(const CabinetPlan& plan);

    // Replaces the entries only when the plans differ from those shown.
    void setPlans(const QList<CabinetPlan>& plans);
    // Shows the first plan with `id`, or no entry when there is none.
    void setCurrentPlan(const QString& id);
    QString planAt(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<CabinetPlan> m_plans;
};
