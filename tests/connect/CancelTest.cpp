// Cancelling a WAN connect to a device with a password, before, while and after the
// user is asked: the attempt always ends, never waits for an answer that will not
// come, and keeps no link. The test thread plays the user-interface thread.

#include <gtest/gtest.h>

#include "ConnectTestSupport.h"
#include "connect/PendingLink.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

// Asked from the attempt's thread; answers only when told to, as a dialog would.
// The cancellable form gives up once the attempt is cancelled; the plain one would
// wait for ever, so a test that reaches it hangs.
struct WaitingPrompt final : PasswordPrompt {
    std::atomic<bool> asked{false};
    std::atomic<int> answer{0}; // 0: not yet
    int askPassword(const PasswordTable&, size_t) override
    {
        ADD_FAILURE() << "an attempt that can be cancelled was asked without its cancel";
        return 2;
    }
    int askPassword(const PasswordTable&, size_t, const std::function<bool()>& cancelled) override
    {
        asked = true;
        while (answer.load() == 0) {
            if (cancelled && cancelled())
                return 2;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return answer.load();
    }
};

} // namespace

TEST(ConnectCancel, BeforeWhileAndAfterThePasswordQuestion)
{
    SimProcess sim({"--host", "127.0.0.1", "--port", "0", "--password", "Sesame", "--name", "Locked"});
    ConnectProgram program;
    LinkConfig config = program.ctx.linkConfig();
    config.agentPort = uint16_t(sim.tcpPort());
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Wan);
    profile.ipAddress = 0x7F000001;

    enum class When { Before, WhileAsked, AfterAnswer };
    for (When when : {When::Before, When::WhileAsked, When::AfterAnswer}) {
        SCOPED_TRACE(int(when));
        CancelToken token;
        WaitingPrompt prompt;
        std::atomic<bool> ended{false};
        bool passed = false;
        auto link = std::make_unique<PendingLink>(program.clock, &token);
        if (when == When::Before)
            token.cancel();
        std::thread attempt([&] {
            if (link->open(config, profile, program.transports))
                passed = link->connect(&prompt).passed();
            ended = true;
        });
        if (when == When::WhileAsked) {
            ASSERT_TRUE(waitUntil([&] { return prompt.asked.load(); }));
            token.cancel();
        } else if (when == When::AfterAnswer) {
            ASSERT_TRUE(waitUntil([&] { return prompt.asked.load(); }));
            prompt.answer = 1;
            ASSERT_TRUE(waitUntil([&] { return ended.load(); }));
            token.cancel();
        }
        EXPECT_TRUE(waitUntil([&] { return ended.load(); })) << "the attempt still waits";
        attempt.join();
        EXPECT_EQ(passed, when == When::AfterAnswer);
        link.reset(); // a link nobody installed is closed with its attempt
        for (int s = 0; s < Links::kSlotCount; ++s)
            EXPECT_TRUE(program.links.find(s)->isFree());
    }
}
