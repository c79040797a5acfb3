// What the device tools take in from the agent: the status record, the process list
// (count and records) and the clipboard text, read through a channel that hands out
// the input; and device text made printable or turned into key packets.
// Input: byte 0 selects, the rest is the reply.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "platform/Utf8Text.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceInfoText.h"
#include "tools/DeviceText.h"
#include "tools/TypeText.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::InputChannel channel(data + 1, size - 1);
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: {
        DeviceStatusRecord status;
        if (RequestDeviceStatus(channel, status) == ExchangeStatus::Served)
            for (const InfoLine& line : DeviceInfoLines({"x", 240, 320, 16}, status))
                if (line.value.empty())
                    __builtin_trap();
        break;
    }
    case 1: {
        ProcessList list;
        if (RequestProcessList(channel, list) == ExchangeStatus::Served &&
            (list.records.size() > kProcessListRecords || list.records.size() > list.reportedCount))
            __builtin_trap();
        break;
    }
    case 2: {
        std::string text;
        if (ReadDeviceClipboard(channel, text) == ExchangeStatus::Served && text.size() > kClipboardTextLimit)
            __builtin_trap();
        break;
    }
    default: {
        for (const std::string& shown : {EscapeDeviceText(rest), EscapeText(rest)}) // device text, PC text
            for (char c : shown)
                if (uint8_t(c) < 0x20 || c == 0x7F)
                    __builtin_trap();
        const DeviceTextResult device = ToDeviceText(rest);
        if (device.bytes.find('\0') != std::string::npos)
            __builtin_trap();
        (void)TypeTextPackets(rest);
        break;
    }
    }
    return 0;
}
