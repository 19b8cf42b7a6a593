// The cabinet view against a real Core and the fake helper: loading, the
// lines it shows, the plan choice, failures, sign-out and device changes,
// the payment notice and the minute clock.
#include "CoreRig.h"
#include "OnScreen.h"
#include "StatusJson.h"
#include "cabinet/CabinetView.h"
#include "cabinet/PlanPicker.h"
#include "core/Core.h"
#include "ui/kit/TextBlock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
using ms = std::chrono::milliseconds;

namespace {

constexpr qint64 june1 = 1717243200; // 2024-06-01 12:00 UTC, 15:00 in Moscow
constexpr qint64 hour = 3600;
const QString june1Moscow = u"1 июн. 2024\u202fг., 15:00"_s;

QJsonObject subscription(bool active, const QString& planId, const QString& name, qint64 endsAt)
{
    return {{u"active"_s, active},
            {u"plan_id"_s, planId},
            {u"plan_name"_s, name},
            {u"ends_at"_s, endsAt},
            {u"devices_limit"_s, 5}};
}

QJsonObject device(const QString& id, const QString& name, const QString& platform, qint64 lastSeen,
                   bool current)
{
    return {{u"id"_s, id},
            {u"name"_s, name},
            {u"platform"_s, platform},
            {u"last_seen_at"_s, lastSeen},
            {u"current"_s, current}};
}

QJsonObject plan(const QString& id, const QString& name, qint64 price, qint64 days)
{
    return {{u"id"_s, id},
            {u"name"_s, name},
            {u"price_minor"_s, price},
            {u"currency"_s, u"RUB"_s},
            {u"period_days"_s, days},
            {u"devices_limit"_s, 3}};
}

const QJsonArray twoPlans = {plan(u"month"_s, u"Месяц"_s, 25000, 30),
                             plan(u"year"_s, u"Год"_s, 199000, 365)};

QByteArray cabinet(const QJsonObject& s, const QJsonArray& devices = {},
                   const QJsonArray& plans = twoPlans, qint64 loadedAt = june1)
{
    return QJsonDocument(QJsonObject{{u"subscription"_s, s},
                                     {u"devices"_s, devices},
                                     {u"plans"_s, plans},
                                     {u"loaded_at"_s, loadedAt}})
        .toJson(QJsonDocument::Compact);
}

const QByteArray yearly =
    cabinet(subscription(true, u"year"_s, u"Год"_s, june1 + 36 * hour),
            {device(u"d-1"_s, u"Рабочий ноутбук"_s, u"macOS"_s, june1, true)});

QByteArray accountBody(bool signedIn, const QString& deviceId)
{
    AccountStatus account;
    account.bootstrap = true;
    account.signed_in = signedIn;
    account.device_id = deviceId;
    account.active = true;
    return ::accountBody(account);
}

} // namespace

class CabinetViewTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<QWidget> m_window;
    QPointer<CabinetView> m_view;

    void account(bool signedIn, const QString& deviceId)
    {
        m_rig.helper->route("GET", "/account/status",
                            Reply::json(200, accountBody(signedIn, deviceId)));
        m_rig.core->refreshAccount();
        QTRY_VERIFY(m_rig.core->account().signed_in == signedIn &&
                    m_rig.core->account().device_id == deviceId);
    }
    void serve(const QByteArray& body, int code = 200, ms delay = ms(0))
    {
        m_rig.helper->route("GET", "/account/cabinet", Reply::json(code, body).after(delay));
    }
    void open()
    {
        m_view = new CabinetView(*m_rig.core, m_rig.dialogs);
        m_view->setTimeZone(u"Europe/Moscow"_s);
        m_window->layout()->addWidget(m_view);
        m_window->show();
    }
    void loaded(int requests)
    {
        QTRY_COMPARE(m_rig.helper->count("GET", "/account/cabinet"), requests);
        QTRY_VERIFY(!m_view->isLoading());
    }
    QPushButton* button(const QString& text) const
    {
        for (auto* b : m_view->findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }
    PlanPicker* picker() const { return m_view->findChild<PlanPicker*>(); }
    void refresh() { QTest::mouseClick(button(u"Обновить данные"_s), Qt::LeftButton); }
    // The plan above the one shown, as the arrow key picks it.
    void choosePrevious()
    {
        picker()->setFocus();
        QTest::keyClick(picker(), Qt::Key_Up);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_rig.start());
        m_window = std::make_unique<QWidget>();
        m_window->setFixedWidth(460);
        new QVBoxLayout(m_window.get());
        m_rig.clock.setNow(QDateTime::fromSecsSinceEpoch(june1));
        account(true, u"d-1"_s);
    }
    void cleanup()
    {
        m_window.reset();
        m_rig.stop();
    }

    void loadsOnShowAndTwoQuickPressesSendOne()
    {
        serve(yearly, 200, ms(300));
        open();
        QVERIFY(m_view->isLoading());
        QVERIFY(shownTexts(m_view).contains(u"Получение данных…"_s));
        loaded(1);
        QVERIFY(!shownTexts(m_view).contains(u"Получение данных…"_s));
        refresh();
        refresh();
        QVERIFY(!button(u"Обновить данные"_s)->isEnabled());
        QVERIFY(!button(u"Перейти к оплате"_s)->isEnabled());
        loaded(2);
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), 2);
        QCOMPARE(m_rig.helper->requests("GET", "/account/cabinet").constLast().body, "{}"_ba);
        QVERIFY(button(u"Перейти к оплате"_s)->isEnabled());
    }

    void subscriptionLines_data()
    {
        QTest::addColumn<QJsonObject>("subscription");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("absent");
        QTest::newRow("inactive, no end")
            << subscription(false, u"year"_s, u"Год"_s, 0)
            << QStringList{u"Год"_s, u"Нет действующей подписки"_s} << u"Дата окончания: "_s;
        QTest::newRow("36 hours left")
            << subscription(true, u"year"_s, u"Год"_s, june1 + 36 * hour)
            << QStringList{u"Осталось дней: 2"_s, u"Дата окончания: 3 июн. 2024\u202fг., 03:00"_s}
            << u"Тариф не выбран"_s;
        QTest::newRow("no plan name, endless")
            << subscription(true, u""_s, u""_s, -5)
            << QStringList{u"Тариф не выбран"_s, u"Бессрочная подписка"_s} << u"Дата окончания: "_s;
    }
    void subscriptionLines()
    {
        QFETCH(QJsonObject, subscription);
        QFETCH(QStringList, present);
        QFETCH(QString, absent);
        serve(cabinet(subscription, {}));
        open();
        loaded(1);
        const QStringList texts = shownTexts(m_view);
        for (const QString& line :
             present + QStringList{u"Данные получены: "_s + june1Moscow, u"Устройства: 0 из 5"_s,
                                   u"Устройств нет"_s})
            QVERIFY2(texts.contains(line), qPrintable(line));
        QVERIFY(!texts.join(u'\n').contains(absent));
    }

    void devices()
    {
        serve(cabinet(subscription(true, u"year"_s, u"Год"_s, 0),
                      {device(u"d-1"_s, u""_s, u"macOS"_s, june1, true),
                       device(u"d-2"_s, u"Телефон Анны"_s, u"Android"_s, 0, false)}));
        open();
        loaded(1);
        const QStringList texts = shownTexts(m_view);
        QVERIFY(texts.contains(u"Устройства: 2 из 5"_s));
        QVERIFY(!texts.contains(u"Устройств нет"_s));
        const int first = int(texts.indexOf(u"macOS · Этот Mac"_s));
        QVERIFY(first >= 0);
        QCOMPARE(texts.mid(first, 5),
                 (QStringList{u"macOS · Этот Mac"_s, u"macOS"_s,
                              u"Последнее обращение к центру: "_s + june1Moscow, u"Телефон Анны"_s,
                              u"Android"_s}));
        QCOMPARE(texts.filter(u"Последнее обращение"_s).size(), 1);
    }

    void pickerStarts_data()
    {
        QTest::addColumn<QString>("planId");
        QTest::addColumn<QJsonArray>("plans");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("line");
        QTest::newRow("on the current plan")
            << u"year"_s << twoPlans << u"year"_s << u"365 дней · Устройств: 3"_s;
        QTest::newRow("current plan not offered: the first")
            << u"old"_s << twoPlans << u"month"_s << u"30 дней · Устройств: 3"_s;
        QTest::newRow("no plans") << u"year"_s << QJsonArray() << QString() << QString();
    }
    void pickerStarts()
    {
        QFETCH(QString, planId);
        QFETCH(QJsonArray, plans);
        QFETCH(QString, selected);
        QFETCH(QString, line);
        serve(cabinet(subscription(true, planId, u"Год"_s, 0), {}, plans));
        open();
        loaded(1);
        QCOMPARE(m_view->selectedPlan(), selected);
        const QStringList texts = shownTexts(m_view);
        if (plans.isEmpty()) {
            QVERIFY(texts.contains(u"Нет доступных тарифов"_s));
            QVERIFY(!picker()->isVisibleTo(m_view));
            QVERIFY(!texts.contains(u"Перейти к оплате"_s));
            QVERIFY(!texts.join(u'\n').contains(u"Оплата пока недоступна"_s));
            return;
        }
        QCOMPARE(picker()->currentData().toString(), selected);
        QCOMPARE(picker()->currentText(), selected == u"year"
                                              ? u"Год · 1\u00a0990,00\u00a0₽"_s
                                              : u"Месяц · 250,00\u00a0₽"_s);
        QVERIFY(texts.contains(line));
        QVERIFY(texts.contains(u"Перейти к оплате"_s));
        QVERIFY(texts.contains(
            u"Оплата пока недоступна. Выбор тарифа не изменяет действующую подписку."_s));
    }

    void userChoiceSurvivesRefreshWhileOffered()
    {
        serve(yearly);
        open();
        loaded(1);
        choosePrevious(); // from "Год" to "Месяц"
        QCOMPARE(m_view->selectedPlan(), u"month"_s);
        QVERIFY(shownTexts(m_view).contains(u"30 дней · Устройств: 3"_s));
        refresh();
        loaded(2);
        QCOMPARE(m_view->selectedPlan(), u"month"_s);
        QCOMPARE(picker()->currentText(), u"Месяц · 250,00\u00a0₽"_s);

        serve(cabinet(
            subscription(true, u"year"_s, u"Год"_s, 0), {},
            {plan(u"family"_s, u"Семья"_s, 349000, 365), plan(u"year"_s, u"Год"_s, 199000, 365)}));
        refresh();
        loaded(3);
        QCOMPARE(m_view->selectedPlan(), u"year"_s);
    }

    void failedRefresh_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("failure"); // empty: taken as data
        QTest::newRow("center error") << Reply::json(502, R"({"error":"center_down"})")
                                      << u"Не удалось обновить кабинет. center_down"_s;
        QTest::newRow("not a cabinet") << Reply::json(200, R"({"subscription":{}})")
                                       << u"Не удалось обновить кабинет. Центр прислал неверные "
                                          u"данные."_s;
        QTest::newRow("not an object") << Reply::json(200, "[]")
                                       << u"Не удалось обновить кабинет. Центр прислал неверные "
                                          u"данные."_s;
        QTest::newRow("helper silent") << Reply::closeWithoutAnswer()
                                       << u"Не удалось обновить кабинет. Помощник не ответил."_s;
        QTest::newRow("an error status around a whole cabinet")
            << Reply::json(500, cabinet(subscription(true, u"year"_s, u"Годовой"_s, 0)))
            << QString();
    }
    void failedRefresh()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, failure);
        serve(yearly);
        open();
        loaded(1);
        m_rig.helper->route("GET", "/account/cabinet", reply);
        refresh();
        loaded(2);
        const QStringList texts = shownTexts(m_view);
        if (failure.isEmpty()) {
            QVERIFY(texts.contains(u"Годовой"_s));
            QVERIFY(button(u"Перейти к оплате"_s)->isEnabled());
            return;
        }
        QVERIFY(texts.contains(u"Год"_s));
        QVERIFY(texts.contains(u"Рабочий ноутбук · Этот Mac"_s));
        QVERIFY(texts.contains(failure));
        QVERIFY(texts.contains(u"Показаны ранее полученные данные."_s));
        QVERIFY(!button(u"Перейти к оплате"_s)->isEnabled());

        serve(yearly);
        refresh();
        loaded(3);
        QVERIFY(!shownTexts(m_view).contains(failure));
        QVERIFY(button(u"Перейти к оплате"_s)->isEnabled());
    }

    void firstLoadFailingShowsNoNote()
    {
        serve(R"({"error":"center_down"})", 502);
        open();
        loaded(1);
        QCOMPARE(shownTexts(m_view), (QStringList{u"Подписка"_s, u"Обновить данные"_s,
                                                  u"Не удалось обновить кабинет. center_down"_s}));
    }

    void accountChangeDuringARequest_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("deviceId");
        QTest::newRow("signed out, same device id") << false << u"d-1"_s;
        QTest::newRow("signed out, device id gone") << false << u""_s;
        QTest::newRow("this device replaced") << true << u"d-9"_s;
    }
    void accountChangeDuringARequest()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, deviceId);
        serve(yearly);
        open();
        loaded(1);
        serve(yearly, 200, ms(1500));
        refresh();
        QTRY_COMPARE(m_rig.helper->count("GET", "/account/cabinet"), 2);
        account(signedIn, deviceId);
        if (signedIn)
            serve(cabinet(subscription(true, u"month"_s, u"Месяц"_s, 0)));
        QTRY_VERIFY(!m_view->isLoading());
        if (!signedIn) {
            QVERIFY(!m_view->cabinet());
            QVERIFY(!shownTexts(m_view).contains(u"Год"_s));
            QVERIFY(settleRoundTrips());
            QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), 2);
            return;
        }
        // The late reply belonged to the old device; the new one gets its own.
        loaded(3);
        QVERIFY(m_view->cabinet());
        QCOMPARE(m_view->cabinet()->subscription.plan_name, u"Месяц"_s);
        QCOMPARE(m_view->selectedPlan(), u"month"_s);
    }

    void deviceChangeResetsAndReloads()
    {
        serve(yearly);
        open();
        loaded(1);
        choosePrevious();
        QCOMPARE(m_view->selectedPlan(), u"month"_s);
        serve(yearly, 200, ms(300));
        account(true, u"d-2"_s);
        QVERIFY(!m_view->cabinet());
        QCOMPARE(m_view->selectedPlan(), QString());
        loaded(2);
        QCOMPARE(m_view->selectedPlan(), u"year"_s);
    }

    void paymentNotice()
    {
        serve(yearly);
        open();
        loaded(1);
        choosePrevious();
        m_rig.dialogs.alertAnswers = {0};
        QTest::mouseClick(button(u"Перейти к оплате"_s), Qt::LeftButton);
        QCOMPARE(m_rig.dialogs.alerts.size(), 1);
        QCOMPARE(m_rig.dialogs.alerts[0].message, u"Оплата пока недоступна"_s);
        QCOMPARE(
            m_rig.dialogs.alerts[0].informative,
            u"Месяц: 250,00\u00a0₽ за 30 дней. Деньги не списаны, подписка не изменена."_s);
        QCOMPARE(m_rig.dialogs.alerts[0].buttons, QStringList{u"Понятно"_s});
        QCOMPARE(m_view->selectedPlan(), u"month"_s);
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), 1);
        for (const auto& request : m_rig.helper->requests())
            QCOMPARE(request.method, "GET"_ba); // nothing was sent for the payment
    }

    void minuteClockRunsUnderAnAlert()
    {
        serve(yearly); // 36 hours left
        open();
        loaded(1);
        auto* clock = m_view->findChild<QTimer*>(u"cabinet-clock"_s);
        QVERIFY(clock && clock->isActive());
        QCOMPARE(clock->interval(), CabinetLoader::clockIntervalMs);
        QVERIFY(shownTexts(m_view).contains(u"Осталось дней: 2"_s));

        m_rig.dialogs.holdModal(true); // as an open alert would
        clock->setInterval(20);
        m_rig.clock.advance(13 * hour * 1000);
        QTRY_VERIFY(shownTexts(m_view).contains(u"Осталось меньше суток"_s));
        m_rig.dialogs.holdModal(false);
        QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), 1);
        m_window->hide();
        QVERIFY(!clock->isActive());
    }

    void nothingIsAskedWhileSignedOut()
    {
        account(false, u""_s);
        serve(yearly);
        open();
        refresh();
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), 0);
        QVERIFY(!m_view->isLoading());
    }

    void longNamesAndPricesFit()
    {
        const QString longName = u"Ноутбук-бухгалтерии-второго-этажа-главного-офиса-на-Садовой"_s;
        serve(cabinet(
            subscription(true, u"big"_s, u"Корпоративный безлимитный на 12 месяцев"_s, 0),
            {device(u"d-1"_s, longName, u"macOS"_s, june1, true)},
            {plan(u"big"_s, u"Корпоративный безлимитный на 12 месяцев"_s, 9'999'999'999, 365)}));
        open();
        loaded(1);
        QVERIFY(m_view->minimumSizeHint().width() <= 460 - 2 * 11);
        QTRY_VERIFY(m_view->width() <= 460);
        for (auto* block : m_view->findChildren<TextBlock*>())
            QVERIFY2(!block->isVisibleTo(m_view) || !block->isTruncated(),
                     qPrintable(block->text()));
    }

    void lateReplyAfterTheViewIsGone()
    {
        serve(yearly, 200, ms(200));
        open();
        QTRY_COMPARE(m_rig.helper->count("GET", "/account/cabinet"), 1);
        m_window.reset();
        QVERIFY(settleRoundTrips()); // the completion finds no view
    }
};

QTEST_MAIN(CabinetViewTest)
#include "tst_CabinetView.moc"
