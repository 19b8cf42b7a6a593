#pragma once

class QThreadPool;

// The process-wide pool on which helper round trips run. Round trips block
// for up to their time-out, so the pool may grow to 64 threads: a helper that
// accepts connections and never answers must not starve user commands.
namespace BackgroundQueue {

inline constexpr int maxThreads = 64;

// Created on first use (thread-safe), alive until the process ends.
QThreadPool* pool();

} // namespace BackgroundQueue
