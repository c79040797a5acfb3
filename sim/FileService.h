#pragma once
// The device's file system of the simulated agent: a sandbox folder on the PC
// (--files DIR) served as the device's, with the exchanges of the file explorer and of
// file transfers. Device paths ("\a\b", "" or "\" for the root) map to DIR/a/b; a
// path with a "." or ".." part, a "/", a part no Windows name can be (WireNames.h) or a
// part leading outside DIR through a link is refused (an empty listing, an invalid
// handle, a 'e' result). Names are UTF-8 in DIR and Windows-1252 on the wire.
//
//   'g' path message          -> u32 N, u32 L, N 20-byte entries, L name bytes
//   'h' / 'i' path message    -> u32 handle (0xFFFFFFFF when the file cannot be opened)
//   'j' u32 handle            (no answer)
//   'k' rest of a block header -> block header and its data
//   'l' rest of a block header, data -> u32 97 accepted, 101 refused
//   'm' path message          -> u32 97 deleted, 101 not
//   'n' char[256] old, char[256] new -> u32 97 renamed, 101 not
//   'Y' / '{' path message    (no answer; logged "run PATH" / "open PATH")
//
// Faults (FileFaults): refuse the first K write blocks of the connection, corrupt the
// data of read block K (each time, or its first N replies), flag stored blocks that
// did not shrink as compressed, point the last N entries of a listing past its names.
//
// One per connection, used by its thread only; open files close with it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ByteLink.h"
#include "Options.h"

namespace sorvane::sim {

class EventLog;

class FileService {
public:
    enum class Served { NotMine, Continue, End };

    FileService(const SimOptions& options, ByteLink& link, EventLog& log);
    ~FileService();
    FileService(const FileService&) = delete;
    FileService& operator=(const FileService&) = delete;

    // Serves a command whose packet has been read; NotMine for codes that are no file
    // exchange, End when the link failed.
    Served handle(uint8_t code);

private:
    bool readPath(std::string& path, bool& ok);
    std::optional<std::string> resolve(const std::string& devicePath, bool mustExist) const;
    Served list();
    Served open(bool write);
    Served close();
    Served readBlock();
    Served writeBlock();
    Served remove();
    Served rename();
    Served shellCommand(const char* what);
    Served reply(uint32_t value);

    const SimOptions& options_;
    ByteLink& link_;
    EventLog& log_;
    std::string root_; // real path of the sandbox
    std::map<uint32_t, int> open_; // handle -> descriptor
    uint32_t nextHandle_ = 0x1000;
    unsigned writeBlocks_ = 0;     // write blocks seen on this connection
    unsigned corruptedReads_ = 0;  // replies of the planned block spoiled so far
};

} // namespace sorvane::sim
