// The tunnel model and the helper's input files, without a socket.
#include "common/CommandLine.h"
#include "transport/Target.h"
#include "tunnel/ChannelProfile.h"
#include "tunnel/EngineProfile.h"
#include "tunnel/Scenario.h"
#include "tunnel/Simulation.h"

#include <QTest>

#include <algorithm>

#include <nlohmann/json.hpp>

using namespace std::chrono_literals;
using namespace ovrin::helper;
using Clock = std::chrono::steady_clock;

namespace {

QByteArray q(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

// A: slower and faster; B: the lowest latency.
std::vector<ChannelProfile> twoChannels()
{
    return {{"Амстердам", 40, 80'000'000, 30'000'000, ChannelProfile::Transport::Udp},
            {"Riga", 20, 50'000'000, 20'000'000, ChannelProfile::Transport::Tcp}};
}

EngineProfile engine(std::uint64_t seed = 7)
{
    EngineProfile e;
    e.seed = seed;
    e.tick = 100ms;
    e.latencyAfter = 1000ms;
    e.verifyAfter = 3000ms;
    e.checkPeriod = 5000ms;
    return e;
}

} // namespace

class HelperModelTest : public QObject {
    Q_OBJECT

    const Clock::time_point t0 = Clock::time_point() + 1h;

private Q_SLOTS:
    void connectShowsLatencyThenVerification()
    {
        Simulation sim(twoChannels(), engine());
        QVERIFY(sim.connect(0, t0));
        auto at = [&](std::chrono::milliseconds offset) { return sim.read(t0 + offset); };

        QVERIFY(at(0ms).running && at(0ms).primary);
        QCOMPARE(at(999ms).latencyMs, 0);
        QVERIFY(!at(2999ms).verified);
        const auto first = at(1000ms).latencyMs;
        QVERIFY2(first >= 32 && first <= 48, QByteArray::number(qint64(first)).constData());
        QVERIFY(at(3000ms).verified);
    }

    void ratesMoveSmoothlyAroundTheProfile()
    {
        Simulation sim(twoChannels(), engine());
        sim.connect(0, t0);
        std::int64_t previousDown = -1, previousPeak = 0, lowest = INT64_MAX, highest = 0;
        for (auto t = 2000ms; t <= 120s; t += 100ms) {
            const Simulation::Reading r = sim.read(t0 + t);
            QVERIFY2(r.downBps >= 60'000'000 && r.downBps <= 100'000'000,
                     QByteArray::number(qint64(r.downBps)).constData());
            QVERIFY(r.upBps >= 22'500'000 && r.upBps <= 37'500'000);
            QVERIFY(r.peakBps >= r.downBps && r.peakBps >= previousPeak);
            if (previousDown >= 0)
                QVERIFY2(std::abs(r.downBps - previousDown) < 4'000'000, "a jump between ticks");
            previousDown = r.downBps;
            previousPeak = r.peakBps;
            lowest = std::min(lowest, r.downBps);
            highest = std::max(highest, r.downBps);
        }
        QVERIFY2(highest - lowest > 8'000'000, "the rate hardly moves");
    }

    void peakFollowsTheConnection()
    {
        Simulation sim(twoChannels(), engine());
        sim.connect(0, t0);
        const std::int64_t peakA = sim.read(t0 + 10s).peakBps;
        QVERIFY(peakA > 60'000'000);

        QVERIFY(sim.connect(0, t0 + 11s)); // the running channel again: nothing restarts
        QVERIFY(sim.read(t0 + 11s).peakBps >= peakA);

        sim.connect(1, t0 + 12s);
        QCOMPARE(sim.read(t0 + 12s).peakBps, 0);
        QVERIFY(sim.best()[0] >= peakA);
        QVERIFY(sim.read(t0 + 20s).peakBps > 0);
        QCOMPARE(sim.best()[1], sim.read(t0 + 20s).peakBps);

        sim.stop();
        const Simulation::Reading stopped = sim.read(t0 + 21s);
        QVERIFY(!stopped.running && !stopped.primary && !stopped.verified);
        QCOMPARE(stopped.downBps + stopped.upBps + stopped.latencyMs + stopped.peakBps, 0);
        QCOMPARE(stopped.checkNextMs, 5000);
        QVERIFY(sim.best()[1] > 0);
    }

    void checkCountsDown_data()
    {
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<int>("wait");
        QTest::addColumn<int>("next");
        QTest::newRow("at connect") << 0 << 0 << 5000;
        QTest::newRow("inside the first period") << 1200 << 1200 << 3800;
        QTest::newRow("on a check") << 5000 << 0 << 5000;
        QTest::newRow("third period") << 12345 << 2345 << 2655;
    }

    void checkCountsDown()
    {
        QFETCH(int, elapsed);
        QFETCH(int, wait);
        QFETCH(int, next);
        Simulation sim(twoChannels(), engine());
        sim.connect(1, t0);
        const Simulation::Reading r = sim.read(t0 + std::chrono::milliseconds(elapsed));
        QCOMPARE(r.checkTotalMs, 5000);
        QCOMPARE(r.checkWaitMs, wait);
        QCOMPARE(r.checkNextMs, next);
    }

    // Polling often or rarely must not change what the tunnel reports.
    void figuresDependOnSeedAndTimeOnly()
    {
        Simulation often(twoChannels(), engine());
        Simulation rarely(twoChannels(), engine());
        Simulation otherSeed(twoChannels(), engine(8));
        for (Simulation* sim : {&often, &rarely, &otherSeed})
            sim->connect(0, t0);
        for (auto t = 0ms; t < 30s; t += 37ms)
            often.read(t0 + t);
        const Simulation::Reading a = often.read(t0 + 30s);
        const Simulation::Reading b = rarely.read(t0 + 30s);
        const Simulation::Reading c = otherSeed.read(t0 + 30s);
        QCOMPARE(a.downBps, b.downBps);
        QCOMPARE(a.upBps, b.upBps);
        QCOMPARE(a.latencyMs, b.latencyMs);
        QCOMPARE(a.peakBps, b.peakBps);
        QVERIFY(a.downBps != c.downBps || a.peakBps != c.peakBps);
    }

    void lostRouteKeepsTheTunnelButNotTheTraffic()
    {
        Simulation sim(twoChannels(), engine());
        sim.setStallAfter(4000ms);
        sim.connect(0, t0);
        const Simulation::Reading before = sim.read(t0 + 3900ms);
        QVERIFY(before.primary && before.verified);
        const Simulation::Reading after = sim.read(t0 + 10s);
        QVERIFY(after.running && !after.primary && !after.verified);
        QVERIFY2(after.downBps < 10'000, QByteArray::number(qint64(after.downBps)).constData());
        // The peak stops at the last tick before the route was lost.
        Simulation unstalled(twoChannels(), engine());
        unstalled.connect(0, t0);
        QCOMPARE(after.peakBps, unstalled.read(t0 + 3999ms).peakBps);
    }

    void channelChoice()
    {
        Simulation sim(twoChannels(), engine());
        QCOMPARE(sim.automaticChoice(), 1u);
        QVERIFY(!sim.connect(2, t0));
        QVERIFY(!sim.running());
        sim.select(1);
        QCOMPARE(sim.active(), 1u);
        auto tie = twoChannels();
        tie[1].latencyMs = tie[0].latencyMs;
        QCOMPARE(Simulation(tie, engine()).automaticChoice(), 0u);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("restore"); // "-" for none
        QTest::addColumn<QString>("error");   // empty when the line is valid
        const QString none = QStringLiteral("-");
        auto row =
            [](const char* name, const char* line, const QString& restore, const char* error) {
                QTest::newRow(name)
                    << QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                    << restore << QString::fromUtf8(error);
            };
        row("standard", "-default c.json -engine n", none, "");
        row("any order, restore", "-restore-channel Рига -engine n -default c.json",
            QStringLiteral("Рига"), "");
        row("nothing", "", none, "missing -default");
        row("no engine", "-default c.json", none, "missing -engine");
        row("unknown option", "-default c.json -engine n --verbose x", none, "unknown argument");
        row("value missing", "-default c.json -engine", none, "needs a value");
        row("twice", "-default a -default b -engine n", none, "given twice");
        row("application's spelling", "-default c -engine n --restore-channel X", none,
            "unknown argument");
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, restore);
        QFETCH(QString, error);
        std::vector<std::string> argv;
        for (const QString& arg : args)
            argv.push_back(arg.toStdString());
        std::string problem;
        const auto line = CommandLine::parse(argv, problem);
        QCOMPARE(line.has_value(), error.isEmpty());
        if (!line) {
            QVERIFY2(q(problem).contains(error.toUtf8()), problem.c_str());
            return;
        }
        QCOMPARE(line->channels, std::filesystem::path("c.json"));
        QCOMPARE(line->engine, std::filesystem::path("n"));
        QCOMPARE(line->restoreChannel.has_value(), restore != QStringLiteral("-"));
        if (line->restoreChannel)
            QCOMPARE(q(*line->restoreChannel), restore.toUtf8());
    }

    void inputFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("error"); // empty when valid
        const char* channel =
            R"({"name":"A","latency_ms":40,"down_bps":9000000,"up_bps":3000000,"transport":"udp"})";
        auto list = [](const QByteArray& items) -> QByteArray {
            return "{\"channels\":[" + items + "]}";
        };
        QTest::newRow("channels: valid") << "channels" << list(channel) << QByteArray();
        QTest::newRow("channels: empty") << "channels" << list("") << QByteArray("1 to 64");
        QTest::newRow("channels: duplicate")
            << "channels" << list(QByteArray(channel) + "," + channel) << QByteArray("duplicate");
        QTest::newRow("channels: fractional latency")
            << "channels" << list(QByteArray(channel).replace("40", "40.5"))
            << QByteArray("integer");
        QTest::newRow("channels: transport")
            << "channels" << list(QByteArray(channel).replace("udp", "quic"))
            << QByteArray("transport");
        QTest::newRow("channels: typo")
            << "channels" << list(QByteArray(channel).replace("up_bps", "upbps"))
            << QByteArray("unknown key 'upbps'");
        QTest::newRow("netcore: minimal")
            << "netcore" << QByteArray(R"({"format":1,"seed":1,"tick_ms":250,"verify_after_ms":0})")
            << QByteArray();
        QTest::newRow("netcore: tick too short")
            << "netcore" << QByteArray(R"({"format":1,"seed":1,"tick_ms":1,"verify_after_ms":0})")
            << QByteArray("tick_ms");
        QTest::newRow("netcore: no seed")
            << "netcore" << QByteArray(R"({"format":1,"tick_ms":250,"verify_after_ms":0})")
            << QByteArray("missing key 'seed'");
        QTest::newRow("scenario: full")
            << "scenario"
            << QByteArray(R"({"stall_after_ms":0,"message":"Тест","helper_missing":true,
                 "refuse":{"/stop":{"status":500,"body":"Нет"}},"delay_ms":{"/status":1500},
                 "export_failure":"диск занят"})")
            << QByteArray();
        QTest::newRow("scenario: status out of range")
            << "scenario" << QByteArray(R"({"refuse":{"/stop":{"status":99}}})")
            << QByteArray("status");
        QTest::newRow("scenario: key with a query")
            << "scenario" << QByteArray(R"({"delay_ms":{"/connect?i=1":10}})")
            << QByteArray("request paths");
        QTest::newRow("scenario: typo")
            << "scenario" << QByteArray(R"({"stall":true})") << QByteArray("unknown key 'stall'");
    }

    void inputFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, error);
        const nlohmann::json document = nlohmann::json::parse(json.toStdString());
        std::string problem;
        bool ok = false;
        if (kind == QStringLiteral("channels"))
            ok = ChannelProfile::parseList(document, problem).has_value();
        else if (kind == QStringLiteral("netcore"))
            ok = EngineProfile::parse(document, problem).has_value();
        else
            ok = Scenario::parse(document, problem).has_value();
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(q(problem).contains(error), problem.c_str());
    }

    void shippedResourcesLoad()
    {
        const std::filesystem::path folder = OVRIN_RESOURCE_DIR;
        std::string problem;
        const auto channels = ChannelProfile::loadList(folder / "channels.json", problem);
        QVERIFY2(channels, problem.c_str());
        QVERIFY(channels->size() >= 6 && channels->size() <= 8);
        auto cyrillic = [](const ChannelProfile& c) { return c.name.find("\xD0") != c.name.npos; };
        QVERIFY(std::any_of(channels->begin(), channels->end(), cyrillic));
        QVERIFY(!std::all_of(channels->begin(), channels->end(), cyrillic));
        QVERIFY2(EngineProfile::load(folder / "netcore", problem), problem.c_str());
    }

    void sampleScenariosLoad()
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(OVRIN_SCENARIO_DIR)) {
            std::string problem;
            QVERIFY2(Scenario::load(entry.path(), problem), problem.c_str());
            ++count;
        }
        QVERIFY(count >= 5);
    }

    void targets_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("path"); // empty: the target is refused
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value"); // "<none>" when absent
        QTest::newRow("index") << QByteArray("/connect?i=3") << QByteArray("/connect")
                               << QByteArray("i") << QByteArray("3");
        QTest::newRow("plus stays a plus")
            << QByteArray("/export?to=/tmp/a+b%2Bc.zip") << QByteArray("/export")
            << QByteArray("to") << QByteArray("/tmp/a+b+c.zip");
        QTest::newRow("utf-8 and space")
            << QByteArray("/export?to=%2Ftmp%2F%D0%B6%20x.zip") << QByteArray("/export")
            << QByteArray("to") << QByteArray("/tmp/ж x.zip");
        QTest::newRow("second argument")
            << QByteArray("/stop?x&reason=update") << QByteArray("/stop") << QByteArray("reason")
            << QByteArray("update");
        QTest::newRow("absent") << QByteArray("/stop") << QByteArray("/stop")
                                << QByteArray("reason") << QByteArray("<none>");
        QTest::newRow("empty value") << QByteArray("/export?to=") << QByteArray("/export")
                                     << QByteArray("to") << QByteArray("");
        QTest::newRow("cut escape")
            << QByteArray("/export?to=%2") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("not hex") << QByteArray("/export?to=%zz") << QByteArray() << QByteArray()
                                 << QByteArray();
        QTest::newRow("relative") << QByteArray("status") << QByteArray() << QByteArray()
                                  << QByteArray();
    }

    void targets()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        const auto target = Target::parse(raw.toStdString());
        QCOMPARE(target.has_value(), !path.isEmpty());
        if (!target)
            return;
        QCOMPARE(q(target->path()), path);
        const auto found = target->query(name.toStdString());
        QCOMPARE(found ? q(*found) : QByteArray("<none>"), value);
    }
};

QTEST_GUILESS_MAIN(HelperModelTest)
#include "tst_HelperModel.moc"
