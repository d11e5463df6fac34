// Fuzzes the PC2 point-cache reader (see point_cache_fuzzer.h).
#include "point_cache_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzPointCache(data, size, true);
    return 0;
}
