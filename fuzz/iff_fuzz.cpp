// libFuzzer target for the IFF reader in imagelib/iff.cpp, reading from an fmemopen stream.
#include "iff_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::iff_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_iff_input(data, size);
    return 0;
}
