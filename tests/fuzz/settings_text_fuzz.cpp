// A settings file's text, as far as the program takes it in: the store, then the
// settings, the profile table (with its SSH gateways) and the platform settings read from it. Whatever the
// text holds, a store it reads has a text form that reads back as the same store,
// what comes out is in range, and saving and loading it again gives the same records.

#include <string>

#include "platform/RegistryText.h"
#include "settings/SettingsStore.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegistryStore store;
    std::string error;
    if (!registryFromText(std::string_view(reinterpret_cast<const char*>(data), size), store, error))
        return 0;
    RegistryStore again;
    if (!registryFromText(registryToText(store), again, error) || !(again == store))
        __builtin_trap();
    Settings settings;
    ProfileTable profiles;
    PlatformSettings platform;
    LoadSettings(store, "/program/", settings, profiles);
    LoadPlatformSettings(store, platform);
    LoadSshGateways(store, profiles);
    if (profiles.ConnTypes() < 0 || profiles.ConnTypes() > ProfileTable::kSlots)
        __builtin_trap();
    if (platform.InboundHandshakeSeconds < 1 || platform.InboundHandshakeSeconds > 300 ||
        platform.SshTimeoutSeconds < 1 || platform.SshTimeoutSeconds > 300)
        __builtin_trap();

    RegistryStore saved;
    SaveSettings(saved, settings, profiles);
    SavePlatformSettings(saved, platform);
    SaveSshGateways(saved, profiles);
    Settings settingsAgain;
    ProfileTable profilesAgain;
    PlatformSettings platformAgain;
    LoadSettings(saved, "/program/", settingsAgain, profilesAgain);
    LoadPlatformSettings(saved, platformAgain);
    LoadSshGateways(saved, profilesAgain);
    if (!(profilesAgain == profiles) || !(platformAgain == platform))
        __builtin_trap();
    return 0;
}
