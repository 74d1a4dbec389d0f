// libFuzzer target for the PBMPlus reader in imagelib/pbmplus.cpp, reading from an fmemopen stream.
#include "pbmplus_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::pbmplus_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_pbmplus_input(data, size);
    return 0;
}
