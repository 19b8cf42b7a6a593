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

Session::Session(Socket socket, Router& router, Logs& logs, std::chrono::milliseconds ioTimeout)
    : m_socket(std::move(socket))
    , m_router(router)
    , m_logs(logs)
    , m_ioTimeout(ioTimeout)
    , m_deadline(m_socket.get_executor())
    , m_wait(m_socket.get_executor())
{
    m_parser.body_limit(BodyLimit);
    m_parser.header_limit(HeaderLimit);
}

void Session::arm(std::chrono::steady_clock::duration timeout)
{
    const std::uint64_t armed = ++m_armed;
    m_deadline.expires_after(timeout);
    m_deadline.async_wait([self = shared_from_this(), armed](boost::system::error_code error) {
        if (error || armed != self->m_armed)
            return;
        self->m_timedOut = true;
        self->close();
    });
}

void Session::disarm()
{
    ++m_armed;
    m_deadline.cancel();
}

void Session::start()
{
    arm(m_ioTimeout);
    http::async_read(m_socket, m_buffer, m_parser,
                     [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                         self->onRead(error);
                     });
}

void Session::onRead(boost::system::error_code error)
{
    disarm();
    if (m_timedOut) {
        m_logs.warning("client dropped: no complete request within " +
                       std::to_string(m_ioTimeout.count()) + " ms");
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

    const auto& message = m_parser.get();
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
    deliver(m_router.handle(request));
}

void Session::deliver(Outcome outcome)
{
    if (!outcome.deferred())
        return respond(outcome.reply, false);
    m_wait.expires_after(outcome.delay);
    m_wait.async_wait([self = shared_from_this(),
                       later = std::move(outcome.later)](boost::system::error_code error) {
        if (error)
            return self->close();
        self->deliver(later());
    });
}

void Session::respond(const Reply& reply, bool drainInput)
{
    m_response.version(10);
    m_response.result(unsigned(reply.status));
    if (m_response.reason().empty() || m_response.reason().front() == '<')
        m_response.reason("Status " + std::to_string(reply.status));
    m_response.set(http::field::server, "ovrin-helper");
    m_response.set(http::field::connection, "close");
    for (const auto& [name, value] : reply.headers)
        m_response.set(name, value);
    if (!hasNoBody(unsigned(reply.status))) {
        if (!reply.contentType.empty())
            m_response.set(http::field::content_type, reply.contentType);
        m_response.body() = reply.body;
        m_response.content_length(reply.body.size());
    }

    arm(m_ioTimeout);
    http::async_write(
        m_socket, m_response,
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
    m_socket.shutdown(Socket::shutdown_send, ignored);
    arm(DrainTimeout);
    drain();
}

void Session::drain()
{
    m_socket.async_read_some(
        asio::buffer(m_discard),
        [self = shared_from_this()](boost::system::error_code error, std::size_t bytes) {
            self->m_drained += bytes;
            if (error || self->m_drained > DrainLimit) {
                self->disarm();
                return self->close();
            }
            self->drain();
        });
}

void Session::close()
{
    boost::system::error_code ignored;
    m_socket.shutdown(Socket::shutdown_both, ignored);
    m_socket.close(ignored);
}

} // namespace ovrin::helper
