#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <random>

#include "platform/ByteOrder.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

using namespace sorvane;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHome = "/opt/sorvane/";
const std::string kKey(kSettingsKey);

struct Loaded {
    Settings settings;
    ProfileTable profiles;
};

Loaded load(const RegistryStore& store)
{
    Loaded l;
    l.profiles.AddProfile(Profile{}); // must be cleared by the load
    l.settings.Refresh = 99;
    LoadSettings(store, kHome, l.settings, l.profiles);
    return l;
}

Profile randomProfile(std::mt19937& rng)
{
    std::array<uint8_t, Profile::kSize> bytes;
    for (uint8_t& b : bytes)
        b = uint8_t(rng());
    return Profile::decode(bytes);
}

std::vector<uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

// Writes fail while `full` is set, as on a full disk.
struct FullDisk final : FileOps {
    bool full = false;
    ssize_t write(int fd, const void* data, size_t size) override
    {
        return full ? (errno = ENOSPC, -1) : FileOps::write(fd, data, size);
    }
};

} // namespace

TEST(SettingsStore, FreshOrDamagedStateHasTheDefaults)
{
    test::TempDir tmp;
    SettingsStore store(tmp / "cfg");
    Settings s;
    ProfileTable t;
    t.AddProfile(Profile{});
    PlatformSettings p;
    SettingsLoadResult r = store.LoadSettings(kHome, s, t, p);
    EXPECT_FALSE(r.problem());
    EXPECT_FALSE(fs::exists(tmp / "cfg")); // loading makes nothing
    fs::create_directory(tmp / "cfg");
    EXPECT_EQ(t.ConnTypes(), 0);
    EXPECT_EQ(std::make_tuple(s.Refresh, s.Scale, s.InboundPort, s.AcceptInbound, s.ShowMouse, s.ComPort, s.ScriptDir),
              std::make_tuple(10, 1, 1901, 1, 1, 1, std::string("/opt/sorvane/RECORDED_DATA")));
    EXPECT_EQ(s, Settings::defaults(kHome));
    EXPECT_EQ(p, PlatformSettings::defaults());
    EXPECT_EQ(std::make_tuple(p.ComDevicePattern, p.LanDiscoveryPort), std::make_tuple(std::string("/dev/ttyS{n-1}"), 1903));

    // A damaged file is reported and the defaults stand (the file's own checks are RegistryFile's).
    std::ofstream(tmp / "cfg" / "settings.reg") << "Sorvane settings store 1\n[" << kKey << "]\n\"Refresh\"=dword:\n";
    s.Refresh = 99;
    r = store.LoadSettings(kHome, s, t, p);
    ASSERT_TRUE(r.problem());
    EXPECT_NE(r.error.find("line 3"), std::string::npos) << r.error;
    EXPECT_EQ(r.keptAside.parent_path(), tmp / "cfg");
    EXPECT_EQ(s, Settings::defaults(kHome));
}

TEST(SettingsStore, EverythingRoundTripsThroughTheFile)
{
    test::TempDir tmp;
    std::mt19937 rng(136);
    ProfileTable t;
    for (int i = 0; i < ProfileTable::kSlots; ++i)
        ASSERT_TRUE(t.AddProfile(randomProfile(rng)));
    t.setRememberedDevice(3, "Scanner \n\x01 7");
    t.setRememberedDevice(32, std::string(63, '\xE9'));
    for (int i : {5, 6}) {
        Profile p = *t.get(i);
        p.linkKind = uint32_t(i == 5 ? LinkKind::Wan : LinkKind::Proxy);
        t.EditProfile(i, p);
    }
    ASSERT_TRUE(t.setSshGateway(5, SshGateway{"ann@corp", "fe80::1", 2222, "/home/ann/.ssh/k\xC3\xA9y " + std::string(300, 'k')}));
    ASSERT_TRUE(t.setSshGateway(6, SshGateway{"bob", "gate.example", 22, ""}));
    Settings s = Settings::defaults(kHome);
    s.InboundPort = 4242;
    s.HidePassword = 1;
    s.IPAddress = int32_t(0x7F000001);
    s.CurrentSkin = 99;
    s.Skin = 1;
    s.Capture = 2;
    s.ClickFormat = 3;
    s.QueueEvents = 1;
    s.ScriptDir = "/home/ann/scripts \"q\" \\ caf\xC3\xA9";
    PlatformSettings p;
    p.ActiveSyncAddresses = "127.0.0.5,127.0.0.6";
    p.LanBroadcastAddress = "127.0.0.1";
    p.LanDiscoveryPort = 40000;
    p.ActiveSyncStartCommand = "/bin/true --start";
    p.ClickPng = 1;
    p.SshKnownHostsFile = "/home/ann/.ssh/known_hosts.sorvane";
    p.SshTimeoutSeconds = 300;
    ASSERT_EQ(SettingsStore(tmp / "a" / "b").SaveSettings(s, t, p), ""); // its folders made

    Settings s2;
    ProfileTable t2;
    PlatformSettings p2;
    SettingsStore again(tmp / "a" / "b");
    EXPECT_FALSE(again.LoadSettings("/elsewhere/", s2, t2, p2).problem());
    EXPECT_EQ(s2, s);
    EXPECT_EQ(t2, t);
    EXPECT_EQ(p2, p);
}

TEST(SettingsStore, SavedValuesHaveTheirOrderTypesAndSizes)
{
    RegistryStore store;
    Settings s = Settings::defaults(kHome);
    ProfileTable t;
    SaveSettings(store, s, t);
    SavePlatformSettings(store, PlatformSettings::defaults());
    const char* order[] = {"ConnTypes", "ConnData", "ComPort", "InboundPort", "AcceptInbound", "ShowMouse",
                           "HidePassword", "Recording_Method", "IPAddress", "Refresh", "Scale", "Skin",
                           "CurrentSkin", "Capture", "ClickFormat", "ColorMode", "QueueEvents", "ScriptDir"};
    ASSERT_EQ(store.keys().size(), 2u);
    const RegKey& main = store.keys()[0];
    EXPECT_EQ(main.path, kKey);
    ASSERT_EQ(main.values.size(), std::size(order));
    for (size_t i = 0; i < std::size(order); ++i) {
        const RegValue& v = main.values[i];
        EXPECT_EQ(v.name, order[i]);
        if (i == 1) {
            EXPECT_EQ(v.type, RegType::Binary);
            EXPECT_TRUE(v.data.empty());
        } else if (i == 17) {
            EXPECT_EQ(v.type, RegType::String);
            EXPECT_EQ(v.data, bytes(std::string("/opt/sorvane/RECORDED_DATA") + '\0'));
        } else {
            EXPECT_EQ(v.type, RegType::Dword);
            EXPECT_EQ(v.data.size(), 4u);
        }
    }
    EXPECT_EQ(store.keys()[1].path, std::string(kPlatformSettingsKey));

    // Two profiles: ConnData holds their bytes alone (the bytes themselves: the round trip above).
    t.AddProfile(Profile{});
    t.AddProfile(Profile{});
    SaveSettings(store, s, t);
    EXPECT_EQ(store.find(kKey, "ConnData")->data.size(), 272u);
    EXPECT_EQ(loadLe32(store.find(kKey, "ConnTypes")->data.data()), 2u);
    EXPECT_EQ(store.keys()[0].values[1].name, "ConnData"); // still in its place
}

TEST(SettingsStore, OutOfRangeValuesAreCorrected)
{
    // Stored CurrentSkin, Skin, Capture, ClickFormat -> loaded; Refresh and Scale are
    // taken as stored; more than 33 profiles (or a negative count) give none.
    const struct {
        uint32_t stored[4];
        int loaded[4];
        uint32_t connTypes;
    } cases[] = {{{100, 1, 3, 4}, {0, 0, 0, 0}, 34},
                 {{uint32_t(-1), 1, uint32_t(-1), uint32_t(-1)}, {0, 0, 0, 0}, uint32_t(-1)},
                 {{99, 1, 2, 3}, {99, 1, 2, 3}, 0}};
    const char* names[4] = {"CurrentSkin", "Skin", "Capture", "ClickFormat"};
    for (const auto& c : cases) {
        RegistryStore store;
        SaveSettings(store, Settings::defaults(kHome), ProfileTable{});
        for (int i = 0; i < 4; ++i)
            store.setDword(kKey, names[i], c.stored[i]);
        store.setDword(kKey, "Refresh", 0);
        store.setDword(kKey, "Scale", 77);
        store.setDword(kKey, "ConnTypes", c.connTypes);
        store.setBinary(kKey, "ConnData", std::vector<uint8_t>(34 * 136, 1));
        Loaded l = load(store);
        EXPECT_EQ(std::make_tuple(l.settings.CurrentSkin, l.settings.Skin, l.settings.Capture, l.settings.ClickFormat),
                  std::make_tuple(c.loaded[0], c.loaded[1], c.loaded[2], c.loaded[3]))
            << c.stored[0];
        EXPECT_EQ(std::make_tuple(l.settings.Refresh, l.settings.Scale), std::make_tuple(0, 77));
        EXPECT_EQ(l.profiles, ProfileTable{});
    }
}

TEST(SettingsStore, ShortAndLongProfileImages)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> image(136 + 50);
    for (uint8_t& b : image)
        b = uint8_t(rng() | 1);
    RegistryStore store;
    store.setDword(kKey, "ConnTypes", 3);
    store.setBinary(kKey, "ConnData", image);
    Loaded l = load(store);
    ASSERT_EQ(l.profiles.ConnTypes(), 3);
    std::vector<uint8_t> expected(3 * 136, 0);
    std::copy(image.begin(), image.end(), expected.begin());
    EXPECT_EQ(l.profiles.encodeUsed(), expected);

    // ConnTypes without ConnData: empty profiles. More data than ConnTypes covers: the
    // covered slots load.
    store.deleteValue(kKey, "ConnData");
    EXPECT_EQ(load(store).profiles.encodeUsed(), std::vector<uint8_t>(3 * 136, 0));
    image.resize(4 * 136, 0x55);
    store.setBinary(kKey, "ConnData", image);
    store.setDword(kKey, "ConnTypes", 2);
    EXPECT_EQ(load(store).profiles.encodeUsed(), std::vector<uint8_t>(image.begin(), image.begin() + 272));
}

TEST(SettingsStore, ValuesAreReadByTheirBytesWhateverTheirType)
{
    RegistryStore store;
    store.createKey(kKey);
    store.setBinary(kKey, "ConnTypes", std::vector<uint8_t>{1, 0, 0, 0});
    store.setString(kKey, "Scale", "ab");                                   // 61 62 00
    store.setValue(kKey, "Refresh", 11, std::vector<uint8_t>{5});           // only the low byte
    store.setBinary(kKey, "InboundPort", std::vector<uint8_t>(8, 1));       // too long: kept
    store.setValue(kKey, "ShowMouse", RegType::Dword, {});                  // empty: kept
    store.setDword(kKey, "ScriptDir", 0x00002F61);                          // "a/"
    Loaded l = load(store);
    EXPECT_EQ(std::make_tuple(l.profiles.ConnTypes(), l.settings.Scale, l.settings.Refresh, l.settings.InboundPort,
                              l.settings.ShowMouse, l.settings.ScriptDir),
              std::make_tuple(1, 0x6261, 5, 1901, 1, std::string("a/")));

    // ScriptDir must fit 256 bytes with its NUL; otherwise the default stands.
    const std::string fallback = "/opt/sorvane/RECORDED_DATA";
    for (auto [stored, loaded] : {std::pair{std::string(255, 'd') + '\0', std::string(255, 'd')},
                                  {std::string(256, 'd') + '\0', fallback}, {std::string(256, 'e'), fallback},
                                  {std::string("short"), std::string("short")}}) {
        store.setBinary(kKey, "ScriptDir", bytes(stored));
        EXPECT_EQ(load(store).settings.ScriptDir, loaded) << stored.size();
    }
}

// A list out of step with its table (a profile deleted by a program that does not keep
// it) gives nobody another profile's device; a value that breaks off keeps what came before.
TEST(SettingsStore, RememberedDevicesGoOnlyToTheirOwnProfiles)
{
    ProfileTable t;
    for (const char* name : {"A", "B", "C"}) {
        Profile p;
        p.setName(name);
        t.AddProfile(p);
    }
    t.setRememberedDevice(1, "Bee");
    t.setRememberedDevice(2, "Sea");
    RegistryStore store;
    SaveRememberedDevices(store, t);
    ProfileTable shifted = t;
    shifted.DeleteProfile(0);
    shifted.setRememberedDevice(0, "");
    shifted.setRememberedDevice(1, "");
    LoadRememberedDevices(store, shifted);
    EXPECT_EQ(shifted.rememberedDevice(0), "");
    EXPECT_EQ(shifted.rememberedDevice(1), "");

    std::vector<uint8_t> broken = store.find(kPlatformSettingsKey, "RememberedDevices")->data;
    broken.pop_back();
    store.setBinary(kPlatformSettingsKey, "RememberedDevices", broken);
    ProfileTable again = t;
    again.setRememberedDevice(1, "");
    again.setRememberedDevice(2, "");
    LoadRememberedDevices(store, again);
    EXPECT_EQ(again.rememberedDevice(1), "Bee");
    EXPECT_EQ(again.rememberedDevice(2), "");
}

// "SshGateways" byte by byte: for each profile its name, its gateway's text (1-byte
// lengths), its key file's path (2-byte little-endian length). An entry under another
// name, or whose gateway does not read, gives nothing; a value that breaks off keeps
// the entries before it.
TEST(SettingsStore, SshGatewaysByTheirBytes)
{
    ProfileTable t;
    for (const char* name : {"A", "Bb", "C"}) {
        Profile p;
        p.setName(name);
        p.linkKind = uint32_t(name[0] == 'C' ? LinkKind::Proxy : LinkKind::Wan);
        t.AddProfile(p);
    }
    const std::string keyFile = "/" + std::string(299, 'k'); // 300 bytes: 2C 01
    std::vector<uint8_t> value;
    auto put = [&](std::initializer_list<uint8_t> lengths, std::string_view text) {
        value.insert(value.end(), lengths);
        value.insert(value.end(), text.begin(), text.end());
    };
    put({1}, "A"), put({13}, "ann@gate:2222"), put({0x2C, 0x01}, keyFile);
    put({2}, "Bb"), put({0}, ""), put({0, 0}, "");
    put({1}, "C"), put({16}, "bob@[fe80::1]:22"), put({0, 0}, "");
    RegistryStore store;
    store.setBinary(kPlatformSettingsKey, "SshGateways", value);
    ProfileTable loaded = t;
    LoadSshGateways(store, loaded);
    EXPECT_EQ(loaded.sshGateway(0), (SshGateway{"ann", "gate", 2222, keyFile}));
    EXPECT_EQ(loaded.sshGateway(1), std::nullopt);
    EXPECT_EQ(loaded.sshGateway(2), (SshGateway{"bob", "fe80::1", 22, ""}));

    // Ours writes the same bytes, but for the default port, which it leaves out.
    RegistryStore ours;
    SaveSshGateways(ours, loaded);
    std::vector<uint8_t> expected(value.begin(), value.end() - 1 - 16 - 2);
    expected.push_back(13);
    for (char c : std::string_view("bob@[fe80::1]"))
        expected.push_back(uint8_t(c));
    expected.insert(expected.end(), {0, 0});
    ASSERT_EQ(ours.find(kPlatformSettingsKey, "SshGateways")->type, RegType::Binary);
    EXPECT_EQ(ours.find(kPlatformSettingsKey, "SshGateways")->data, expected);

    // Another name, a gateway with a blank: nothing for them.
    value.clear();
    put({1}, "A"), put({8}, "ann@gate"), put({0, 0}, "");
    put({2}, "BB"), put({8}, "bob@gate"), put({0, 0}, "");
    put({1}, "C"), put({9}, "c d@gate"), put({0, 0}, "");
    store.setBinary(kPlatformSettingsKey, "SshGateways", value);
    ProfileTable other = t;
    LoadSshGateways(store, other);
    EXPECT_EQ(other.sshGateway(0), (SshGateway{"ann", "gate", 22, ""}));
    EXPECT_EQ(other.sshGateway(1), std::nullopt);
    EXPECT_EQ(other.sshGateway(2), std::nullopt);

    // Broken off in the first entry's key file length: nothing; in the second's name: the first.
    for (size_t cut : {size_t(12), size_t(15)}) {
        store.setBinary(kPlatformSettingsKey, "SshGateways", std::vector<uint8_t>(value.begin(), value.begin() + cut));
        ProfileTable again = t;
        LoadSshGateways(store, again);
        EXPECT_EQ(again.sshGateway(0).has_value(), cut == 15) << cut;
    }
}

TEST(SettingsStore, PlatformSettingsLiveInTheirOwnKey)
{
    RegistryStore store;
    store.setString(kPlatformSettingsKey, "LanBroadcastAddress", "127.0.0.1");
    store.setDword(kPlatformSettingsKey, "LanDiscoveryPort", 0);
    PlatformSettings p;
    LoadPlatformSettings(store, p);
    EXPECT_EQ(p.LanBroadcastAddress, "127.0.0.1");
    EXPECT_EQ(p.LanDiscoveryPort, 1903);
    EXPECT_EQ(p.SshTimeoutSeconds, 20);
    for (auto [stored, loaded] : {std::pair{0u, 1}, {301u, 300}, {0xFFFFFFFFu, 1}}) {
        store.setDword(kPlatformSettingsKey, "SshTimeoutSeconds", stored);
        LoadPlatformSettings(store, p);
        EXPECT_EQ(p.SshTimeoutSeconds, loaded) << stored;
    }
    EXPECT_FALSE(store.hasKey(kSettingsKey)); // the main key was never made

    // Platform values alone do not count as saved settings: the main key's defaults stand.
    EXPECT_EQ(load(store).settings, Settings::defaults(kHome));
}

// A save that fails (a full disk) leaves the old file whole and loses nothing the user
// entered (the caller tells the user): the next save of any kind writes it.
TEST(SettingsStore, AgentPortRegistrationAndAFailedSave)
{
    test::TempDir tmp;
    ASSERT_EQ(SettingsStore(tmp.path()).SaveSettings(Settings::defaults(kHome), {}, PlatformSettings::defaults()), "");
    const std::string before = test::readFile(tmp / "settings.reg");
    auto ops = std::make_unique<FullDisk>();
    FullDisk& disk = *ops;
    SettingsStore store(tmp.path(), std::move(ops));
    Settings s = Settings::defaults(kHome);
    ProfileTable t;
    PlatformSettings p = PlatformSettings::defaults();
    s.Refresh = 3;
    t.AddProfile(Profile{});
    p.InboundAllowed = "127.0.0.9";
    disk.full = true;
    EXPECT_NE(store.SaveSettings(s, t, p), "");
    EXPECT_NE(store.RegisterProxyPort(), "");
    EXPECT_EQ(test::readFile(tmp / "settings.reg"), before);
    disk.full = false;
    ASSERT_EQ(store.RegisterProxyPort(), "");
    const RegValue* v = store.registry().find(kProxyPortsKey, "Halvard");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, RegType::Dword);
    EXPECT_EQ(v->data, (std::vector<uint8_t>{0x6B, 0x07, 0, 0}));

    Settings s2;
    ProfileTable t2;
    PlatformSettings p2;
    SettingsStore reread(tmp.path());
    EXPECT_FALSE(reread.LoadSettings(kHome, s2, t2, p2).problem());
    EXPECT_EQ(std::tie(s2, t2, p2), std::tie(s, t, p));
    ASSERT_EQ(reread.SaveSettings(s, t, p), ""); // keeps the registration
    SettingsStore third(tmp.path());
    third.LoadSettings(kHome, s, t, p);
    EXPECT_EQ(third.registeredProxyPort(), 1899u);
}
