// sorvane-sim never reaches beyond loopback, whatever it is asked. Its protocol side is
// checked through the real client: tests/link, tests/cli (hello, device facts,
// passwords) and tests/e2e (the screen stream at every depth, orientation and fault,
// compared with the simulator's own dump).

#include <gtest/gtest.h>

#include "support/SimProcess.h"

using namespace sorvane::test;

TEST(SimOptions, RefusesAddressesOffLoopbackAndBadValues)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--host", "10.1.2.3"},             // listening off loopback
        {"--connect-to", "192.0.2.1:1901"}, // connecting out off loopback
        {"--port", "0", "--discovery-port", "0", "--discovery-bind", "192.0.2.255"},
        {"--lag", "60001"}, {"--notes", std::string(4001, 'a')}, {"--notes", "tab\there"}, // and bad values
    };
    for (std::vector<std::string> args : refused) {
        SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
        args.insert(args.begin(), programFromEnv("SORVANE_SIM"));
        ProcessResult r = runProcess(args, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("sorvane-sim:"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}
