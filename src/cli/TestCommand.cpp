// test SCRIPT... [--junit FILE] [--artifacts DIR]
// Each script is one test case: a one-file scenario played once on the session's device,
// as play plays it. A case fails when its script does not load, a check of it fails, or
// the link is lost (the cases after it then fail unrun). One line per case on standard
// output as it ends, "PASS name" or "FAIL name: reason"; the JUnit report (one suite:
// the device) is written when all have run.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/JUnitReport.h"
#include "cli/PlayScenario.h"
#include "platform/Utf8Text.h"
#include "tools/DeviceText.h"

namespace fs = std::filesystem;

namespace sorvane::cli {
namespace {

// Plays one script; fills in the case's failure. Returns why the link is lost, if it is.
std::string runCase(CliSession& session, const fs::path& script, const std::string& artifacts, JUnitCase& out)
{
    Scenario s;
    s.name = out.name = script.filename().string();
    s.loopCount = 1;
    s.logResults = 0;
    s.files.push_back(ScenarioFile{0, 1, 0, out.name});
    const PlayedScenario played =
        PlayScenario(session, s, script.has_parent_path() ? script.parent_path().string() : ".", artifacts);
    out.failed = true;
    if (!played.checkFailures.empty()) {
        const CheckFailure& f = played.checkFailures.front();
        out.message = "line " + std::to_string(f.line) + " " + f.keyword + " " + f.message;
        out.details = f.pictures;
    } else if (played.loadFailures > 0) {
        out.message = played.lastLoadError;
    } else if (!played.lost.empty()) {
        out.message = played.lost;
    } else {
        out.failed = false;
    }
    return played.lost;
}

} // namespace

int runTest(CliSession& session, const std::vector<std::string>& args)
{
    std::vector<std::string> scripts;
    std::string junit, artifacts;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--junit" || args[i] == "--artifacts") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usage(args[i] + (args[i] == "--junit" ? " needs a file" : " needs a folder"));
            (args[i] == "--junit" ? junit : artifacts) = args[i + 1];
            ++i;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usage("unknown test option " + args[i]);
        } else {
            scripts.push_back(args[i]);
        }
    }
    if (scripts.empty())
        return usage("test needs a script file");
    if (!artifacts.empty()) {
        std::error_code ec;
        fs::create_directories(artifacts, ec);
        if (ec || !fs::is_directory(artifacts)) {
            std::fprintf(stderr, "sorvane-cli: cannot use %s for the pictures: %s\n", EscapeText(artifacts).c_str(),
                         ec ? ec.message().c_str() : "not a folder");
            return 1;
        }
    }

    JUnitSuite suite{FromDeviceText(session.slot().deviceName), {}};
    std::string lost;
    for (const std::string& script : scripts) {
        JUnitCase& c = suite.cases.emplace_back();
        if (lost.empty()) {
            lost = runCase(session, script, artifacts, c);
        } else {
            c = {fs::path(script).filename().string(), true, "not run: " + lost, {}};
        }
        if (c.failed)
            std::printf("FAIL %s: %s\n", EscapeText(c.name).c_str(), EscapeText(c.message).c_str());
        else
            std::printf("PASS %s\n", EscapeText(c.name).c_str());
        std::fflush(stdout);
    }
    int status = 0;
    for (const JUnitCase& c : suite.cases)
        status = c.failed ? 1 : status;
    std::string error;
    if (!junit.empty() && !WriteJUnitFile(junit, std::span(&suite, 1), error)) {
        std::fprintf(stderr, "sorvane-cli: %s\n", EscapeText(error).c_str());
        return 1;
    }
    return status;
}

} // namespace sorvane::cli
