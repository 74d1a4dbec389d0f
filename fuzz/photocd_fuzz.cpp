// libFuzzer target for the PhotoCD reader in imagelib/photocd.cpp, reading from an fmemopen stream.
#include "photocd_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::photocd_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_photocd_input(data, size);
    return 0;
}
