#pragma once
// What a connection's script machinery is doing: recording the user's input,
// playing a script or scenario (live input is dropped meanwhile), paused (a scenario
// keeps its place), or stopped after one of those. Idle until the first of them.
// Only compared and shown; never written to a file or sent.

#include <cstdint>

namespace sorvane {

enum class RecordState : uint8_t { Idle, Recording, Playing, Paused, Stopped };

} // namespace sorvane
