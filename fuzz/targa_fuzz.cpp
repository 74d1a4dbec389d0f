// libFuzzer target for the Targa reader in imagelib/targa.cpp, reading from an fmemopen stream.
#include "targa_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::targa_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_targa_input(data, size);
    return 0;
}
