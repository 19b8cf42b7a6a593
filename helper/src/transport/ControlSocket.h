#pragma once

#include <utility> // before Asio: Boost 1.74 relies on it under C++20

#include "common/DataFolder.h"

#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/strand.hpp>
#include <sys/types.h>

namespace ovrin::helper {

// The listening control socket. Only one helper serves a data folder: the lock file
// "helper.lock" is held for the whole run, and a socket file that another program still
// answers on is never taken over. A socket file nobody answers on is stale and removed.
class ControlSocket {
public:
    using Acceptor = boost::asio::local::stream_protocol::acceptor;

    enum class Result { Listening, Busy, Failed };

    explicit ControlSocket(boost::asio::io_context& io);
    ~ControlSocket();
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    // Binds the socket (mode 0600) and listens. On Busy or Failed `error` says why.
    Result open(const DataFolder& folder, std::string& error);
    bool removedStale() const { return m_removedStale; }
    Acceptor& acceptor() { return m_acceptor; }
    // Stops listening and removes the socket file, unless another program has replaced it.
    void close();

private:
    Acceptor m_acceptor;
    int m_lockFd = -1;
    std::string m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_removedStale = false;
};

} // namespace ovrin::helper
