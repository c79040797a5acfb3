// The settings file parser over arbitrary bytes: it either refuses the text or reads
// a store whose text form reads back as the same store.
#include <cstdlib>
#include <string>

#include "platform/RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sorvane::RegistryStore store;
    std::string error;
    if (!sorvane::registryFromText(std::string_view(reinterpret_cast<const char*>(data), size), store, error))
        return 0;
    sorvane::RegistryStore again;
    if (!sorvane::registryFromText(sorvane::registryToText(store), again, error) || !(again == store))
        std::abort();
    return 0;
}
