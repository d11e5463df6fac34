// Fuzzes the MDD point-cache reader (see point_cache_fuzzer.h).
#include "point_cache_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzPointCache(data, size, false);
    return 0;
}
