// libFuzzer target for the PCX reader in imagelib/pcx.cpp, reading from an fmemopen stream.
#include "pcx_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::pcx_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_pcx_input(data, size);
    return 0;
}
