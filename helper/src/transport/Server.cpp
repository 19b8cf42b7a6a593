#include "transport/Server.h"

#include "transport/Session.h"

#include <boost/asio/strand.hpp>

namespace ovrin::helper {

namespace {
// After a failed accept (out of descriptors, say) the next one waits this long.
constexpr auto RetryDelay = std::chrono::milliseconds(100);
} // namespace

Server::Server(boost::asio::io_context& io, Acceptor& acceptor, Router& router, Logs& logs)
    : io_(io)
    , acceptor_(acceptor)
    , router_(router)
    , logs_(logs)
    , retry_(acceptor.get_executor())
{}

void Server::start()
{
    boost::asio::post(acceptor_.get_executor(), [this] { accept(); });
}

void Server::accept()
{
    acceptor_.async_accept(boost::asio::make_strand(io_), [this](boost::system::error_code error,
                                                                 Session::Socket socket) {
        if (error == boost::asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (error) {
            logs_.warning("accept failed: " + error.message());
            retry_.expires_after(RetryDelay);
            retry_.async_wait([this](boost::system::error_code waited) {
                if (!waited)
                    accept();
            });
            return;
        }
        std::make_shared<Session>(std::move(socket), router_, logs_)->start();
        accept();
    });
}

} // namespace ovrin::helper
