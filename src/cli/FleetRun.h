#pragma once
// One command on several devices at once (options.devices, checked by LoadDeviceList).
//
// Each device gets a process of its own, forked before any thread exists, which runs
// the command as a run on one device does (its own Program, CliSession and --timeout):
// a device that hangs, fails or crashes takes no other down, and a crash counts as a
// failure. A child connects, tells the parent its device name and waits for its label:
// the labels (program/FleetNames UniqueDeviceLabels: the device name made safe, with the
// connection's place, then its place number, when two share a name) are made once every
// device has connected or failed to, so the commands start together after the slowest
// connect. Every line a child prints reaches the parent's standard output or error, as
// it came, prefixed "LABEL: " (a device that did not connect is called by its place,
// ConnectionPlace); each failed device then gets a line "LABEL: failed (...)" and the
// last line is "N passed, M failed". The exit status is 0 only when every device passed,
// else 1.
//
// Files: the command writes through CliSession::outputPath, the label before the
// extension (capture OUT, play --log, a scenario's results log, SNAPSHOT pictures and the
// pictures of failed checks); get into an existing folder writes into a folder per
// device, FOLDER/LABEL/.

#include "cli/CliOptions.h"

namespace sorvane::cli {

struct CliCommand;

// Runs the command on every device; returns the exit status. Call from a process with
// one thread.
int RunFleet(const CliOptions& options, const CliCommand& command);

} // namespace sorvane::cli
