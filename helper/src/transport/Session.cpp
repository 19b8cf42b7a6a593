#include "transport/Session.h"

#include <algorithm>
#include <cctype>

#include <boost/asio/write.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace ovrin::helper {

namespace asio = boost::asio;
namespace http = boost::beast::http;

namespace {

constexpr auto DrainTimeout = std::chrono::seconds(2);
constexpr std::size_t DrainLimit = 8 * 1024 * 1024;

bool hasNoBody(unsigned status)
{
    return status < 200 || status == 204 || status == 304;
}

} // namespace

Session::Session(Socket socket, Router& router, Logs& logs)
    : socket_(std::move(socket))
    , router_(router)
    , logs_(logs)
    , deadline_(socket_.get_executor())
    , wait_(socket_.get_executor())
{
    parser_.body_limit(BodyLimit);
    parser_.header_limit(HeaderLimit);
}

void Session::arm(std::chrono::steady_clock::duration timeout)
{
    const std::uint64_t armed = ++armed_;
    deadline_.expires_after(timeout);
    deadline_.async_wait([self = shared_from_this(), armed](boost::system::error_code error) {
        if (error || armed != self->armed_)
            return;
        self->timedOut_ = true;
        self->close();
    });
}

void Session::disarm()
{
    ++armed_;
    deadline_.cancel();
}

void Session::start()
{
    arm(IoTimeout);
    http::async_read(socket_, buffer_, parser_,
                     [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                         self->onRead(error);
                     });
}

void Session::onRead(boost::system::error_code error)
{
    disarm();
    if (timedOut_) {
        logs_.warning("client dropped: no complete request within 10 s");
        return close();
    }
    if (error == http::error::end_of_stream || error == asio::error::operation_aborted)
        return close();
    if (error == http::error::body_limit)
        return respond(Reply::text(413, "Тело запроса больше 1 МиБ."), true);
    if (error == http::error::header_limit)
        return respond(Reply::text(431, "Заголовки запроса слишком велики."), true);
    if (error)
        return respond(Reply::text(400, "Неверный запрос: " + error.message() + "."), true);

    const auto& message = parser_.get();
    Request request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    for (const auto& field : message) {
        std::string name(field.name_string());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        request.headers.emplace(std::move(name), std::string(field.value()));
    }
    request.body = message.body();
    deliver(router_.handle(request));
}

void Session::deliver(Outcome outcome)
{
    if (!outcome.deferred())
        return respond(outcome.reply, false);
    wait_.expires_after(outcome.delay);
    wait_.async_wait([self = shared_from_this(),
                      later = std::move(outcome.later)](boost::system::error_code error) {
        if (error)
            return self->close();
        self->deliver(later());
    });
}

void Session::respond(const Reply& reply, bool drainInput)
{
    response_.version(10);
    response_.result(unsigned(reply.status));
    if (response_.reason().empty() || response_.reason().front() == '<')
        response_.reason("Status " + std::to_string(reply.status));
    response_.set(http::field::server, "ovrin-helper");
    response_.set(http::field::connection, "close");
    for (const auto& [name, value] : reply.headers)
        response_.set(name, value);
    if (!hasNoBody(unsigned(reply.status))) {
        if (!reply.contentType.empty())
            response_.set(http::field::content_type, reply.contentType);
        response_.body() = reply.body;
        response_.content_length(reply.body.size());
    }

    arm(IoTimeout);
    http::async_write(
        socket_, response_,
        [self = shared_from_this(), drainInput](boost::system::error_code error, std::size_t) {
            self->onWritten(error, drainInput);
        });
}

void Session::onWritten(boost::system::error_code error, bool drainInput)
{
    disarm();
    if (error || !drainInput)
        return close();
    boost::system::error_code ignored;
    socket_.shutdown(Socket::shutdown_send, ignored);
    arm(DrainTimeout);
    drain();
}

void Session::drain()
{
    socket_.async_read_some(
        asio::buffer(discard_),
        [self = shared_from_this()](boost::system::error_code error, std::size_t bytes) {
            self->drained_ += bytes;
            if (error || self->drained_ > DrainLimit) {
                self->disarm();
                return self->close();
            }
            self->drain();
        });
}

void Session::close()
{
    boost::system::error_code ignored;
    socket_.shutdown(Socket::shutdown_both, ignored);
    socket_.close(ignored);
}

} // namespace ovrin::helper
