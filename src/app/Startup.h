#pragma once
// The program's entry: one instance per user and desktop, the command line, the
// start-up sequence, the event loop and the exit sequence.
//
//   sorvane [--connect HOST]
// Exit status: 0 (also when another instance was brought forward instead), 2 when
// the command line is not understood.

namespace sorvane {

int runProgram(int argc, char** argv);

} // namespace sorvane
