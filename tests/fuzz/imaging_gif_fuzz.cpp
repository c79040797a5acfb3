// Feeds arbitrary bytes to the GIF reader and the entry points behind it.
#include "imaging_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sorvane::fuzz::exerciseReader(data, size, sorvane::kFileGif);
    return 0;
}
