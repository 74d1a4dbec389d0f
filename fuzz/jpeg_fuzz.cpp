// libFuzzer target for the JPEG reader in imagelib/jpeg.cpp, reading from an fmemopen stream.
#include "jpeg_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::jpeg_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_jpeg_input(data, size);
    return 0;
}
