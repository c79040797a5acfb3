#pragma once
// The human-readable text form of a RegistryStore, as kept in the settings file.
//
//   Sorvane settings store 1
//   ; comment lines start with ';'
//
//   [SOFTWARE\Halvard\Sorvane]
//   "ConnTypes"=dword:00000003
//   "ConnData"=hex:01,00,00,00,6b,07,00,00,...   (long lists go on over several lines)
//   "ScriptDir"="/home/ann/.local/share/sorvane/RECORDED_DATA"
//   "Odd"=hex(4):01,02
//
// The first line names the format. A key line is the path in brackets; '%', ']',
// control bytes and bytes that are not UTF-8 appear as %HH. A value line is its
// quoted name, '=', and one of:
//   dword:HHHHHHHH    a 4-byte value of the dword type (the number in hex)
//   "text"            a string value: the text's bytes followed by one NUL
//   hex:HH,HH,...     a binary value
//   hex(T):HH,...     any other type T (hex) or size, byte for byte
// Inside quotes (names and text), '\' and '"' appear as \\ and \", control bytes,
// DEL and bytes that are not UTF-8 as \xHH. A hex list may go on over further lines,
// each line but the last ending in '\'. Every byte of every name and value round-trips.

#include <string>
#include <string_view>

#include "platform/RegistryStore.h"

namespace sorvane {

inline constexpr std::string_view kRegistryTextHeader = "Sorvane settings store 1";

std::string registryToText(const RegistryStore& store);

// Parses the whole text. On success fills out and returns true; otherwise leaves out
// alone and sets error to "line N: what is wrong".
bool registryFromText(std::string_view text, RegistryStore& out, std::string& error);

} // namespace sorvane
