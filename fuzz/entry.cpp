// The libFuzzer entry point of one fuzz program; QELT_FUZZ_TARGET names the target function.
#include "targets/targets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return Fuzz::QELT_FUZZ_TARGET(data, size);
}
