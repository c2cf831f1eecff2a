// Whether the fast matcher may find its short search strings by comparing 32 bytes at once: only where the
// processor can (x86-64 with AVX2), checked when the program runs, since the build targets plain x86-64.
// Internal to scan/; tests turn it off to check the other filters on the same machine.
#pragma once

namespace scan::detail {

// True when matchers compiled from now on use the vector filter.
bool VectorFilterInUse();
// Allows (the default) or forbids the vector filter for matchers compiled from now on; allowing it has no
// effect on a processor without it.
void AllowVectorFilter(bool allowed);

} // namespace scan::detail
