#pragma once

#include <utility> // before Asio: Boost 1.74 relies on it under C++20

#include "transport/Router.h"
#include "tunnel/Logs.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>

namespace ovrin::helper {

// Accepts connections and gives each a Session on a strand of its own.
class Server {
public:
    using Acceptor = boost::asio::local::stream_protocol::acceptor;

    Server(boost::asio::io_context& io, Acceptor& acceptor, Router& router, Logs& logs,
           std::chrono::milliseconds ioTimeout);
    void start();

private:
    void accept();

    boost::asio::io_context& m_io;
    Acceptor& m_acceptor;
    Router& m_router;
    Logs& m_logs;
    std::chrono::milliseconds m_ioTimeout;
    boost::asio::steady_timer m_retry;
};

} // namespace ovrin::helper
