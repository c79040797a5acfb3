#include "view/LinkMeter.h"

#include <algorithm>
#include <cstdio>

#include "view/ViewRecord.h"

namespace sorvane {
namespace {

constexpr uint32_t kPeriodMs = 1000;

} // namespace

void LinkMeter::roll(uint32_t nowMs) const
{
    const uint32_t seen = received_.load();
    const uint32_t sent = sent_.load();
    if (!started_) {
        started_ = true;
        lastSeen_ = seen;
        lastSent_ = sent;
        lastActivityMs_ = nowMs;
        periodStartMs_ = nowMs;
        return;
    }
    const uint32_t fresh = seen - lastSeen_; // the count wraps at 4 GiB
    lastSeen_ = seen;
    const uint32_t out = sent - lastSent_;
    lastSent_ = sent;
    sentBytes_ += out;
    periodSent_ += out;
    if (fresh != 0) {
        bytes_ += fresh;
        periodBytes_ += fresh;
        lastActivityMs_ = nowMs;
    }
    const uint32_t elapsed = nowMs - periodStartMs_;
    if (elapsed >= kPeriodMs) {
        updatesPerSecond_ = double(periodUpdates_) * 1000.0 / elapsed;
        bytesPerSecond_ = double(periodBytes_) * 1000.0 / elapsed;
        sentPerSecond_ = double(periodSent_) * 1000.0 / elapsed;
        periodBytes_ = 0;
        periodSent_ = 0;
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
    lastSent_ = sent_.load();
    periodSent_ = 0;
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
    f.bytesSent = sentBytes_;
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
    f.sentPerSecond = sentPerSecond_;
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
    auto rate = [](double perSecond) {
        char text[32];
        if (perSecond >= 1024.0 * 1024.0)
            std::snprintf(text, sizeof text, "%.1f MB/s", perSecond / (1024.0 * 1024.0));
        else if (perSecond >= 1024.0)
            std::snprintf(text, sizeof text, "%.1f KB/s", perSecond / 1024.0);
        else
            std::snprintf(text, sizeof text, "%.0f B/s", perSecond);
        return std::string(text);
    };
    const char* dot = " \xC2\xB7 ";
    if (f.state == LinkState::Live && f.updatesPerSecond == 0) {
        text += dot + std::string("screen still"); // polls are answered; nothing changed
    } else {
        char updates[48];
        std::snprintf(updates, sizeof updates, "%.1f updates/s", f.updatesPerSecond);
        text += dot + std::string(updates);
    }
    text += dot + rate(f.bytesPerSecond) + " in" + dot + rate(f.sentPerSecond) + " out";
    if (f.latencyMs >= 0)
        text += dot + std::to_string(f.latencyMs) + " ms";
    return text;
}

std::string ActivityText(const WindowActivity& a)
{
    const std::string name = a.scenario.empty() ? std::string("a scenario") : a.scenario;
    switch (a.recordState) {
    case RecordState::Recording: {
        if (!a.recordsVideo)
            return "recording";
        if (a.videoFrames < 0)
            return "recording video";
        const int64_t seconds = a.videoFrames / std::max(1, a.videoRate);
        char text[64];
        std::snprintf(text, sizeof text, "recording video %lld:%02lld \xC2\xB7 %.1f MB", (long long)(seconds / 60),
                      (long long)(seconds % 60), double(a.videoBytes) / (1024.0 * 1024.0));
        return text;
    }
    case RecordState::Playing: return "playing " + name + ": input paused"; // live input is dropped meanwhile
    case RecordState::Paused: return name + " paused";
    default: return {};
    }
}

} // namespace sorvane
