#pragma once

#include <string>
#include <string_view>

// The lines every benchmark prints for the summary table that ends `make bench`
// (scripts/bench.sh gathers them from standard output):
//
//   summary<TAB>figure<TAB>value<TAB>target or -<TAB>ok|MISSED|-
//
// A benchmark that states targets ends with `return benchsummary::exitStatus();`, which is
// 1 when any target was missed.
namespace benchsummary {

// A figure without a target.
void figure(std::string_view name, std::string_view value);
// A figure with its target and whether it was met.
void check(std::string_view name, std::string_view value, std::string_view target, bool met);
// A figure that could not be measured, and why ("no corpus").
void skipped(std::string_view name, std::string_view why);

int exitStatus();

// printf-style formatting for values: format("%.2fx", ratio).
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace benchsummary
