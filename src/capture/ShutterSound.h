#pragma once
// The "SHUTTER" sound of clipboard and one-click captures: our own WAV data, a
// camera's two shutter clicks made of filtered noise. Pure function; any thread.
//
//   "RIFF" size "WAVE" | "fmt " 16: PCM 1, 1 channel, 22050 Hz, 44100 bytes/s,
//   block 2, 16 bits | "data" size, samples (signed 16-bit little-endian)

#include <cstdint>
#include <vector>

namespace sorvane {

std::vector<uint8_t> ShutterSoundWav();

// The "CLICK" of a skin's button: one short click, 40 ms, in the same format.
std::vector<uint8_t> ClickSoundWav();

} // namespace sorvane
