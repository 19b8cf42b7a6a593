// The e-mail sign-in view driven as a user drives it, inside a dialog with a
// default button, its requests answered by the test.
#include "FakeDeviceIdentity.h"
#include "FakeDialogs.h"
#include "OnScreen.h"
#include "signin/EmailSignInView.h"
#include "signin/SignInDeviceRow.h"

#include <QDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Body = QMap<QString, QString>;

class SignInTest : public QObject {
    Q_OBJECT

    FakeDialogs m_dialogs;
    FakeDeviceIdentity m_device;
    QList<std::pair<Body, Core::AccountDone>> m_calls;
    std::unique_ptr<QDialog> m_window;
    EmailSignInView* m_view = nullptr;
    int m_defaultPresses = 0;

    // The address field, then the code field.
    QLineEdit* field(int index) const { return m_view->findChildren<QLineEdit*>().at(index); }
    QString message() const
    {
        auto* label = m_view->findChild<QLabel*>(u"signin-message"_s);
        return label->isVisibleTo(m_window.get()) ? label->text() : QString();
    }
    void answer(const QByteArray& json, const std::optional<QString>& error = {})
    {
        m_calls.last().second(json.isNull() ? std::nullopt
                                            : std::optional(QJsonDocument::fromJson(json).object()),
                              error);
    }
    // `text` pasted into the field `index`, then Return pressed twice.
    void enter(int index, const QString& text)
    {
        field(index)->insert(text);
        QTest::keyClick(field(index), Qt::Key_Return);
        QTest::keyClick(field(index), Qt::Key_Return);
    }

private Q_SLOTS:
    void init()
    {
        m_dialogs = FakeDialogs();
        m_calls.clear();
        m_window = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(m_window.get());
        m_view = new EmailSignInView(
            [this](const QString&, const Body& body, Core::AccountDone done) {
                m_calls.append({body, std::move(done)});
            },
            m_dialogs, m_device);
        layout->addWidget(m_view);
        auto* fallback = new QPushButton(u"Закрыть"_s, m_window.get());
        fallback->setDefault(true);
        connect(fallback, &QPushButton::clicked, this, [this] { ++m_defaultPresses; });
        layout->addWidget(fallback);
        m_window->show();
    }
    void cleanup()
    {
        QCOMPARE(std::exchange(m_defaultPresses, 0), 0); // Return goes no further than its field
        m_window.reset();
    }

    // The address goes once, trimmed and in lower case; a reply without a
    // non-empty challenge_id is a failure.
    void codeRequestFailures_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<QString>>("error");
        QTest::addColumn<QString>("text");
        // clang-format off
        QTest::newRow("challenge_id empty") << R"({"challenge_id":""})"_ba << std::optional<QString>() << u"Не удалось связаться с центром. Повторите попытку."_s;
        QTest::newRow("challenge_id beside an error") << R"({"challenge_id":"c1"})"_ba << std::optional(u"rate_limited"_s) << u"Лимит запросов кода исчерпан. Повторите попытку позже."_s;
        QTest::newRow("empty error text") << "{}"_ba << std::optional(u""_s) << u"Запрос не выполнен."_s;
        // clang-format on
    }
    void codeRequestFailures()
    {
        QFETCH(QByteArray, json);
        QFETCH(std::optional<QString>, error);
        enter(0, u"\t Пётр@Почта.РФ\u00a0\n"_s);
        QCOMPARE(m_calls.size(), 1);
        QCOMPARE(m_calls[0].first, (Body{{u"email"_s, u"пётр@почта.рф"_s}}));
        answer(json, error);
        QTEST(message(), "text");
    }

    // Six characters, whatever their UTF-16 length; sent once.
    void codeLength_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("7 digits") << u"1234567"_s << false;
        QTest::newRow("6 characters, 7 units") << u"e\u0301"_s + u"12345"_s << true;
        QTest::newRow("5 characters, 8 units") << u"🇷🇺1234"_s << false;
    }
    void codeLength()
    {
        QFETCH(QString, code);
        QFETCH(bool, accepted);
        enter(0, u"a@b.c"_s);
        answer(R"({"challenge_id":"c1"})");
        enter(1, code);
        QCOMPARE(m_calls.size(), accepted ? 2 : 1);
        if (!accepted)
            return;
        QCOMPARE(m_calls[1].first, (Body{{u"challenge_id"_s, u"c1"_s},
                                         {u"code"_s, code},
                                         {u"name"_s, m_device.name()},
                                         {u"platform"_s, m_device.platform()}}));
        answer({}, u"invalid_code"_s);
        // The field holds the keyboard again, its code selected: typing replaces it.
        QTest::keyClicks(m_window->focusWidget(), u"654321"_s);
        QCOMPARE(field(1)->text(), u"654321"_s);
    }

    // A full account offers its devices with a usable id; a replacement is
    // sent only when confirmed.
    void replacement_data()
    {
        QTest::addColumn<int>("choice");                   // in the confirmation
        QTest::addColumn<std::optional<QString>>("error"); // of the verification
        QTest::newRow("accepted") << 0 << std::optional<QString>();
        QTest::newRow("refused") << 0 << std::optional(u"email_verification_required"_s);
        QTest::newRow("cancelled") << 1 << std::optional<QString>();
        QTest::newRow("closed") << -1 << std::optional<QString>();
    }
    void replacement()
    {
        QFETCH(int, choice);
        QFETCH(std::optional<QString>, error);
        QSignalSpy signedIn(m_view, &EmailSignInView::signedIn);
        enter(0, u"a@b.c"_s);
        answer(R"({"challenge_id":"c1"})");
        enter(1, u"123456"_s);
        answer(R"({"devices":[{"id":"d1","name":"Ноутбук","platform":"Windows"},
            {"name":"без id"},{"id":""},{"id":5},{"id":"d2","name":42}]})",
               u"device_limit"_s);
        const auto rows = m_view->findChildren<SignInDeviceRow*>();
        QCOMPARE(shownTexts(rows[0]) + shownTexts(rows[1]),
                 (QStringList{u"Ноутбук"_s, u"Windows"_s, u"Заменить"_s,
                              u"Устройство без названия"_s, u"Заменить"_s}));
        m_dialogs.alertAnswers = {choice};
        QTest::mouseClick(rows[1]->replaceButton(), Qt::LeftButton);
        if (choice == 0) // while the replacement is on its way, another press does nothing
            QTest::mouseClick(rows[0]->replaceButton(), Qt::LeftButton);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_calls.size(), choice == 0 ? 3 : 2);
        if (choice != 0) { // a new code instead: the list goes, the next code goes under it
            for (auto* b : m_view->findChildren<QAbstractButton*>())
                if (b->text() == u"Получить новый код"_s)
                    b->click();
            answer(R"({"challenge_id":"c2"})");
            enter(1, u"654321"_s);
            QCOMPARE(m_calls.last().first.value(u"challenge_id"_s), u"c2"_s);
            QTRY_VERIFY(m_view->findChildren<SignInDeviceRow*>().isEmpty());
            return;
        }
        QCOMPARE(m_calls[2].first.value(u"replace_device_id"_s), u"d2"_s);
        answer("{}", error);
        QCOMPARE(signedIn.size(), error ? 0 : 1);
        // Refused, the list stays, to pick again or ask for a new code.
        QCOMPARE(rows[1]->isVisibleTo(m_window.get()), error.has_value());
        QCOMPARE(message().isEmpty(), !error);
    }
};

QTEST_MAIN(SignInTest)
#include "tst_SignIn.moc"
