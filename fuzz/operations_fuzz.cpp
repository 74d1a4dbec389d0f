// libFuzzer target for the writers and the pixel operations, on any picture the readers make of the input.
#include "operations_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarn::fuzz::operations_fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zarn::fuzz::run_operations_input(data, size);
    return 0;
}
