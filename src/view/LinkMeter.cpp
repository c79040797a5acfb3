#include "view/LinkMeter.h"

#include <cstdio>

namespace sorvane {
namespace {

constexpr uint32_t kPeriodMs = 1000;

} // namespace

void LinkMeter::roll(uint32_t nowMs) const
{
    const uint32_t seen = received_.load();
    if (!started_) {
        started_ = true;
        lastSeen_ = seen;
        lastActivityMs_ = nowMs;
        periodStartMs_ = nowMs;
        return;
    }
    const uint32_t fresh = seen - lastSeen_; // the count wraps at 4 GiB
    lastSeen_ = seen;
    if (fresh != 0) {
        bytes_ += fresh;
        periodBytes_ += fresh;
        lastActivityMs_ = nowMs;
    }
    const uint32_t elapsed = nowMs - periodStartMs_;
    if (elapsed >= kPeriodMs) {
        updatesPerSecond_ = double(periodUpdates_) * 1000.0 / elapsed;
        bytesPerSecond_ = double(periodBytes_) * 1000.0 / elapsed;
        periodBytes_ = 0;
        periodUpdates_ = 0;
        periodStartMs_ = nowMs;
    }
}

void LinkMeter::exchangeStarted(uint32_t nowMs)
{
    std::lock_guard lock(mutex_);
    roll(nowMs);
    requestAtMs_ = nowMs;
}

void LinkMeter::exchangeEnded(uint32_t nowMs, bool applied)
{
    std::lock_guard lock(mutex_);
    lastActivityMs_ = nowMs;
    if (applied) {
        ++updates_;
        ++periodUpdates_;
        latencyMs_ = int(nowMs - requestAtMs_);
    }
    roll(nowMs);
}

void LinkMeter::reconnecting(uint32_t nowMs, uint32_t attemptAtMs)
{
    std::lock_guard lock(mutex_);
    roll(nowMs);
    reconnecting_ = true;
    attemptAtMs_ = attemptAtMs;
}

void LinkMeter::relinked(uint32_t nowMs)
{
    std::lock_guard lock(mutex_);
    reconnecting_ = false;
    lastSeen_ = received_.load(); // what the handshake brought is not picture traffic
    lastActivityMs_ = nowMs;
    periodStartMs_ = nowMs;
    periodBytes_ = 0;
    periodUpdates_ = 0;
}

LinkFigures LinkMeter::figures(uint32_t nowMs) const
{
    std::lock_guard lock(mutex_);
    roll(nowMs);
    LinkFigures f;
    f.updates = updates_;
    f.bytesReceived = bytes_;
    f.latencyMs = latencyMs_;
    if (reconnecting_) {
        f.state = LinkState::Reconnecting;
        const int32_t left = int32_t(attemptAtMs_ - nowMs);
        f.reconnectInSeconds = left > 0 ? uint32_t(left + 999) / 1000 : 0;
        return f; // nothing flows: no rates
    }
    if (nowMs - lastActivityMs_ > kWaitingAfterMs) {
        f.state = LinkState::Waiting;
        return f;
    }
    f.updatesPerSecond = updatesPerSecond_;
    f.bytesPerSecond = bytesPerSecond_;
    return f;
}

std::string LinkStatusText(const LinkFigures& f)
{
    // The state first: it is what a narrow window must still show.
    std::string text;
    switch (f.state) {
    case LinkState::Live: text = "live"; break;
    case LinkState::Waiting: text = "waiting for the device"; break;
    case LinkState::Reconnecting:
        text = f.reconnectInSeconds > 0 ? "reconnecting in " + std::to_string(f.reconnectInSeconds) + " s"
                                        : std::string("reconnecting...");
        break;
    }
    char rate[32];
    if (f.bytesPerSecond >= 1024.0 * 1024.0)
        std::snprintf(rate, sizeof rate, "%.1f MB/s", f.bytesPerSecond / (1024.0 * 1024.0));
    else if (f.bytesPerSecond >= 1024.0)
        std::snprintf(rate, sizeof rate, "%.1f KB/s", f.bytesPerSecond / 1024.0);
    else
        std::snprintf(rate, sizeof rate, "%.0f B/s", f.bytesPerSecond);
    char figures[96];
    std::snprintf(figures, sizeof figures, " \xC2\xB7 %.1f updates/s \xC2\xB7 %s", f.updatesPerSecond, rate);
    text += figures;
    if (f.latencyMs >= 0)
        text += " \xC2\xB7 " + std::to_string(f.latencyMs) + " ms";
    return text;
}

} // namespace sorvane
