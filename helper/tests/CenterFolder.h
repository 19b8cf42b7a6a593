#pragma once

// The center tests' surroundings: a center folder of their own and a wall
// clock they move, both fresh for each test.
#include "center/CenterClock.h"

#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <memory>

inline constexpr std::int64_t Start = 1'800'000'000;

struct CenterFolder {
    QTemporaryDir root;
    std::filesystem::path center;
    std::shared_ptr<std::int64_t> wall = std::make_shared<std::int64_t>(Start);

    // An empty center folder, the clock at Start, no clock offset from the
    // environment.
    bool reset()
    {
        center = root.path().toStdString() + "/center";
        std::filesystem::remove_all(center);
        *wall = Start;
        qunsetenv(ovrin::helper::CenterClock::EnvironmentVariable);
        return root.isValid();
    }
};
