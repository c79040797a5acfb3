// Two views of one live device against sorvane-sim over loopback: each keeps its own
// copy of the picture, redrawn only where the connection reported changes, and both
// equal the simulator's dump byte for byte; a tap in either, through its own geometry
// (1x, and 2x turned by 90) and PointerInput, reaches the device once; one detached
// and gone, the other stays live and updating.

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>

#include "connect/PendingLink.h"
#include "platform/PosixTransports.h"
#include "view/Connection.h"
#include "view/PictureRender.h"
#include "view/PointerInput.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

// A view with a geometry of its own (for its pointer), no skin or toolbar. It keeps
// the picture as it shows it, as the dump's rows of RGB bytes, and redraws only the
// areas reported since when the test (its thread) calls draw(). Link states: ignored.
struct HarnessView final : ConnectionView, ConnectionObserver {
    explicit HarnessView(ViewGeometry g) : geometry(g) {}
    void invalidate(const DeviceRect& area) override
    {
        std::lock_guard lock(m);
        damage = damage.united(area);
    }
    void repaintAll() override { invalidate({0, 0, 1 << 16, 1 << 16}); }
    bool hidden() const override { return false; }
    void stateChanged(DeviceState) override {}

    void draw(ScreenState& screen)
    {
        DeviceRect a;
        {
            std::lock_guard lock(m);
            a = std::exchange(damage, DeviceRect{});
        }
        std::lock_guard pictures(screen.pictureMutex);
        const DisplaySize d = DisplayInUse(screen);
        const std::vector<uint8_t> rgb = PictureToRgb(*ShownPicture(screen));
        shown.resize(rgb.size());
        for (int y = std::max(a.top, 0); y < std::min(a.bottom, d.height); ++y)
            for (int x = std::max(a.left, 0); x < std::min(a.right, d.width); ++x)
                std::copy_n(&rgb[3 * size_t(y * d.width + x)], 3, &shown[3 * size_t(y * d.width + x)]);
    }
    // The simulator's dump of what it last sent, byte for byte.
    bool showsDump(const std::filesystem::path& dump) const
    {
        return readFile(dump) == "P6\n120 90\n255\n" + std::string(shown.begin(), shown.end());
    }

    // A tap (left press and release) at a point of this view.
    void tap(Connection& c, int x, int y)
    {
        const DisplaySize d = DisplayInUse(c.screen());
        for (PointerAction a : {PointerAction::Press, PointerAction::Release})
            for (const InputPacket& p :
                 pointer.map(geometry, d.width, d.height, a, PointerButton::Left, false, x, y).packets)
                c.sendInput(p, false);
    }

    const ViewGeometry geometry;
    PointerInput pointer;
    std::mutex m;
    DeviceRect damage;
    std::vector<uint8_t> shown;
};


// The next line of the simulator's report that starts with `prefix`; empty on time-out.
std::string nextLine(SimProcess& sim, const std::string& prefix)
{
    while (std::optional<std::string> line = sim.readLine(std::chrono::seconds(20)))
        if (line->rfind(prefix, 0) == 0)
            return *line;
    return {};
}

} // namespace

TEST(Views, TwoViewsOfOneDeviceShowItTakeTapsAndEndApart)
{
    TempDir dir;
    SimProcess sim({"--host", "127.0.0.1", "--port", "0", "--width", "120", "--height", "90", "--picture", "synthetic",
                    "--still-after", "3", "--dump-dir", dir.path().string()});
    SystemClock clock;
    Links links(clock);
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Wan);
    profile.ipAddress = 0x7F000001; // 127.0.0.1
    profile.refreshRate = 18;
    LinkConfig config;
    config.agentPort = uint16_t(sim.tcpPort());
    PosixTransportFactory factory;
    PendingLink pending(clock);
    ASSERT_TRUE(pending.open(config, profile, factory) && pending.connect(nullptr).passed());
    links.take(0, SlotUse{uint32_t(LinkKind::Wan)});
    // The views outlive the connection: it goes first.
    HarnessView plain({1, 0, 0, 0, 0});
    auto turned = std::make_unique<HarnessView>(ViewGeometry{2, 90, 0, 0, 0});
    std::string error;
    std::unique_ptr<Connection> c = Connection::Open(links, 0, pending.take(), profile, 0, ViewStart{}, error);
    ASSERT_TRUE(c) << error;
    c->attach(plain);
    c->attach(*turned);
    c->start(plain);
    const auto show = [&](std::vector<HarnessView*> views) {
        for (int i = 0; i < 2000; ++i) {
            for (HarnessView* v : views)
                v->draw(c->screen());
            if (std::all_of(views.begin(), views.end(), [&](auto* v) { return v->showsDump(dir / "main.ppm"); }))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    ASSERT_FALSE(nextLine(sim, "dumped main 4").empty()); // the picture stands still from here
    ASSERT_TRUE(show({&plain, turned.get()}));

    // A tap in each view, at its own scale and rotation: client (2 * (89 - 40), 2 * 30)
    // of the turned view is device (30, 40). Each reaches the device once: the next
    // input after them is the tap that follows.
    plain.tap(*c, 10, 20);
    turned->tap(*c, 2 * (89 - 40), 2 * 30);
    for (const char* line : {"input 84 10 20", "input 85 10 20", "input 84 30 40", "input 85 30 40"})
        EXPECT_EQ(nextLine(sim, "input "), line);

    // The turned view goes (detached, then destroyed: no call may reach it after). The
    // plain one, wiped to black, shows the picture again after a refresh (which the
    // device answers with its whole picture), and takes taps.
    c->detach(*turned);
    turned.reset();
    std::fill(plain.shown.begin(), plain.shown.end(), 0);
    c->requestRefresh();
    EXPECT_TRUE(show({&plain}));
    plain.tap(*c, 5, 6);
    EXPECT_EQ(nextLine(sim, "input "), "input 84 5 6");
}
