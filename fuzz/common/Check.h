#pragma once

// The fuzz targets check invariants, not only that nothing crashes: a broken one aborts with
// its name, which libFuzzer reports as a crash and keeps the input for.

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

inline void require(bool holds, const char* invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

} // namespace fuzzcheck
