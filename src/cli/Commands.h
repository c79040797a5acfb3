#pragma once
// The commands of sorvane-cli. Each command is one function in a file of its own
// (InfoCommand.cpp, ...); the table in Commands.cpp names them.

#include <span>
#include <string>
#include <vector>

namespace sorvane::cli {

class CliSession;

struct CliCommand {
    const char* name;
    const char* synopsis; // as --help shows it
    const char* summary;
    int maxArguments; // checked before connecting; -1: the command checks them itself
    // Runs on a live connection; returns the exit status (0, 1 with a reason on
    // standard error, 2 for bad arguments).
    int (*run)(CliSession& session, const std::vector<std::string>& arguments);
};

// A command's reason on standard error as "sorvane-cli: REASON" (escaped: reasons name
// what the user typed or a device sent); returns the exit status 1 (fail) or 2 (usage).
int fail(const std::string& reason);
int usage(const std::string& reason);

// What a command printed must have reached standard output: a listing lost on a full
// disk is a failure, not an exit status 0. Flushes it; status, or 1 (with the reason on
// standard error) when it could not be written.
int FlushedOutput(int status);

std::span<const CliCommand> commandTable();
const CliCommand* findCommand(const std::string& name);

int runInfo(CliSession& session, const std::vector<std::string>& arguments);
int runCapture(CliSession& session, const std::vector<std::string>& arguments);
int runLs(CliSession& session, const std::vector<std::string>& arguments);
int runGet(CliSession& session, const std::vector<std::string>& arguments);
int runPut(CliSession& session, const std::vector<std::string>& arguments);
int runRm(CliSession& session, const std::vector<std::string>& arguments);
int runMv(CliSession& session, const std::vector<std::string>& arguments);
int runRun(CliSession& session, const std::vector<std::string>& arguments);
int runStatus(CliSession& session, const std::vector<std::string>& arguments);
int runProcesses(CliSession& session, const std::vector<std::string>& arguments);
int runKill(CliSession& session, const std::vector<std::string>& arguments);
int runActivate(CliSession& session, const std::vector<std::string>& arguments);
int runPaste(CliSession& session, const std::vector<std::string>& arguments);
int runReset(CliSession& session, const std::vector<std::string>& arguments);
int runSuspend(CliSession& session, const std::vector<std::string>& arguments);
int runClip(CliSession& session, const std::vector<std::string>& arguments);
int runType(CliSession& session, const std::vector<std::string>& arguments);
int runRecord(CliSession& session, const std::vector<std::string>& arguments);
int runPlay(CliSession& session, const std::vector<std::string>& arguments);
int runScenario(CliSession& session, const std::vector<std::string>& arguments);
int runTest(CliSession& session, const std::vector<std::string>& arguments);

} // namespace sorvane::cli
