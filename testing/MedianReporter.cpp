#include "MedianReporter.h"

void MedianReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (!median && !single)
            continue;
        const std::string& name = run.run_name.function_name;
        m_ns[name] = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        for (const auto& [key, value] : run.counters)
            m_counters[name][key] = value.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

double MedianReporter::nanoseconds(const std::string& name) const
{
    auto it = m_ns.find(name);
    return it == m_ns.end() ? 0.0 : it->second;
}

double MedianReporter::counter(const std::string& name, const std::string& counterName) const
{
    auto it = m_counters.find(name);
    if (it == m_counters.end())
        return 0.0;
    auto value = it->second.find(counterName);
    return value == it->second.end() ? 0.0 : value->second;
}
