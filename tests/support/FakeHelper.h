#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// A scripted stand-in for the helper: a real listening Unix socket that
// answers each request with a reply chosen by the test. It runs on threads of
// its own, so a test may block in a synchronous round trip against it.
class FakeHelper {
public:
    using ms = std::chrono::milliseconds;

    struct Reply {
        enum class End {
            Close,              // write the reply, then close
            KeepOpen,           // write the reply, keep the connection until the client leaves
            Stall,              // write nothing, keep the connection until the client leaves
            CloseWithoutAnswer, // close at once
            Drip,               // write the head, then a body byte every `bodyDelay`, endlessly
        };
        QByteArray head; // everything up to and including the blank line
        QByteArray body;
        ms delay{0};     // before the head
        ms bodyDelay{0}; // between the head and the body (written separately)
        End end = End::Close;

        // "HTTP/1.0 <code> <reason>" with the JSON content type and length.
        static Reply json(int code, const QByteArray& body);
        static Reply text(int code, const QByteArray& body);
        static Reply stall();
        static Reply closeWithoutAnswer();
        // A 200 head, then one body byte every `every` until the client leaves.
        static Reply drip(ms every);

        Reply& after(ms d)
        {
            delay = d;
            return *this;
        }
        Reply& bodyAfter(ms d)
        {
            bodyDelay = d;
            return *this;
        }
        Reply& keepOpen()
        {
            end = End::KeepOpen;
            return *this;
        }
    };

    struct Request {
        QByteArray raw; // every byte received, head and body
        QByteArray method;
        QByteArray target;
        QByteArray requestLine;
        QList<std::pair<QByteArray, QByteArray>> headers; // in arrival order
        QByteArray body;

        QByteArray header(const QByteArray& name) const;
    };

    // Listens on `socketPath` (its folder is created). Check listening().
    explicit FakeHelper(const QString& socketPath);
    ~FakeHelper();
    FakeHelper(const FakeHelper&) = delete;
    FakeHelper& operator=(const FakeHelper&) = delete;

    bool listening() const { return m_listenFd >= 0; }
    QString socketPath() const { return m_path; }

    // The standing reply for "METHOD TARGET"; the target is matched whole
    // first, then without its query.
    void route(const QByteArray& method, const QByteArray& target, const Reply& reply);
    // Replaces the answer to requests that match nothing (404 by default).
    void fallback(const Reply& reply);

    QList<Request> requests() const;
    QList<Request> requests(const QByteArray& method, const QByteArray& path) const;
    int count(const QByteArray& method, const QByteArray& path) const;
    void clearRequests();
    // Waits up to `timeout` until `n` requests have arrived in all.
    bool waitForRequests(int n, ms timeout = ms(5000)) const;
    // Close every connection as soon as it is accepted, reading nothing.
    void closeOnAccept(bool on) { m_closeOnAccept = on; }
    // Connections currently open (a stalled or kept-open one counts).
    int openConnections() const { return m_open.load(); }

    // Stops listening, releases every stalled connection and joins threads.
    void stop();

private:
    void acceptLoop();
    void serve(int fd);
    Reply choose(const Request& request);
    bool pause(ms d);
    void holdUntilClientLeaves(int fd);

    QString m_path;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_open{0};
    std::atomic<bool> m_closeOnAccept{false};
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::thread> m_workers;
    std::map<std::pair<QByteArray, QByteArray>, Reply> m_routes;
    Reply m_fallback;
    QList<Request> m_requests;
};

// Waits until no helper round trip of this process is in flight and the main
// thread has taken every completion handed to it, including those of round
// trips that the completions themselves started. For checking that nothing
// (more) happened, without sleeping. False when `timeout` ran out first.
bool settleRoundTrips(FakeHelper::ms timeout = FakeHelper::ms(5000));
