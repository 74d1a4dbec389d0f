// libFuzzer target for the TIFF module's reader (modules/zarntiff), reading from an fmemopen stream.
#include "tiff_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::tiff_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_tiff_input(data, size);
    return 0;
}
