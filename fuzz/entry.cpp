// The libFuzzer entry point of one fuzz program; QELT_FUZZ_TARGET names the target function.
#include "targets/targets.hpp"

extern "C" const char* __ubsan_default_options()
{
    return "suppressions=" QELT_FUZZ_UBSAN_SUPPRESSIONS ":print_stacktrace=1:halt_on_error=1";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return Fuzz::QELT_FUZZ_TARGET(data, size);
}
