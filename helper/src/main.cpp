#include <utility> // before Asio: Boost 1.74 relies on it under C++20

#include "center/AccountService.h"
#include "center/CenterStore.h"
#include "common/CommandLine.h"
#include "common/DataFolder.h"
#include "transport/ControlSocket.h"
#include "transport/Router.h"
#include "transport/Server.h"
#include "transport/Session.h"
#include "tunnel/ChannelProfile.h"
#include "tunnel/Controller.h"
#include "tunnel/EngineProfile.h"
#include "tunnel/Scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <csignal>

namespace {

using namespace ovrin::helper;
namespace asio = boost::asio;

// Exit statuses from sysexits.h.
constexpr int NoInput = 66;
constexpr int OsError = 71;
constexpr int CannotCreate = 73;
constexpr int TempFail = 75;
constexpr int ConfigError = 78;

int fail(int status, const std::string& message)
{
    std::cerr << "helper: " << message << '\n';
    return status;
}

// The value an update installer must present in "X-Ovrin-Update-Session". Without
// OVRIN_UPDATE_SESSION it is random and never shown, so no update request is authorised.
std::string updateSession()
{
    if (const char* given = std::getenv("OVRIN_UPDATE_SESSION"); given != nullptr && *given)
        return given;
    std::random_device random;
    std::string session;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", unsigned(random()));
        session += part;
    }
    return session;
}

// The I/O time-out of a connection: OVRIN_IO_TIMEOUT_MS, whole milliseconds from 1 to
// 600000, else the default. Tests shorten it so that a slow client costs them little.
std::optional<std::chrono::milliseconds> ioTimeout(std::string& error)
{
    const char* given = std::getenv("OVRIN_IO_TIMEOUT_MS");
    if (given == nullptr || *given == '\0')
        return Session::DefaultIoTimeout;
    const std::string text = given;
    if (text.size() <= 6 && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const long ms = std::stol(text);
        if (ms >= 1 && ms <= 600'000)
            return std::chrono::milliseconds(ms);
    }
    error = "bad OVRIN_IO_TIMEOUT_MS '" + text + "': whole milliseconds from 1 to 600000";
    return std::nullopt;
}

// Runs the controller's periodic work once per engine tick.
class Ticker {
public:
    Ticker(asio::io_context& io, Controller& controller, std::chrono::milliseconds period)
        : m_timer(asio::make_strand(io))
        , m_controller(controller)
        , m_period(period)
    {}
    void start()
    {
        m_timer.expires_after(m_period);
        m_timer.async_wait([this](boost::system::error_code error) {
            if (error)
                return;
            m_controller.tick();
            start();
        });
    }

private:
    asio::steady_timer m_timer;
    Controller& m_controller;
    std::chrono::milliseconds m_period;
};

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const std::optional<CommandLine> line =
        CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!line)
        return fail(CommandLine::UsageExit, error + "; " + CommandLine::Usage);

    auto channels = ChannelProfile::loadList(line->channels, error);
    if (!channels)
        return fail(NoInput, "cannot start without the channel list: " + error);
    auto engine = EngineProfile::load(line->engine, error);
    if (!engine)
        return fail(NoInput, "cannot start without the engine profile: " + error);
    Scenario scenario;
    if (const char* file = std::getenv(Scenario::EnvironmentVariable); file != nullptr && *file) {
        auto loaded = Scenario::load(file, error);
        if (!loaded)
            return fail(NoInput,
                        std::string("bad ") + Scenario::EnvironmentVariable + ": " + error);
        scenario = std::move(*loaded);
    }
    const std::optional<std::chrono::milliseconds> timeout = ioTimeout(error);
    if (!timeout)
        return fail(CommandLine::UsageExit, error);

    const std::optional<std::filesystem::path> home = DataFolder::home();
    if (!home)
        return fail(ConfigError, "no home folder: HOME is not set");
    const DataFolder folder = DataFolder::forHome(*home);
    if (!folder.create(error))
        return fail(CannotCreate, error);

    std::signal(SIGPIPE, SIG_IGN);
    asio::io_context io;
    // Registered before anything else: a stop request during start-up waits for the handler.
    asio::signal_set signals(io, SIGTERM, SIGINT);
    ControlSocket control(io);
    switch (control.open(folder, error)) {
    case ControlSocket::Result::Busy:
        return fail(TempFail, error);
    case ControlSocket::Result::Failed:
        return fail(OsError, error);
    case ControlSocket::Result::Listening:
        break;
    }

    const std::chrono::milliseconds tick = engine->tick;
    Controller controller(
        {std::move(*channels), *engine, std::move(scenario), folder, {}, OVRIN_HELPER_VERSION});
    if (control.removedStale())
        controller.logs().info("removed a stale socket file");
    controller.start(line->restoreChannel);

    AccountService account(controller, {folder, CenterStore::folderFor(folder), {}});
    account.start();

    Router router(controller, updateSession(), account);
    Server server(io, control.acceptor(), router, controller.logs(), *timeout);
    server.start();
    Ticker ticker(io, controller, tick);
    ticker.start();

    signals.async_wait([&](boost::system::error_code waited, int number) {
        if (waited)
            return;
        controller.logs().info("signal " + std::to_string(number) + ": stopping");
        asio::post(control.acceptor().get_executor(), [&] {
            control.close();
            io.stop();
        });
    });

    // A handler that throws is reported and the thread goes back to work.
    auto run = [&io, &controller] {
        for (;;) {
            try {
                io.run();
                return;
            } catch (const std::exception& thrown) {
                controller.reportFailure("io_exception", {{"error", thrown.what()}});
            }
        }
    };
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i)
        pool.emplace_back(run);
    run();
    for (std::thread& thread : pool)
        thread.join();

    controller.shutdown();
    return 0;
}
