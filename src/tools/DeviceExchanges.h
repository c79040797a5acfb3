#pragma once
// The device tools' exchanges with the agent, over the link of one connection.
//
//   'o' 111  packet                          -> the 48-byte DeviceStatusRecord
//   'x' 120  packet                          -> u32 count, then count 256-byte ProcessRecords
//   'q' 113  packet                          -> u32 length, then the clipboard text
// and the messages the agent answers with nothing:
//   'd' 100  packet, u32 n, n text bytes (no NUL)    paste into the device clipboard
//   'p' 112  packet, u32 window handle               bring a window to the front
//   'w' 119  packet, u32 process id                  end a process
//   't' 116  packet                                  soft reset
//   'u' 117  packet                                  suspend
//
// Thread: the exchanges run on the one thread that reads the link (the connection's
// thread, as a job, or a command-line session) and block while the link waits for
// the reply: at most the link's receive limit per read. The message builders are
// pure; their bytes go out as one whole message.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/DeviceRecords.h"

namespace sorvane {

class LinkChannel;

enum class ExchangeStatus {
    Served,
    NoReply,  // the reply did not come, or only part of it: the link was drained
    BadReply, // the reply carried a count or length that cannot be true
};
const char* ExchangeStatusName(ExchangeStatus status);

// The program keeps at most this many processes of a reply (its 64 KiB buffer); a
// reply of more is read to its end and the rest dropped.
inline constexpr uint32_t kProcessListRecords = 256;
// Counts above this are no process list (a lying count): nothing more is read.
inline constexpr uint32_t kProcessCountLimit = 4096;
// Device clipboard texts longer than this are refused unread.
inline constexpr uint32_t kClipboardTextLimit = 1u << 20;
// Texts longer than this are not pasted (the device takes its clipboard in one message).
inline constexpr uint32_t kPasteTextLimit = 1u << 20;

struct ProcessList {
    std::vector<ProcessRecord> records; // in reply order, at most kProcessListRecords
    uint32_t reportedCount = 0;         // the count the device gave
};

// Sends 'o' and reads the status record. `out` changes only when the whole reply came.
ExchangeStatus RequestDeviceStatus(LinkChannel& channel, DeviceStatusRecord& out);
// Sends 'x' and reads the list. `out` changes only when the whole reply came.
ExchangeStatus RequestProcessList(LinkChannel& channel, ProcessList& out);
// Sends 'q' and reads the clipboard text as device bytes, trailing NULs dropped.
// A length above kClipboardTextLimit is BadReply, with nothing allocated for it.
ExchangeStatus ReadDeviceClipboard(LinkChannel& channel, std::string& deviceText);

// The whole messages that expect no reply.
std::vector<uint8_t> PasteMessage(std::string_view deviceText); // 8 + size bytes
std::vector<uint8_t> ActivateMessage(uint32_t windowHandle);
std::vector<uint8_t> KillMessage(uint32_t processId);
std::vector<uint8_t> SoftResetMessage();
std::vector<uint8_t> SuspendMessage();

} // namespace sorvane
