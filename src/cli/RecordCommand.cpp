// record OUT[.avi] --polls N [--mjpeg QUALITY] [--part-size MIB]
// Polls the screen as the connection thread does and appends one video frame per
// poll, then closes the file. --timeout bounds each wait for the device, and the time
// without a picture that is the device's, not the recording.
//
// Frames come only from a picture that is the device's (see PictureMatch): the video
// starts with the first poll that has one, and a poll after which the picture is not
// the device's (a bad update was refreshed) writes no frame, so its position repeats
// the frame before. When the last poll asked for leaves no such picture, polling goes
// on until one comes for that position. A device whose updates stay bad ends the
// recording with status 1 and the reason: the frames so far are kept, or with none the
// file is removed.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "capture/AviRecording.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/PictureMatch.h"
#include "screen/ScreenReceiver.h"
#include "view/Connection.h"

namespace sorvane::cli {
namespace {

struct RecordArgs {
    std::string out;
    long polls = 0;
    std::optional<int> mjpeg; // quality 1..100
    long partMiB = 1024;      // the file's RIFF parts: 1 GiB, smaller for tests
};

bool number(const std::string& text, long low, long high, long& out)
{
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && !*end && out >= low && out <= high;
}

bool parseArgs(const std::vector<std::string>& args, RecordArgs& r, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--part-size") {
            if (i + 1 >= args.size() || !number(args[++i], 1, 1024, r.partMiB)) {
                error = "--part-size wants a size in MiB from 1 to 1024";
                return false;
            }
        } else if (a == "--polls" || a == "--mjpeg") {
            long n = 0;
            const bool polls = a == "--polls";
            if (i + 1 >= args.size() || !number(args[++i], 1, polls ? 1000000 : 100, n)) {
                error = polls ? "--polls wants a number from 1 to 1000000" : "--mjpeg wants a quality from 1 to 100";
                return false;
            }
            if (polls)
                r.polls = n;
            else
                r.mjpeg = int(n);
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown record option " + a;
            return false;
        } else if (r.out.empty()) {
            r.out = a;
        } else {
            error = "record takes one output file";
            return false;
        }
    }
    if (r.out.empty() || r.polls == 0) {
        error = "record needs an output file and --polls N";
        return false;
    }
    return true;
}

} // namespace

int runRecord(CliSession& session, const std::vector<std::string>& arguments)
{
    RecordArgs args;
    std::string error;
    if (!parseArgs(arguments, args, error)) {
        std::fprintf(stderr, "sorvane-cli: %s\n", error.c_str());
        return 2;
    }
    Links& links = session.links();
    const int slot = session.slotIndex();
    std::unique_ptr<ScreenState> screen = session.screenState();
    if (!screen) {
        std::fprintf(stderr, "sorvane-cli: the device's screen cannot be shown\n");
        return 1;
    }
    ScreenState& st = *screen;

    AviRecording recording;
    AviOptions options;
    if (args.mjpeg) {
        options.codec = AviCodec::Mjpeg;
        options.quality = *args.mjpeg;
    }
    args.out = aviFileName(args.out).string(); // "clip" is written as clip.avi, as the program does
    options.partSize = uint64_t(args.partMiB) << 20;
    if (recording.start(slot, args.out, st, options, false) != AviRecording::StartResult::Started) {
        std::fprintf(stderr, "sorvane-cli: cannot create %s\n", args.out.c_str());
        return 1;
    }
    LinkChannel& channel = session.channel();
    LinkDropSink sink;
    RefreshScreen(channel, st);
    PollPace pace(links.clock(), uint32_t(1000 / std::max(1, session.options().refresh)));
    PictureMatch match(session.options().timeoutS, links.clock().tickCount());
    long first = -1; // the poll of the first frame
    for (long done = 0;; ++done) {
        pace.waitNext();
        const PollOutcome outcome = PollScreen(channel, st, sink);
        std::string failure;
        if (sink.dropped || outcome == PollOutcome::Dropped || session.timedOut()) {
            failure = session.lostReason();
        } else {
            match.after(outcome, links.clock().tickCount());
            failure = match.givingUp();
        }
        if (!failure.empty()) {
            const AviRecording::Summary kept = recording.stop(); // the frames so far stay a whole file
            if (kept.frames == 0) {
                std::error_code ignored;
                std::filesystem::remove(args.out, ignored);
            }
            std::fprintf(stderr, "sorvane-cli: %s; %s\n", failure.c_str(),
                         kept.frames == 0 ? "nothing recorded"
                                          : (std::to_string(kept.frames) + " frames kept in " + args.out).c_str());
            return 1;
        }
        if (!match.matches())
            continue;
        if (first < 0)
            first = done;
        recording.frameAfterPoll(slot, st, uint32_t(std::min(done, args.polls - 1) - first));
        if (done + 1 >= args.polls)
            break;
    }
    const AviRecording::Summary s = recording.stop();
    if (s.problem != AviStatus::Ok) {
        std::fprintf(stderr, "sorvane-cli: %s: %s (%u frames kept)\n", args.out.c_str(), aviStatusName(s.problem),
                     s.frames);
        return 1;
    }
    return 0;
}

} // namespace sorvane::cli
