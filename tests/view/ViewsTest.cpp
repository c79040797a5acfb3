// Two views of one live device against sorvane-sim over loopback: each shows the
// simulator's own dump of its screen at its own scale and rotation, redrawing only
// what the connection reported; a tap in either (through its PointerInput) reaches the
// device once; one detached and gone, the other stays live and updating.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

// A view with a geometry of its own and no skin or toolbar. It keeps the picture as it
// shows it (0xFFRRGGBB) and, when the test (its thread) calls draw(), redraws only the
// areas reported since.
class HarnessView final : public ConnectionView {
public:
    HarnessView(ScreenState& screen, ViewGeometry g) : g_(g), screen_(screen) {}
    void invalidate(const DeviceRect& area) override
    {
        std::lock_guard lock(m_);
        damage_ = damage_.united(area);
    }
    void repaintAll() override
    {
        std::lock_guard lock(m_);
        damage_ = {0, 0, 1 << 20, 1 << 20};
    }
    bool hidden() const override { return false; }

    void draw()
    {
        std::lock_guard pictures(screen_.pictureMutex);
        const DisplaySize d = DisplayInUse(screen_);
        const DisplaySize turned = RotatedSize(d.width * g_.scale, d.height * g_.scale, g_.rotation);
        shown.resize(size_t(turned.width) * size_t(turned.height));
        width = turned.width;
        DeviceRect area;
        {
            std::lock_guard lock(m_);
            area = std::exchange(damage_, DeviceRect{});
        }
        area = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, d.width),
                std::min(area.bottom, d.height)};
        if (area.empty())
            return;
        const WindowRect r = InvalidateChanged(g_, d.width, d.height, area);
        const int s = g_.scale, x0 = r.left / s, y0 = r.top / s, w = (r.right - r.left) / s;
        std::vector<uint32_t> part(size_t(w) * size_t((r.bottom - r.top) / s));
        RenderRotatedRegion(*ShownPicture(screen_), g_.rotation, x0, y0, w, (r.bottom - r.top) / s, part.data(),
                            size_t(w));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                shown[size_t(y) * size_t(width) + size_t(x)] = part[size_t(y / s - y0) * size_t(w) + size_t(x / s - x0)];
    }
    // Every shown pixel is the dump's (binary P6) pixel that the view maps it to.
    bool showsDump(const std::string& ppm) const
    {
        int W = 0, H = 0, n = 0;
        if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &W, &H, &n) != 2 || shown.empty() ||
            ppm.size() != size_t(n + 1 + 3 * W * H))
            return false;
        for (size_t i = 0; i < shown.size(); ++i) {
            const DevicePoint p = WindowToDevice(g_, W, H, int(i % size_t(width)), int(i / size_t(width)));
            const auto* c = reinterpret_cast<const uint8_t*>(ppm.data()) + n + 1 + 3 * (p.y * W + p.x);
            if (shown[i] != (0xFF000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]))
                return false;
        }
        return true;
    }

    const ViewGeometry g_;
    std::vector<uint32_t> shown;
    int width = 0;

private:
    ScreenState& screen_;
    std::mutex m_;
    DeviceRect damage_;
};

struct NoLinkEvents final : ViewSink {
    void linkClosed() override {}
};

// The next line of the simulator's report that starts with `prefix`; empty on time-out.
std::string nextLine(SimProcess& sim, const std::string& prefix)
{
    while (std::optional<std::string> line = sim.readLine(std::chrono::seconds(20)))
        if (line->rfind(prefix, 0) == 0)
            return *line;
    return {};
}

// A tap (left press and release) at a client point of one view.
void tap(Connection& c, HarnessView& v, PointerInput& pointer, int x, int y)
{
    const DisplaySize d = DisplayInUse(c.screen());
    for (PointerAction a : {PointerAction::Press, PointerAction::Release})
        for (const InputPacket& p : pointer.map(v.g_, d.width, d.height, a, PointerButton::Left, false, x, y).packets)
            c.sendInput(p, false);
}

} // namespace

TEST(Views, TwoViewsOfOneDeviceShowItTakeTapsAndEndApart)
{
    TempDir dir;
    SimProcess sim({"--host", "127.0.0.1", "--port", "0", "--width", "120", "--height", "90", "--picture", "synthetic",
                    "--still-after", "3", "--dump-dir", dir.path().string()});
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(uint16_t(sim.tcpPort()));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    SystemClock clock;
    Links links(clock);
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Wan);
    profile.refreshRate = 18;
    PendingLink pending(clock);
    pending.describe(profile);
    pending.attach(PosixSocket::adopt(fd));
    ASSERT_EQ(pending.handshake(nullptr), HandshakeStatus::Passed);
    pending.moveTo(links, 0);
    std::string error;
    std::unique_ptr<Connection> c = Connection::Open(links, 0, profile, 0, ViewStart{}, error);
    ASSERT_TRUE(c) << error;

    HarnessView plain(c->screen(), {1, 0, 0, 0, 0});
    auto turned = std::make_unique<HarnessView>(c->screen(), ViewGeometry{2, 90, 0, 0, 0});
    c->attach(plain);
    c->attach(*turned);
    NoLinkEvents events;
    c->start(events);
    const auto bothShowTheDump = [&] {
        for (int i = 0; i < 2000; ++i) {
            plain.draw();
            turned->draw();
            const std::string dump = readFile(dir / "main.ppm");
            if (plain.showsDump(dump) && turned->showsDump(dump))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    ASSERT_FALSE(nextLine(sim, "dumped main 4").empty()); // the picture stands still from here
    ASSERT_TRUE(bothShowTheDump());

    // A tap in each view, at its own scale and rotation: client (2 * (89 - 40), 2 * 30)
    // of the turned view is device (30, 40). Each reaches the device once: the next
    // input after them is the tap that follows.
    PointerInput plainPointer, turnedPointer;
    tap(*c, plain, plainPointer, 10, 20);
    tap(*c, *turned, turnedPointer, 2 * (89 - 40), 2 * 30);
    for (const char* line : {"input 84 10 20", "input 85 10 20", "input 84 30 40", "input 85 30 40"})
        EXPECT_EQ(nextLine(sim, "input "), line);

    // The turned view goes (detached, then destroyed: no call may reach it after). The
    // plain one, wiped to black, shows the picture again after a refresh (which the
    // device answers with its whole picture), and takes taps.
    c->detach(*turned);
    turned.reset();
    std::fill(plain.shown.begin(), plain.shown.end(), 0xFF000000u);
    c->requestRefresh();
    for (int i = 0; i < 2000 && !plain.showsDump(readFile(dir / "main.ppm")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plain.draw();
    }
    EXPECT_TRUE(plain.showsDump(readFile(dir / "main.ppm")));
    tap(*c, plain, plainPointer, 5, 6);
    EXPECT_EQ(nextLine(sim, "input "), "input 84 5 6");
}
