// libFuzzer target for the texture reader in imagelib/texture.cpp, reading from an fmemopen stream.
#include "texture_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::texture_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_texture_input(data, size);
    return 0;
}
