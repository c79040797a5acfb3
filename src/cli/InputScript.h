#pragma once
// Input that `capture` sends before it polls, as a device window would send it: taps,
// drags, typed text and single keys, turned into input packets in the order given.

#include <string>
#include <string_view>
#include <vector>

#include "view/InputPackets.h"

namespace sorvane::cli {

// Appends the packets of one capture input option to out:
//   --tap X,Y               'T' then 'U' at the point
//   --drag X1,Y1,X2,Y2      'T' at the start, 'X' every few pixels along the line, 'U' at the end
//   --type TEXT             key down and up for each character, with Shift around the
//                           characters a US keyboard makes with it; a line break is Enter
//   --key CODE              key down and up of one virtual key (decimal, or hex with 0x)
// Returns false with a one-line reason for a bad value; true for a known option.
bool AppendInputOption(const std::string& option, const std::string& value, std::vector<InputPacket>& out,
                       std::string& error);
bool IsInputOption(const std::string& option);

} // namespace sorvane::cli
