#pragma once
// Whether the picture a command polls is the device's screen, for the commands that
// write it (capture, record).
//
// A refresh starts both sides from zero frames. The next well-formed update makes the
// picture the device's: one that was applied, or an empty one (nothing differs from
// the zeroed reference, so every pixel of the screen is 0). A bad or lost update, or a
// palette change, refreshes again, and the picture is not the device's until then.
//
// The commands give up on a device whose updates stay bad: after kPollsToSettle polls
// without a matching picture, or after --timeout without one (a device that streams
// garbage keeps the link busy, so the silence bound never ends it, and each poll can
// take the 2 s of discarding it).

#include <cstdint>
#include <cstdio>
#include <string>

#include "screen/ScreenReceiver.h"

namespace sorvane::cli {

class PictureMatch {
public:
    static constexpr long kPollsToSettle = 50;

    // timeoutS: --timeout; nowMs: the session clock's tick count as polling starts
    // (after the refresh).
    PictureMatch(double timeoutS, uint32_t nowMs) : boundMs_(timeoutS * 1000), lastMatchMs_(nowMs), nowMs_(nowMs) {}

    // After each poll.
    void after(PollOutcome outcome, uint32_t nowMs)
    {
        if (outcome == PollOutcome::Applied || outcome == PollOutcome::Unchanged)
            matches_ = true;
        else if (outcome == PollOutcome::Refreshed || outcome == PollOutcome::PaletteChanged)
            matches_ = false;
        if (matches_) {
            unsettled_ = 0;
            lastMatchMs_ = nowMs;
        } else {
            ++unsettled_;
        }
        nowMs_ = nowMs;
    }

    bool matches() const { return matches_; }

    // Empty while the device may still come right; else why the command gives up.
    std::string givingUp() const
    {
        char text[160];
        if (unsettled_ > kPollsToSettle)
            std::snprintf(text, sizeof text, "no screen update could be applied in %ld polls", unsettled_);
        else if (!matches_ && double(nowMs_ - lastMatchMs_) >= boundMs_)
            std::snprintf(text, sizeof text, "no screen update could be applied within %g s (--timeout)",
                          boundMs_ / 1000);
        else
            return {};
        return std::string(text) + " (the device's updates were malformed)";
    }

private:
    double boundMs_;
    uint32_t lastMatchMs_; // when the picture last matched (or polling started)
    uint32_t nowMs_;
    bool matches_ = false;
    long unsettled_ = 0; // polls since the picture last matched
};

} // namespace sorvane::cli
