// libFuzzer target for the BMP reader in imagelib/bmp.cpp, reading from an fmemopen stream.
#include "bmp_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::bmp_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_bmp_input(data, size);
    return 0;
}
