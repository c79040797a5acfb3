#pragma once
// Command packets: every exchange with the agent starts with four bytes
//   byte 0  code c
//   byte 1  0xFF
//   byte 2  c again
//   byte 3  0x11
// and every short answer of the agent has the same shape (97 'a' accepted, 101 'e'
// not yet). Data that belongs to a command follows the packet in the same send.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sorvane {

class Clock;
class LinkSlot;

enum CommandCode : uint8_t {
    CmdHello = 80,             // 'P'
    CmdRefresh = 81,           // 'Q'
    CmdUpdate = 82,            // 'R'
    CmdUpdate4 = 83,           // 'S'
    CmdLeftDown = 84,          // 'T'
    CmdLeftUp = 85,            // 'U'
    CmdKeyDown = 86,           // 'V'
    CmdKeyUp = 87,             // 'W'
    CmdMouseMove = 88,         // 'X'
    CmdRunProgram = 89,        // 'Y'
    CmdDoubleClick = 91,       // '['
    CmdDeviceInfo = 92,        // backslash
    CmdPalette = 93,           // ']'
    CmdRightDown = 94,         // '^'
    CmdRightUp = 95,           // '_'
    CmdRightDoubleClick = 96,  // backquote
    ReplyAccepted = 97,        // 'a'
    CmdUpdateSecond = 98,      // 'b'
    CmdPasteText = 100,        // 'd'
    ReplyNotYet = 101,         // 'e'
    CmdQueuedInput = 102,      // 'f'
    CmdListDirectory = 103,    // 'g'
    CmdOpenRead = 104,         // 'h'
    CmdCreateWrite = 105,      // 'i'
    CmdCloseFile = 106,        // 'j'
    CmdReadBlock = 107,        // 'k'
    CmdWriteBlock = 108,       // 'l'
    CmdDelete = 109,           // 'm'
    CmdRename = 110,           // 'n'
    CmdDeviceStatus = 111,     // 'o'
    CmdActivateWindow = 112,   // 'p'
    CmdReadClipboard = 113,    // 'q'
    CmdSoftReset = 116,        // 't'
    CmdSuspend = 117,          // 'u'
    CmdScriptProcessList = 118, // 'v'
    CmdKillProcess = 119,      // 'w'
    CmdProcessList = 120,      // 'x'
    CmdOpenAssociated = 123,   // '{'
    CmdScriptNewFolder = 124,  // vertical bar
};

inline constexpr size_t kCommandPacketSize = 4;
inline constexpr uint8_t kPacketMarker = 0xFF;
inline constexpr uint8_t kPacketEnd = 0x11;

// Writes the four packet bytes of code into out.
void BuildCommand(std::span<uint8_t, kCommandPacketSize> out, uint8_t code);
std::array<uint8_t, kCommandPacketSize> commandPacket(uint8_t code);

// A path message: the packet, a 32-bit length (path length + 1), the path and its NUL.
std::vector<uint8_t> BuildPathMessage(uint8_t code, std::string_view path);

// The four packet bytes of code as a message of their own.
std::vector<uint8_t> CommandMessage(uint8_t code);

// Sends the packet of code on the link as one message; returns what LinkSend
// returns (4, or 0 on failure). Any thread; blocks like LinkSend.
size_t SendCommand(LinkSlot& link, Clock& clock, uint8_t code);

// Reads one reply packet: its code, or 0 when no valid packet was read. Finds a
// packet that arrives one byte late (a stray 0x11 in front: five bytes consumed, the
// code returned); after other garbage it consumes one byte more than the window and
// returns 0, so a caller that keeps reading regains the packet alignment. Only the
// link's reading thread; blocks like LinkRecv.
uint8_t ReadReply(LinkSlot& link, Clock& clock);

} // namespace sorvane
