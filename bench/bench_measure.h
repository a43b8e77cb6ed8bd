// What the benchmarks share: summarising timings, the twelve queries of a
// sampling pass, and the floor that the one-byte-per-write discipline costs.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using BenchClock = std::chrono::steady_clock;

// One character at 115200 baud, 8N1 (ten bits), in milliseconds.
constexpr double kCharacterMs = 10.0 / 115200.0 * 1000.0;
constexpr int kPassExchanges = 12;
constexpr int kQueryFrameLength = 16; // "*00" + code + operand + checksum + CR
constexpr int kVersionFrameLength = 8;
constexpr int kReplyFrameLength = 12;
constexpr int kPassCharacters = kPassExchanges * (kQueryFrameLength + kReplyFrameLength);

struct Figures {
    double median;
    double p99;
};

Figures Summarise(std::vector<double> samples);

double MsSince(BenchClock::time_point start);

// Runs work repetitions times and returns each run's milliseconds.
std::vector<double> Time(int repetitions, const std::function<void()>& work);

// The twelve query bodies of a sampling pass, in the order the panel sends them.
const std::vector<std::string>& SamplingPassBodies();

// A write and an output-queue query per character of a pass on a
// pseudo-terminal with nobody answering.
Figures MeasureFloor(int repetitions);
