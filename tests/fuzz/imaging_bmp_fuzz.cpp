// Feeds arbitrary bytes to the BMP reader and the entry points behind it.
#include "imaging_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sorvane::fuzz::exerciseReader(data, size, sorvane::kFileBmp);
    return 0;
}
