#pragma once
// The password table: 100 records of 288 bytes. Bytes 0..255 of a record belong to
// the LAN discovery (address and device name of a discovered device); bytes 256..287
// hold a NUL-terminated password. The handshake puts the device's password into
// record 0; the password dialog is told which record to check against.
//
// Owned by the program; the user-interface thread only.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sorvane {

class PasswordTable {
public:
    static constexpr size_t kRecords = 100;
    static constexpr size_t kRecordSize = 288;
    static constexpr size_t kPasswordOffset = 256;
    static constexpr size_t kPasswordSize = 32;

    PasswordTable() : bytes_(kRecords * kRecordSize, 0) {}

    // Record i (i < kRecords, else an empty span).
    std::span<uint8_t> record(size_t i);
    std::span<const uint8_t> record(size_t i) const;

    // The password of record i, at most 32 characters (empty for a bad index).
    std::string_view password(size_t i) const;
    // Stores the 32 password bytes exactly as given (a 32-character password needs
    // no NUL).
    void setPasswordBytes(size_t i, std::span<const uint8_t, kPasswordSize> raw);

private:
    std::vector<uint8_t> bytes_;
};

// The password dialog's test: the typed text (only its first 32 characters count)
// equals the stored password, ASCII letters compared without case.
bool passwordMatches(std::string_view typed, std::string_view stored);

} // namespace sorvane
