#pragma once

#include <QString>

#include <memory>
#include <variant>

// Keeps one copy of the application per user: an exclusive flock(2) on
// "app.lock" in the data folder, held for as long as the object lives. The
// file is never written and is left in place; only the lock matters.
// Created and released on the main thread, outside the event loop.
class AppInstance {
public:
    struct Error {
        int code = 0;        // errno value: EWOULDBLOCK when another copy holds the lock
        QString description; // the system's own words for it
    };
    using Result = std::variant<std::unique_ptr<AppInstance>, Error>;

    // Creates `directory` (new folders 0700), opens "app.lock" (0600, never
    // through a symbolic link) and takes the lock without waiting. On every
    // failure no descriptor stays open.
    static Result acquire(const QString& directory);

    ~AppInstance();
    AppInstance(const AppInstance&) = delete;
    AppInstance& operator=(const AppInstance&) = delete;

    int descriptor() const { return m_descriptor; }

private:
    explicit AppInstance(int descriptor)
        : m_descriptor(descriptor)
    {}

    int m_descriptor;
};
