#include "connect/InboundConnections.h"

#include <algorithm>
#include <thread>

#include <arpa/inet.h>
#include <pthread.h>
#include <unistd.h>

#include "connect/InstallLink.h"
#include "connect/LanDiscovery.h"
#include "platform/PosixTransports.h"

namespace sorvane {

bool AdoptInbound(PendingLink& link, AcceptedSocket socket)
{
    const uint32_t peer = socket.peerAddressNetworkOrder();
    const int fd = socket.release();
    std::unique_ptr<PosixSocket> transport = PosixSocket::adopt(fd);
    if (!transport) {
        ::close(fd);
        return false;
    }
    link.close();
    LinkSlot& s = link.slot();
    s.linkKind = uint32_t(LinkKind::Wan);
    s.port = 0;
    s.ipAddress = peer;
    link.attach(std::move(transport));
    return true;
}

Profile windowProfile(const ProfileTable& profiles, const Settings& settings, int profileIndex)
{
    if (const Profile* p = profiles.get(profileIndex))
        return *p;
    Profile p;
    p.linkKind = uint32_t(LinkKind::Wan);
    p.scale = settings.Scale;
    p.refreshRate = settings.Refresh > 0 ? settings.Refresh : 10;
    p.skinIndex = settings.CurrentSkin;
    p.showMouseCursor = settings.ShowMouse;
    p.recordingMethod = settings.Recording_Method;
    p.captureMode = settings.Capture;
    p.clickFormat = settings.ClickFormat;
    p.queueEvents = settings.QueueEvents;
    return p;
}

bool InboundPolicy::allows(uint32_t address) const
{
    if (allowEveryone || (trustLoopback && (address >> 24) == 127))
        return true;
    return std::find(allowed.begin(), allowed.end(), address) != allowed.end();
}

InboundPolicy inboundPolicyFrom(const PlatformSettings& platform)
{
    InboundPolicy p;
    for (const std::string& entry : splitList(platform.InboundAllowed)) {
        uint32_t address = 0;
        if (parseIpv4(entry, address))
            p.allowed.push_back(address);
    }
    p.trustLoopback = platform.InboundTrustLoopback != 0;
    p.handshakeTime = std::chrono::seconds(std::clamp(platform.InboundHandshakeSeconds, 1, 300));
    return p;
}

uint32_t inboundListenAddressFrom(const PlatformSettings& platform)
{
    uint32_t address = 0;
    return parseIpv4(platform.InboundListenAddress, address) ? address : 0;
}

void addInboundAllowed(PlatformSettings& platform, uint32_t address)
{
    const std::string dotted = dottedAddress(address);
    for (const std::string& entry : splitList(platform.InboundAllowed))
        if (entry == dotted)
            return;
    platform.InboundAllowed += (platform.InboundAllowed.empty() ? "" : ",") + dotted;
}

std::string InboundPeer::text() const { return dottedAddress(address) + ":" + std::to_string(port); }

std::string inboundEndText(const InboundResult& r)
{
    const std::string who = r.deviceName.empty() ? r.peer.text() : "\"" + r.deviceName + "\" at " + r.peer.text();
    switch (r.end) {
    case InboundEnd::Passed:
        return who + " connected";
    case InboundEnd::TimedOut:
        return who + ": the handshake did not finish in time";
    case InboundEnd::Refused:
        return who + ": refused";
    case InboundEnd::Cancelled:
        return who + ": cancelled";
    case InboundEnd::Failed:
        break;
    }
    switch (r.handshake) {
    case HandshakeStatus::HelloRefused:
        return who + ": no answer to the hello";
    case HandshakeStatus::InfoShort:
        return who + ": no complete device information";
    case HandshakeStatus::UnsupportedDepth:
        return who + ": unsupported colour depth";
    case HandshakeStatus::DisplayTooLarge:
        return who + ": displays too large";
    case HandshakeStatus::PasswordRequired:
        return who + ": it requires a password";
    case HandshakeStatus::PasswordCancelled:
        return who + ": the password was not given or is incorrect";
    default:
        return who + ": the handshake failed";
    }
}

// A clock that ends the attempt when its deadline passes: every wait of the link
// rules sleeps on it, so a peer that sends a byte now and then is stopped as surely
// as a silent one. The deadline is counted on the inner clock's ticks. Used by the
// attempt's worker only.
class DeadlineClock final : public Clock {
public:
    DeadlineClock(Clock& inner, CancelToken& cancel, uint32_t budgetMs)
        : inner_(inner), cancel_(cancel), start_(inner.tickCount()), budget_(budgetMs)
    {
    }
    uint32_t tickCount() const override { return inner_.tickCount(); }
    void sleepMs(uint32_t ms) override
    {
        if (passed()) {
            expired_ = true;
            cancel_.cancel(); // shuts the link down: the handshake fails at its next step
            return;
        }
        inner_.sleepMs(ms);
    }
    void pauseForData(Transport& transport, uint32_t ms) override
    {
        if (passed()) {
            sleepMs(ms); // ends the attempt
            return;
        }
        inner_.pauseForData(transport, ms);
    }
    // Milliseconds until the deadline; 0 once it has passed.
    uint32_t left() const
    {
        const uint32_t spent = inner_.tickCount() - start_;
        return spent < budget_ ? budget_ - spent : 0;
    }
    bool passed() const { return left() == 0; }
    bool expired() const { return expired_; }
    void expire() { expired_ = true; }
    void extend(uint32_t ms) { budget_ += ms; }

private:
    Clock& inner_;
    CancelToken& cancel_;
    const uint32_t start_;
    uint32_t budget_;
    bool expired_ = false;
};

struct InboundHandshakes::Attempt {
    enum class Ask { None, Queued, Shown, Answered };

    Attempt(uint64_t i, InboundPeer p, Clock& clock, std::chrono::milliseconds budget)
        : id(i)
        , peer(p)
        , clock(clock, cancel, uint32_t(budget.count()))
        , link(std::make_unique<PendingLink>(this->clock, &cancel))
    {
    }

    const uint64_t id;
    const InboundPeer peer;
    CancelToken cancel;
    DeadlineClock clock; // worker only
    std::unique_ptr<PendingLink> link;
    std::thread thread;

    // Under the engine's mutex:
    Ask ask = Ask::None;
    InboundQuestion::Kind askKind = InboundQuestion::Kind::Admission;
    // Ticks of the engine's clock: when the question joined the line and how long it
    // may wait there (what was left of the deadline), when it was shown and for how long.
    uint32_t queuedAt = 0;
    uint32_t queuedFor = 0;
    uint32_t shownAt = 0;
    uint32_t shownFor = 0;
    int answer = 0;
    std::string deviceName;
    bool refusedByUser = false;
    bool evicted = false; // cancelled to make room for an allowed address
    bool lineTimedOut = false; // the deadline passed while waiting in line
    bool ended = false;
    HandshakeStatus status = HandshakeStatus::NoLink;
};

// The handshake's password question, put to the driving thread through the engine.
class InboundHandshakes::Bridge final : public PasswordPrompt {
public:
    Bridge(InboundHandshakes& engine, Attempt& a) : engine_(engine), a_(a) {}
    int askPassword(const PasswordTable&, size_t) override
    {
        return engine_.ask(a_, InboundQuestion::Kind::Password);
    }

private:
    InboundHandshakes& engine_;
    Attempt& a_;
};

InboundHandshakes::InboundHandshakes(Clock& clock, InboundListener& listener, InboundPolicy policy)
    : clock_(clock), listener_(listener), policy_(std::move(policy))
{
}

InboundHandshakes::~InboundHandshakes()
{
    std::vector<std::shared_ptr<Attempt>> attempts;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_ = nullptr;
        attempts = attempts_;
    }
    for (auto& a : attempts)
        a->cancel.cancel();
    changed_.notify_all();
    for (auto& a : attempts)
        if (a->thread.joinable())
            a->thread.join();
}

void InboundHandshakes::setWake(std::function<void()> wake)
{
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void InboundHandshakes::setPolicy(InboundPolicy policy)
{
    std::lock_guard lock(mutex_);
    policy_ = std::move(policy);
}

size_t InboundHandshakes::inFlight() const
{
    std::lock_guard lock(mutex_);
    return attempts_.size();
}

void InboundHandshakes::wake()
{
    std::function<void()> w;
    {
        std::lock_guard lock(mutex_);
        w = wake_;
    }
    if (w)
        w();
}

bool InboundHandshakes::refused(uint32_t address) const
{
    return std::find(refused_.begin(), refused_.end(), address) != refused_.end();
}

// Under the mutex: whether a connection from `address` may start a handshake, and the
// stranger's handshake it takes the place of (marked evicted), if any.
std::shared_ptr<InboundHandshakes::Attempt> InboundHandshakes::roomFor(uint32_t address, bool& room)
{
    size_t live = 0, fromAddress = 0;
    for (const auto& a : attempts_) {
        if (a->evicted || a->ended)
            continue;
        ++live;
        fromAddress += a->peer.address == address ? 1 : 0;
    }
    room = fromAddress < kMaxInboundPerAddress && live < kMaxInboundInFlight;
    if (room || fromAddress >= kMaxInboundPerAddress || !policy_.allows(address))
        return nullptr;
    // A stranger that has not even named its device goes first, then one waiting in
    // line for its question; one in front of the user, or past its question, stays.
    for (const bool unnamedOnly : {true, false}) {
        for (const auto& a : attempts_) {
            if (a->evicted || a->ended || policy_.allows(a->peer.address))
                continue;
            const bool waitingInLine = a->ask == Attempt::Ask::Queued && a->askKind == InboundQuestion::Kind::Admission;
            if (unnamedOnly ? a->deviceName.empty() : waitingInLine) {
                a->evicted = true;
                room = true;
                return a;
            }
        }
    }
    return nullptr;
}

void InboundHandshakes::acceptAll()
{
    while (std::optional<AcceptedSocket> accepted = listener_.acceptPending()) {
        std::shared_ptr<Attempt> a, evicted;
        {
            std::lock_guard lock(mutex_);
            const uint32_t address = ntohl(accepted->peerAddressNetworkOrder());
            if (stopping_ || (refused(address) && !policy_.allows(address)))
                continue; // closed as `accepted` goes
            bool room = false;
            evicted = roomFor(address, room);
            if (!room)
                continue;
            a = std::make_shared<Attempt>(nextId_++, InboundPeer{address, accepted->peerPort()}, clock_,
                                          policy_.handshakeTime);
        }
        if (evicted) {
            evicted->cancel.cancel(); // its link shuts down; a wait in line ends
            changed_.notify_all();
        }
        if (!AdoptInbound(*a->link, std::move(*accepted)))
            continue;
        {
            std::lock_guard lock(mutex_);
            attempts_.push_back(a);
        }
        a->thread = std::thread([this, a] { run(*a); });
    }
}

void InboundHandshakes::run(Attempt& a)
{
    pthread_setname_np(pthread_self(), "inbound");
    Bridge bridge(*this, a);
    HandshakeStatus status = a.link->handshake(&bridge, [&](const std::string& name) { return admit(a, name); });
    if (status != HandshakeStatus::Passed)
        a.link->close();
    {
        std::lock_guard lock(mutex_);
        a.status = status;
        a.ended = true;
    }
    wake();
}

bool InboundHandshakes::admit(Attempt& a, const std::string& name)
{
    {
        std::lock_guard lock(mutex_);
        a.deviceName = name;
        if (policy_.allows(a.peer.address))
            return true;
        if (refused(a.peer.address)) {
            a.refusedByUser = true; // refused already: the user is not asked again
            return false;
        }
    }
    const bool allowed = ask(a, InboundQuestion::Kind::Admission) == 1;
    std::lock_guard lock(mutex_);
    a.refusedByUser = !allowed && !a.lineTimedOut && !stopping_ && !a.cancel.cancelled();
    return allowed;
}

int InboundHandshakes::ask(Attempt& a, InboundQuestion::Kind kind)
{
    {
        std::lock_guard lock(mutex_);
        a.ask = Attempt::Ask::Queued;
        a.askKind = kind;
        a.answer = 0;
        a.queuedAt = clock_.tickCount();
        a.queuedFor = a.clock.left();
    }
    wake();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (a.ask == Attempt::Ask::Answered) {
            a.ask = Attempt::Ask::None;
            // The time the user had the question in front of them is not the device's.
            a.clock.extend(a.shownFor);
            return a.answer;
        }
        if (stopping_ || a.cancel.cancelled()) {
            a.ask = Attempt::Ask::None;
            return 0;
        }
        if (a.ask == Attempt::Ask::Queued) {
            const uint32_t inLine = clock_.tickCount() - a.queuedAt;
            if (inLine >= a.queuedFor) {
                a.ask = Attempt::Ask::None;
                a.lineTimedOut = true;
                a.clock.expire();
                return 0;
            }
            // Woken early by an answer, by the engine ending, and by every takeEnded
            // (a clock that moves by steps wakes nobody by itself).
            changed_.wait_for(lock, std::chrono::milliseconds(a.queuedFor - inLine));
        } else {
            changed_.wait(lock); // shown: as long as the user takes
        }
    }
}

std::vector<InboundResult> InboundHandshakes::takeEnded()
{
    std::vector<std::shared_ptr<Attempt>> ended;
    {
        std::lock_guard lock(mutex_);
        auto split = std::stable_partition(attempts_.begin(), attempts_.end(),
                                           [](const std::shared_ptr<Attempt>& a) { return !a->ended; });
        ended.assign(split, attempts_.end());
        attempts_.erase(split, attempts_.end());
    }
    changed_.notify_all(); // those waiting in line look at the clock again
    std::vector<InboundResult> results;
    for (auto& a : ended) {
        a->thread.join(); // it has ended: at most the wake call is left
        InboundResult r;
        r.peer = a->peer;
        r.deviceName = a->deviceName;
        r.handshake = a->status;
        if (a->status == HandshakeStatus::Passed) {
            r.end = InboundEnd::Passed;
            r.link = std::shared_ptr<PendingLink>(a, a->link.get());
        } else if (a->refusedByUser) {
            r.end = InboundEnd::Refused;
        } else if (a->clock.expired() || a->lineTimedOut) {
            r.end = InboundEnd::TimedOut;
        } else if (a->cancel.cancelled()) {
            r.end = InboundEnd::Cancelled;
        } else {
            r.end = InboundEnd::Failed;
        }
        results.push_back(std::move(r));
    }
    return results;
}

std::optional<InboundQuestion> InboundHandshakes::nextQuestion()
{
    std::lock_guard lock(mutex_);
    Attempt* next = nullptr;
    const uint32_t now = clock_.tickCount();
    for (auto& a : attempts_) {
        if (a->ask == Attempt::Ask::Shown || a->ask == Attempt::Ask::Answered)
            return std::nullopt; // one question at a time
        if (!next && a->ask == Attempt::Ask::Queued && now - a->queuedAt < a->queuedFor)
            next = a.get();
    }
    if (!next)
        return std::nullopt;
    next->ask = Attempt::Ask::Shown;
    next->shownAt = now;
    InboundQuestion q;
    q.kind = next->askKind;
    q.id = next->id;
    q.peer = next->peer;
    q.deviceName = next->deviceName;
    q.passwords = &next->link->passwords();
    return q;
}

void InboundHandshakes::answer(uint64_t id, int value)
{
    {
        std::lock_guard lock(mutex_);
        std::optional<uint32_t> refusing;
        for (auto& a : attempts_) {
            if (a->id == id && a->ask == Attempt::Ask::Shown) {
                a->answer = value;
                a->shownFor = clock_.tickCount() - a->shownAt;
                a->ask = Attempt::Ask::Answered;
                if (a->askKind == InboundQuestion::Kind::Admission && value == 0)
                    refusing = a->peer.address;
            }
        }
        if (refusing) {
            // The user's "Refuse" stands for the address: its devices in line go with it.
            if (!refused(*refusing))
                refused_.push_back(*refusing);
            for (auto& a : attempts_) {
                if (a->peer.address == *refusing && a->ask == Attempt::Ask::Queued &&
                    a->askKind == InboundQuestion::Kind::Admission) {
                    a->answer = 0;
                    a->shownFor = 0;
                    a->ask = Attempt::Ask::Answered;
                }
            }
        }
    }
    changed_.notify_all();
}

void InboundHandshakes::allowAddress(uint32_t address)
{
    {
        std::lock_guard lock(mutex_);
        if (std::find(policy_.allowed.begin(), policy_.allowed.end(), address) == policy_.allowed.end())
            policy_.allowed.push_back(address);
        for (auto& a : attempts_) {
            if (a->peer.address == address && a->ask == Attempt::Ask::Queued &&
                a->askKind == InboundQuestion::Kind::Admission) {
                a->answer = 1;
                a->shownFor = 0;
                a->ask = Attempt::Ask::Answered;
            }
        }
    }
    changed_.notify_all();
}

InboundAcceptor::InboundAcceptor(ConnectContext& ctx, InboundListener& listener, InboundAdmissionPrompt& admission)
    : ctx_(ctx), admission_(admission), handshakes_(ctx.links.clock(), listener, inboundPolicyFrom(ctx.platform))
{
}

void InboundAcceptor::poll(bool accept)
{
    if (accept)
        handshakes_.acceptAll();
    for (InboundResult& r : handshakes_.takeEnded()) {
        if (r.end != InboundEnd::Passed)
            continue; // its link is closed already
        const int profileIndex = ctx_.profiles.ConnTypes() > 0 ? 0 : -1;
        if (std::optional<int> slot = InstallLink(ctx_, *r.link, profileIndex, ViewStart{1, 0}))
            installed_.push_back(*slot);
    }
    if (asking_)
        return; // a question's dialog is open and its event loop polls: one at a time
    asking_ = true;
    while (std::optional<InboundQuestion> q = handshakes_.nextQuestion()) {
        if (q->kind == InboundQuestion::Kind::Admission) {
            const InboundAnswer a = admission_.askAdmission(q->deviceName, dottedAddress(q->peer.address));
            if (a == InboundAnswer::AlwaysAllow) {
                addInboundAllowed(ctx_.platform, q->peer.address);
                handshakes_.allowAddress(q->peer.address);
                if (remembered_)
                    remembered_();
            }
            handshakes_.answer(q->id, a == InboundAnswer::Refuse ? 0 : 1);
        } else {
            handshakes_.answer(q->id, ctx_.passwordPrompt.askPassword(*q->passwords, 0));
        }
    }
    asking_ = false;
}

} // namespace sorvane
