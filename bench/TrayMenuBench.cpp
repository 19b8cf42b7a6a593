// The tray menu kept current for 100,000 channels (it shows the first
// TrayMenu::maxChannelItems): filling it the first time, an update where
// only the metrics changed (what every status poll does), and one where the
// names changed.
#include "app/TrayMenu.h"

#include <QApplication>
#include <QMenu>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int channelCount = 100000;

Status withChannels(const QString& prefix)
{
    Status s;
    s.running = true;
    s.primary = true;
    s.active = 7;
    s.channels.reserve(channelCount);
    for (int i = 0; i < channelCount; ++i)
        s.channels << prefix + u" — канал "_s + QString::number(i);
    return s;
}

TrayMenu::Actions none()
{
    return {[](int) {}, [] {}, [] {}, [] {}, [] {}};
}

void BM_TrayMenuFirstFill(benchmark::State& state)
{
    const Status status = withChannels(u"Германия"_s);
    for (auto _ : state) {
        auto menu = std::make_unique<QMenu>();
        TrayMenu tray(menu.get(), none());
        tray.update(status);
        benchmark::DoNotOptimize(menu->actions().size());
        state.PauseTiming();
        menu.reset();
        state.ResumeTiming();
    }
}

void BM_TrayMenuMetricsOnly(benchmark::State& state)
{
    QMenu menu;
    TrayMenu tray(&menu, none());
    Status status = withChannels(u"Германия"_s);
    tray.update(status);
    qint64 latency = 1;
    for (auto _ : state) {
        status.latency_ms = ++latency;
        tray.update(status);
    }
}

void BM_TrayMenuNamesChange(benchmark::State& state)
{
    QMenu menu;
    TrayMenu tray(&menu, none());
    const Status first = withChannels(u"Германия"_s);
    const Status second = withChannels(u"Франция"_s);
    bool flip = false;
    tray.update(first);
    for (auto _ : state) {
        flip = !flip;
        tray.update(flip ? second : first);
    }
}

} // namespace

BENCHMARK(BM_TrayMenuFirstFill)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TrayMenuMetricsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrayMenuNamesChange)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
