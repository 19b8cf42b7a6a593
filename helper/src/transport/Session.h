#pragma once

#include <utility> // before Asio: Boost 1.74 relies on it under C++20

#include "transport/Reply.h"
#include "transport/Router.h"
#include "tunnel/Logs.h"

#include <array>
#include <chrono>
#include <memory>

#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

namespace ovrin::helper {

// One connection of the control socket: one request, one HTTP/1.0 reply, then the
// connection is closed. The socket's executor is a strand, so the handlers of a session
// never run at the same time; sessions themselves run in parallel.
class Session : public std::enable_shared_from_this<Session> {
public:
    using Socket = boost::asio::local::stream_protocol::socket;

    static constexpr std::uint64_t BodyLimit = 1024 * 1024;
    static constexpr std::uint32_t HeaderLimit = 16 * 1024;
    // A request must arrive whole within the I/O time-out; a reply must be taken within it.
    static constexpr std::chrono::milliseconds DefaultIoTimeout{10'000};

    Session(Socket socket, Router& router, Logs& logs, std::chrono::milliseconds ioTimeout);
    void start();

private:
    void onRead(boost::system::error_code error);
    void deliver(Outcome outcome);
    // After a refused request the client may still be sending: its input is read and
    // dropped for a moment so that it gets to read the reply.
    void respond(const Reply& reply, bool drainInput);
    void onWritten(boost::system::error_code error, bool drainInput);
    void drain();
    // The deadline closes the socket; a deadline that already fired but whose handler had not
    // run yet when it was disarmed is recognised by its number and ignored.
    void arm(std::chrono::steady_clock::duration timeout);
    void disarm();
    void close();

    Socket m_socket;
    Router& m_router;
    Logs& m_logs;
    std::chrono::milliseconds m_ioTimeout;
    boost::asio::steady_timer m_deadline;
    boost::asio::steady_timer m_wait;
    boost::beast::flat_buffer m_buffer;
    boost::beast::http::request_parser<boost::beast::http::string_body> m_parser;
    boost::beast::http::response<boost::beast::http::string_body> m_response;
    std::array<char, 16 * 1024> m_discard{};
    std::size_t m_drained = 0;
    std::uint64_t m_armed = 0;
    bool m_timedOut = false;
};

} // namespace ovrin::helper
