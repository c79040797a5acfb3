#pragma once
// Reading the text on a device's screen (OCR), behind an interface of our own so the
// engine can be swapped and tests can hand in a reader of their own.
//
// Thread: a reader is used by one thread at a time (the engine keeps state per reader).

#include <memory>
#include <string>
#include <string_view>

#include "screen/ScreenMatch.h"

namespace sorvane {

class TextReader {
public:
    virtual ~TextReader() = default;
    // The text in the picture (UTF-8, lines separated by '\n'); false with the reason
    // when the engine could not read it. A small device picture is scaled up first.
    virtual bool read(const RgbPicture& picture, std::string& text, std::string& error) = 0;
};

// The installed OCR engine with its English language data; null with the reason when
// the engine or its language data cannot be loaded.
std::unique_ptr<TextReader> MakeTextReader(std::string& error);

// Whether `text` holds `wanted`, ignoring case (ASCII and Latin-1 letters) and treating
// every run of white space (line breaks included) as one space, in both. An empty
// `wanted` is found in any text.
bool TextContains(std::string_view text, std::string_view wanted);

} // namespace sorvane
