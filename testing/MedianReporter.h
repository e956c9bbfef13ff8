#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// A console reporter that also keeps each benchmark's median (of its repetitions, or its
// only run) so that a program can print ratios between them at the end.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Median real time per iteration in nanoseconds; 0 for a name never reported.
    double nanoseconds(const std::string& name) const;
    // A user counter's median (bytes_per_second, allocs/sample...); 0 when absent.
    double counter(const std::string& name, const std::string& counterName) const;
    bool has(const std::string& name) const { return m_ns.count(name) != 0; }

private:
    std::map<std::string, double> m_ns;
    std::map<std::string, std::map<std::string, double>> m_counters;
};
