#pragma once

#include <cstddef>
#include <cstdint>

// Counts every allocation made through the global operator new of the program that links
// this library, with live and peak bytes. Thread-safe.
namespace alloccount {

// Calls of operator new (all forms) since the program started.
std::uint64_t allocations();
// Bytes held by blocks from operator new that are not yet deleted.
std::size_t liveBytes();
// The highest liveBytes() since the start or the last resetPeak().
std::size_t peakBytes();
void resetPeak();

} // namespace alloccount
