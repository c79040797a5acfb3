// The player's check lines: waits and checks of the screen, found images, read text
// and snapshots, their results log lines and the pictures of a failed check.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "capture/StillCapture.h"
#include "link/LinkChannel.h"
#include "ocr/TextReader.h"
#include "platform/Clock.h"
#include "scripts/CheckPictures.h"
#include "scripts/Player.h"

namespace fs = std::filesystem;

namespace sorvane {

// What one look at the screen found.
struct Player::Look {
    enum State {
        NoPicture, // the poll left a picture that is not the device's (a refresh zeroed it)
        Missed,    // looked, and the check does not pass (yet)
        Matched,
        Broken,    // the check cannot pass: `message` says why
    };
    State state = NoPicture;
    std::string message;
    RgbPicture screen; // the device's picture looked at last; empty: none yet
    RegionMatch match; // WAITSCREEN, CHECKSCREEN
    FoundImage found;  // TAPIMAGE, WAITIMAGE
};

namespace {

bool Stopping(const PlaybackLink& link) { return link.stopping && link.stopping(); }

// "91.2%", rounded down to a tenth: 97.96 never reads as 98.0.
std::string PercentText(const RegionMatch& m)
{
    const int64_t tenths = m.total > 0 ? m.matching * 1000 / m.total : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ".%" PRId64 "%%", tenths / 10, tenths % 10);
    return text;
}

// A part of a file name: every byte but letters, digits, '.', '_' and '-' becomes '_'.
std::string SafeName(std::string_view name)
{
    std::string out(name);
    for (char& c : out) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '_' || c == '-';
        if (!kept)
            c = '_';
    }
    return out;
}

bool ComparesRegion(CheckKind kind) { return kind == CheckKind::WaitScreen || kind == CheckKind::CheckScreen; }

} // namespace

uint32_t PollPeriodMs(int refreshRate) { return uint32_t(1000 / std::clamp(refreshRate, 1, 18)); }

TextReader* Player::textReader(std::string& error)
{
    if (!textReader_ && textReaderError_.empty()) {
        if (std::unique_ptr<TextReader> made = MakeTextReader(textReaderError_))
            textReader_ = std::move(made);
        else if (textReaderError_.empty())
            textReaderError_ = "the OCR engine cannot be loaded";
    }
    error = textReaderError_;
    return textReader_.get();
}

Player::Look Player::look(PlaybackLink& link, const ScriptCheck& check, Look& last)
{
    Look l;
    l.screen = std::move(last.screen); // kept when this poll brings no picture
    if (!link.screen || !link.pollForCheck) {
        l.state = Look::Broken;
        l.message = "no screen";
        return l;
    }
    if (!link.pollForCheck())
        return l;
    RgbPicture screen;
    if (!ShownRgb(*link.screen, screen)) {
        l.state = Look::Broken;
        l.message = "no screen";
        return l;
    }
    // The same picture reads the same: a text wait does not read it again.
    const bool same = last.state == Look::Missed && screen.width == l.screen.width &&
                      screen.height == l.screen.height && screen.rgb == l.screen.rgb;
    l.screen = std::move(screen);
    const auto broken = [&l](std::string why) {
        l.state = Look::Broken;
        l.message = std::move(why);
        return std::move(l);
    };
    switch (check.kind) {
    case CheckKind::WaitScreen:
    case CheckKind::CheckScreen:
        if (!check.picture)
            return broken("no picture");
        l.match = CompareRegion(l.screen, check.x, check.y, *check.picture);
        if (l.match.total == 0)
            return broken("region outside the screen");
        l.state = l.match.reaches(check.percent) ? Look::Matched : Look::Missed;
        return l;
    case CheckKind::TapImage:
    case CheckKind::WaitImage:
        if (!check.picture)
            return broken("no picture");
        l.found = FindImage(l.screen, *check.picture, check.percent);
        l.state = l.found.found ? Look::Matched : Look::Missed;
        return l;
    case CheckKind::WaitText:
    case CheckKind::CheckText: {
        if (same) {
            l.state = Look::Missed;
            return l;
        }
        RgbPicture area;
        if (check.hasRegion) {
            area = CropRgb(l.screen, check.x, check.y, check.w, check.h);
            if (area.empty())
                return broken("region outside the screen");
        }
        std::string error, text;
        TextReader* reader = textReader(error);
        if (!reader)
            return broken("no text reader: " + error);
        if (!reader->read(check.hasRegion ? area : l.screen, text, error))
            return broken("text not read: " + error);
        l.state = TextContains(text, check.text) ? Look::Matched : Look::Missed;
        return l;
    }
    case CheckKind::Snapshot: l.state = Look::Matched; return l;
    }
    return broken("unknown check");
}

Player::CheckEnd Player::runCheck(PlaybackLink& link, uint32_t index)
{
    if (index >= script_.checks.size()) { // a loaded script's check events name its checks
        const std::string& script = scenario_.files[size_t(scenario_.fileIndex)].fileName;
        checkFailures_.push_back({script, 0, "CHECK", "no such check", {}});
        return CheckEnd::Failed;
    }
    const ScriptCheck& check = script_.checks[index];
    const char* keyword = CheckKeyword(check.kind);
    const uint32_t start = link.clock.tickCount();
    Look l;
    RegionMatch best; // the closest a region came during a wait
    for (int polls = 1;; ++polls) {
        if (Stopping(link))
            return CheckEnd::Stopped;
        const uint32_t pollStart = link.clock.tickCount();
        l = look(link, check, l);
        if (l.state == Look::Matched || l.state == Look::Broken)
            break;
        if (l.state == Look::Missed &&
            (best.total == 0 || l.match.matching * best.total > best.matching * l.match.total))
            best = l.match;
        const uint32_t now = link.clock.tickCount();
        const uint32_t passed = now - start;
        if (check.waits() ? passed >= check.timeoutMs : l.state == Look::Missed || polls >= kCheckPolls)
            break;
        // The next poll a period after this one started, and one right at the time-out.
        const uint32_t period = std::max<uint32_t>(link.pollPeriodMs, 1);
        const uint32_t pause = std::min(check.waits() ? check.timeoutMs - passed : UINT32_MAX,
                                        period - std::min(period, now - pollStart));
        wait(link, pause);
    }
    if (Stopping(link) && l.state != Look::Matched && l.state != Look::Broken)
        return CheckEnd::Stopped; // a wait that a stop cut short has not failed

    std::string message;
    if (l.state == Look::Matched) {
        if (check.kind == CheckKind::TapImage) {
            const int x = l.found.centreX(), y = l.found.centreY();
            for (uint8_t code : {event_code::MouseDown, event_code::MouseUp}) {
                const uint8_t packet[8] = {code, 0xFF, code, 0x11, uint8_t(x), uint8_t(x >> 8), uint8_t(y),
                                           uint8_t(y >> 8)};
                link.channel.send(packet, sizeof packet);
                ++eventsSent_;
            }
        }
        if (check.kind != CheckKind::Snapshot) {
            ++checksPassed_;
            log(keyword, "passed");
            return CheckEnd::Passed;
        }
        fs::path path = fs::path(scriptDir_) / check.file;
        if (!outputLabel_.empty())
            path.replace_filename(path.stem().string() + "-" + outputLabel_ + path.extension().string());
        const std::optional<CaptureFormat> format = formatOfExtension(path);
        ImageRecord picture;
        if (!format) {
            message = "not saved: " + check.file + " is not a .bmp, .gif, .jpg or .png file";
        } else if (!CapturePicture(*link.screen, picture)) {
            message = "not saved: no screen";
        } else if (const int code = WriteCapture(picture, path, *format); code != 0) {
            message = "not saved: " + check.file + " cannot be written (error " + std::to_string(code) + ")";
        } else {
            log(keyword, "saved " + check.file);
            return CheckEnd::Passed;
        }
    } else if (l.state == Look::Broken) {
        message = l.message;
    } else {
        std::string detail;
        if (l.screen.empty())
            detail = "no screen";
        else if (ComparesRegion(check.kind))
            detail = (check.waits() ? "best " : "failed ") + PercentText(check.waits() ? best : l.match) + " < " +
                     std::to_string(check.percent) + "%";
        else
            detail = "not found";
        message = check.waits() ? "timed out after " + std::to_string(check.timeoutMs) + " ms (" + detail + ")"
                                : detail;
    }
    log(keyword, message);
    const std::string& script = scenario_.files[size_t(scenario_.fileIndex)].fileName;
    checkFailures_.push_back({script, check.line, keyword, message, {}});
    checkFailures_.back().pictures = saveFailurePictures(check, l);
    return CheckEnd::Failed;
}

std::vector<std::string> Player::saveFailurePictures(const ScriptCheck& check, const Look& l)
{
    if (l.screen.empty())
        return {};
    fs::path dir = scriptDir_;
    if (!artifactDir_.empty()) {
        dir = artifactDir_;
        std::error_code ec;
        fs::create_directories(dir, ec); // a folder that cannot be made fails the saving below
    } else if (scenario_.logResults && !scenario_.logFile.empty()) {
        dir = fs::path(scenario_.logFile).parent_path();
    }
    const std::string& script = scenario_.files[size_t(scenario_.fileIndex)].fileName;
    const std::string base = (outputLabel_.empty() ? SafeName(deviceName_) : outputLabel_) + "-" + SafeName(fs::path(script).stem().string()) + "-line" +
                             std::to_string(check.line) + "-pass" + std::to_string(scenario_.loopCounter + 1);
    std::vector<std::pair<std::string, RgbPicture>> pictures;
    RgbPicture region;
    if (ComparesRegion(check.kind) && check.picture &&
        !(region = CropRgb(l.screen, check.x, check.y, check.w, check.h)).empty() &&
        region.width == check.picture->width && region.height == check.picture->height) {
        RgbPicture diff = DifferencePicture(region, *check.picture);
        pictures.emplace_back("-actual.png", std::move(region));
        pictures.emplace_back("-diff.png", std::move(diff));
    } else {
        pictures.emplace_back("-actual.png", l.screen);
    }
    std::vector<std::string> saved;
    for (const auto& [suffix, picture] : pictures) {
        const std::string path = (dir / (base + suffix)).string();
        std::string error;
        if (SaveRgbPicture(path, picture, error))
            saved.push_back(path);
        else
            log(CheckKeyword(check.kind), "picture not saved: " + error);
    }
    return saved;
}

} // namespace sorvane
