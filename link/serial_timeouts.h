// The time-outs that bound every read and write of an exchange, in ms.
#pragma once

constexpr unsigned kReadIntervalMs = 5000;       // gap between two received bytes
constexpr unsigned kReadTotalMultiplierMs = 100; // per byte asked for
constexpr unsigned kReadTotalConstantMs = 5000;  // 12 bytes: 6200 ms in all
constexpr unsigned kWriteTotalMultiplierMs = 10; // per byte written
constexpr unsigned kWriteTotalConstantMs = 200;  // one byte: 210 ms in all
constexpr unsigned kWriteTimeoutMs = kWriteTotalMultiplierMs * 1 + kWriteTotalConstantMs;
constexpr unsigned kQueueSize = 4096;            // input and output queue sizes
