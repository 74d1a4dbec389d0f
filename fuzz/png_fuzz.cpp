// libFuzzer target for the PNG module's reader (modules/zarnpng), reading from an fmemopen stream.
#include "png_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::png_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_png_input(data, size);
    return 0;
}
