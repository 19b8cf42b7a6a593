// The cost of one re-render of the main window's content holding 1,000 and
// 100,000 channels: after a change of the metrics only, and after the list
// of names changes. A re-render is the view's update from Core plus the
// layout and painting it leaves pending, as the next turn of the event loop
// does them.
//
// main_view_bench --resident=N prints instead what a shown view holding N
// channels adds to the process's resident memory, and exits.
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "core/Core.h"
#include "ui/main/MainView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

// Core's test hook: publishes a status as a successful poll would.
class CoreProbe {
public:
    static void publish(Core& core, const Status& status) { core.setStatus(status); }
};

namespace {

Status connected(const QString& prefix, int channels)
{
    Status s;
    s.helper = true;
    s.running = true;
    s.primary = true;
    s.verified = true;
    s.active = 500;
    s.latency_ms = 42;
    s.down_bps = 48'000'000;
    s.up_bps = 12'000'000;
    s.peak_bps = 61'000'000;
    s.channels.reserve(channels);
    for (int i = 0; i < channels; ++i)
        s.channels << prefix + u" %1 · Frankfurt"_s.arg(i);
    return s;
}

// A shown window holding the view, with a Core that publishes on demand.
struct Window {
    FakeDialogs dialogs;
    FakeLoginItem loginItem;
    FakeSystemLog log;
    Core core{fakePorts(dialogs, loginItem, log)};
    QWidget window;
    MainView* view = new MainView(core);

    explicit Window(const Status& first)
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(view);
        window.show();
        // Painting starts once the platform has exposed the window.
        const QDeadlineTimer deadline(5000);
        while (!window.windowHandle()->isExposed() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        rerender(first);
    }

    void rerender(const Status& status)
    {
        CoreProbe::publish(core, status);
        QCoreApplication::sendPostedEvents();
    }
};

void BM_RerenderMetricsOnly(benchmark::State& state)
{
    Status a = connected(u"Канал"_s, int(state.range(0)));
    Status b = a;
    b.down_bps += 1'000'000;
    b.latency_ms += 1;
    Window w(a);
    bool flip = false;
    for (auto _ : state) {
        w.rerender(flip ? a : b);
        flip = !flip;
    }
}
BENCHMARK(BM_RerenderMetricsOnly)
    ->Arg(1000)
    ->Arg(100'000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_RerenderNamesChanged(benchmark::State& state)
{
    const Status a = connected(u"Канал"_s, int(state.range(0)));
    const Status b = connected(u"Сервер"_s, int(state.range(0)));
    Window w(a);
    bool flip = false;
    for (auto _ : state) {
        w.rerender(flip ? a : b);
        flip = !flip;
    }
}
BENCHMARK(BM_RerenderNamesChanged)
    ->Arg(1000)
    ->Arg(100'000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

long residentKib()
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The resident memory a shown view holding `channels` channels adds, the
// status it shows excluded.
int printResident(int channels)
{
    const Status status = connected(u"Канал"_s, channels);
    const long before = residentKib();
    Window w(status);
    QCoreApplication::processEvents();
    const long after = residentKib();
    std::printf("view resident memory with %d channels: %ld KiB (process: %ld KiB)\n", channels,
                after - before, after);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray resident = "--resident=";
    if (argc == 2 && QByteArray(argv[1]).startsWith(resident))
        return printResident(QByteArray(argv[1]).mid(resident.size()).toInt());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
