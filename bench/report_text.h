// Small text helpers the out-of-process benchmark programs share for their tables and progress.
#pragma once

#include <chrono>
#include <string>

namespace virelo::bench {

// The value with the given number of decimals.
std::string format(double v, int decimals);
// The duration in microseconds.
double micros(std::chrono::steady_clock::duration d);
// One progress line on standard error (standard output carries only the table).
void progress(const std::string& text);

}  // namespace virelo::bench
