#pragma once
// The results of a test run as JUnit XML, the form CI servers read:
//   <testsuites tests= failures=>
//     <testsuite name="DEVICE" tests="N" failures="F">
//       <testcase name="SCRIPT" classname="DEVICE"/>
//       <testcase name="SCRIPT" classname="DEVICE"><failure message="...">paths</failure></testcase>
// Every name and text passes through EscapeText first (what a terminal line shows is
// what the report shows: control characters, bytes that are not UTF-8 and the two
// noncharacters XML 1.0 forbids written as \xhh or \uhhhh), then through XML escaping,
// so any file name or device text gives a well-formed document.
//
// Plain functions; blocking file I/O; no shared state.

#include <span>
#include <string>
#include <vector>

namespace sorvane::cli {

struct JUnitCase {
    std::string name;      // the script file's name
    bool failed = false;
    std::string message;   // why it failed: "line 4 CHECKSCREEN failed 91.2% < 98%"
    std::vector<std::string> details; // the failure's text, one line each (the saved pictures' paths)
};

struct JUnitSuite {
    std::string name; // the device's name; each case's classname too
    std::vector<JUnitCase> cases;
};

std::string JUnitXml(std::span<const JUnitSuite> suites);
// Writes the report to path atomically: a temporary file beside it, flushed, then
// renamed over it, so a reader sees the old report or the new one, whole. False with
// the reason when it cannot (no temporary file is left).
bool WriteJUnitFile(const std::string& path, std::span<const JUnitSuite> suites, std::string& error);

} // namespace sorvane::cli
