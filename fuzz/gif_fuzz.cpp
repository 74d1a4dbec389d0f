// libFuzzer target for the GIF reader in imagelib/gif.cpp, reading from an fmemopen stream.
#include "gif_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::gif_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_gif_input(data, size);
    return 0;
}
