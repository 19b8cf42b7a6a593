#include "transport/Server.h"

#include "transport/Session.h"

#include <boost/asio/strand.hpp>

namespace ovrin::helper {

namespace {
// After a failed accept (out of descriptors, say) the next one waits this long.
constexpr auto RetryDelay = std::chrono::milliseconds(100);
} // namespace

Server::Server(boost::asio::io_context& io, Acceptor& acceptor, Router& router, Logs& logs,
               std::chrono::milliseconds ioTimeout)
    : m_io(io)
    , m_acceptor(acceptor)
    , m_router(router)
    , m_logs(logs)
    , m_ioTimeout(ioTimeout)
    , m_retry(acceptor.get_executor())
{}

void Server::start()
{
    boost::asio::post(m_acceptor.get_executor(), [this] { accept(); });
}

void Server::accept()
{
    m_acceptor.async_accept(boost::asio::make_strand(m_io), [this](boost::system::error_code error,
                                                                   Session::Socket socket) {
        if (error == boost::asio::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (error) {
            m_logs.warning("accept failed: " + error.message());
            m_retry.expires_after(RetryDelay);
            m_retry.async_wait([this](boost::system::error_code waited) {
                if (!waited)
                    accept();
            });
            return;
        }
        std::make_shared<Session>(std::move(socket), m_router, m_logs, m_ioTimeout)->start();
        accept();
    });
}

} // namespace ovrin::helper
