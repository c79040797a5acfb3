// A link through an SSH gateway beside the direct link, both on loopback: a real
// OpenSSH server (started by the bench with throwaway keys, as the tests start it)
// between the program and a light device.
//
//   poll round trip  a 4-byte request and a 20-byte reply (a poll of a screen that did
//                    not change), the median and 90th percentile of 2000 exchanges
//   send, receive    the program's SendFiles / ReceiveFiles of a 20 MB file of text and
//                    random data (the light device of bench_files: blocks encoded
//                    before the clock starts)
//
// Last lines: the tunnel's throughput as a share of the direct link's, against the goal
// of at least 0.9, and the latency the tunnel adds to a poll.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <signal.h>
#include <sys/wait.h>

#include "BenchFileDevice.h"
#include "BenchLoopback.h"
#include "link/Links.h"
#include "link/SlotLinkChannel.h"
#include "platform/PosixTransports.h"
#include "ssh/SshTunnel.h"
#include "support/LoopbackSockets.h"
#include "support/SshServer.h"

namespace {

namespace fs = std::filesystem;
using namespace sorvane;
using Clock = std::chrono::steady_clock;
constexpr size_t kFileSize = 20u << 20;

// The light devices listen on loopback; each accepted connection is served by one.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            std::abort();
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd_); }
    uint16_t port() const { return port_; }
    int accept() const
    {
        const int fd = ::accept(fd_, nullptr, nullptr);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

struct World {
    test::SshServer ssh;
    Listener listener;
    fs::path dir = fs::temp_directory_path() / ("sorvane-bench-ssh-" + std::to_string(getpid()));
    std::vector<uint8_t> data = bench::mixedData(kFileSize);
    bench::Blocks blocks = bench::encodeBlocks(data);
    World()
    {
        fs::create_directories(dir);
        std::ofstream(dir / "mixed.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }

    // OpenSSH's own client forwarding a local port to the listener through the same
    // server (ssh -L), started once: the peer the tunnel is measured beside.
    uint16_t forwardedPort()
    {
        if (forwardPid_ > 0)
            return forwarded_;
        forwarded_ = uint16_t(test::freeLoopbackPort());
        const std::string forward = "127.0.0.1:" + std::to_string(forwarded_) + ":127.0.0.1:" +
                                 std::to_string(listener.port());
        forwardPid_ = ::fork();
        if (forwardPid_ == 0) {
            ::execl("/usr/bin/ssh", "ssh", "-N", "-L", forward.c_str(), "-p", std::to_string(ssh.port()).c_str(), "-i",
                    ssh.clientKey().c_str(), "-o", "StrictHostKeyChecking=no", "-o",
                    ("UserKnownHostsFile=" + (dir / "known_hosts_ssh").string()).c_str(), "-o", "BatchMode=yes",
                    "-o", "ExitOnForwardFailure=yes", (ssh.user() + "@127.0.0.1").c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (const int fd = test::connectLoopback(forwarded_); fd >= 0) {
                ::close(fd);
                ::close(listener.accept()); // the probe's own forwarded connection
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return forwarded_;
    }
    ~World()
    {
        if (forwardPid_ > 0) {
            ::kill(forwardPid_, SIGTERM);
            ::waitpid(forwardPid_, nullptr, 0);
        }
        fs::remove_all(dir);
    }

    // The program's end of a new link to the listener: direct (0), through the gateway
    // (1), or through ssh -L (2).
    std::unique_ptr<Transport> open(int how)
    {
        const bool tunnel = how == 1;
        if (!tunnel) {
            auto socket = factory.openTcp();
            const uint16_t port = how == 2 ? forwardedPort() : listener.port();
            if (socket->connect({0x7F000001, port}) == ConnectStatus::InProgress)
                socket->waitConnected(2000);
            return socket;
        }
        SshGateway g{ssh.user(), "127.0.0.1", uint16_t(ssh.port()), ssh.clientKey().string()};
        SshSettings s;
        s.knownHostsFile = (dir / "known_hosts").string();
        s.agentSocket = "";
        SshTransportFactory gateway(g, s, nullptr);
        gateway.acceptNewHostKeys(true);
        auto socket = gateway.openTcp();
        socket->connect({0x7F000001, listener.port()});
        if (socket->waitConnected(0) != ConnectStatus::Connected)
            std::abort();
        return socket;
    }
    PosixTransportFactory factory;
    pid_t forwardPid_ = -1;
    uint16_t forwarded_ = 0;
};

World& world()
{
    static World w;
    return w;
}

// A device that answers each 4-byte request with a 20-byte reply.
class Poller {
public:
    explicit Poller(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~Poller()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }

private:
    void run()
    {
        uint8_t request[4], reply[20] = {20};
        while (bench::readAll(fd_, request, 4) && bench::writeAll(fd_, reply, sizeof reply)) {
        }
    }
    int fd_;
    std::thread thread_;
};

// Sends, then receives until `n` bytes came, waiting as a connection thread does.
bool exchange(Transport& t, std::span<const uint8_t> request, std::span<uint8_t> reply)
{
    if (t.send(request).status != IoStatus::Ok)
        return false;
    size_t got = 0;
    while (got < reply.size()) {
        const IoResult r = t.receive(reply.subspan(got));
        if (r.status == IoStatus::Ok)
            got += r.bytes;
        else if (r.status == IoStatus::WouldBlock)
            t.waitReadable(100);
        else
            return false;
    }
    return true;
}

std::map<std::string, double> results;
const char* const kHow[] = {"_direct", "_tunnel", "_ssh"};

void BM_PollRoundTrip(benchmark::State& state)
{
    const int how = int(state.range(0));
    std::unique_ptr<Transport> t = world().open(how);
    Poller device(world().listener.accept());
    const uint8_t request[4] = {'U'};
    uint8_t reply[20];
    std::vector<double> us;
    for (auto _ : state) {
        us.clear();
        for (int i = 0; i < 2000; ++i) {
            const auto start = Clock::now();
            if (!exchange(*t, request, reply)) {
                state.SkipWithError("the exchange failed");
                break;
            }
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::sort(us.begin(), us.end());
    if (!us.empty()) {
        state.counters["p50_us"] = us[us.size() / 2];
        state.counters["p90_us"] = us[us.size() * 9 / 10];
        results[std::string("poll") + kHow[how]] = us[us.size() / 2];
    }
    t->shutdown();
    t->close();
}

struct Quiet final : TransferProgress {
    void fileStarted(size_t, std::string_view, uint64_t, uint64_t) override {}
    void blockMoved(uint64_t, uint64_t) override {}
    bool cancelled() override { return false; }
};

void transfer(benchmark::State& state, bool send)
{
    const int how = int(state.range(0));
    SystemClock clock;
    LinkSlot slot;
    slot.transport = world().open(how);
    slot.linkKind = uint32_t(LinkKind::Wan);
    bench::Device device(world().listener.accept(), world().blocks);
    SlotLinkChannel channel(slot, clock);
    Quiet quiet;
    const fs::path file = world().dir / (send ? "mixed.bin" : "back.bin");
    double seconds = 0;
    for (auto _ : state) {
        std::vector<TransferFile> files{{file.string(), "\\mixed.bin", send ? 0 : kFileSize}};
        const auto start = Clock::now();
        const bool done = send ? SendFiles(channel, files, TransferOptions{true}, quiet).allDone()
                               : ReceiveFiles(channel, files, TransferOptions{true}, quiet).allDone();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (!done)
            state.SkipWithError("the transfer failed");
    }
    if (device.wrongBlocks())
        state.SkipWithError("the device got blocks other than the file's");
    const double mbs = double(kFileSize) * double(state.iterations()) / seconds / 1e6;
    state.counters["MB_per_s"] = mbs;
    const std::string key = std::string(send ? "send" : "receive") + kHow[how];
    results[key] = std::max(results[key], mbs);
    slot.transport->shutdown();
    slot.transport->close();
}

void BM_SendFile(benchmark::State& state) { transfer(state, true); }
void BM_ReceiveFile(benchmark::State& state) { transfer(state, false); }

// Arg: 0 direct, 1 through the gateway, 2 through ssh -L.
BENCHMARK(BM_PollRoundTrip)->ArgName("via")->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SendFile)->ArgName("via")->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReceiveFile)->ArgName("via")->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* what : {"send", "receive"}) {
        const std::string w = what;
        const double direct = results[w + "_direct"], tunnel = results[w + "_tunnel"], ssh = results[w + "_ssh"];
        if (direct > 0 && tunnel > 0)
            std::printf("%s: direct %.1f MB/s, through the gateway %.1f MB/s: %.2f of direct (goal at least 0.90: "
                        "%s); ssh -L %.1f MB/s: ours %.2f of it\n",
                        what, direct, tunnel, tunnel / direct, tunnel / direct >= 0.9 ? "met" : "MISSED", ssh,
                        ssh > 0 ? tunnel / ssh : 0.0);
    }
    if (results["poll_direct"] > 0 && results["poll_tunnel"] > 0)
        std::printf("poll round trip p50: direct %.0f us, through the gateway %.0f us (+%.0f us), ssh -L %.0f us\n",
                    results["poll_direct"], results["poll_tunnel"], results["poll_tunnel"] - results["poll_direct"],
                    results["poll_ssh"]);
    return 0;
}
