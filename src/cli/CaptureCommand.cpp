// capture OUT [--polls N] [--display main|second] [--low-color] [input...]
// Sends the input options' packets (one queued message), then polls the screen as the
// connection thread does and writes the picture as shown.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "cli/CliSession.h"
#include "capture/StillCapture.h"
#include "cli/Commands.h"
#include "cli/InputScript.h"
#include "cli/PictureMatch.h"
#include "imaging/ImageRecord.h"
#include "screen/ScreenReceiver.h"
#include "screen/ShownPicture.h"
#include "view/Connection.h"

namespace sorvane::cli {
namespace {

struct CaptureArgs {
    std::string out;
    long polls = -1; // -1: until an update with an empty payload
    bool second = false;
    bool lowColor = false;
    std::vector<InputPacket> input;
};

bool parseArgs(const std::vector<std::string>& args, CaptureArgs& c, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* what) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string(what) + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--polls") {
            const std::string* v = value("--polls");
            if (!v)
                return false;
            char* end = nullptr;
            long n = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end || n < 1 || n > 1000000) {
                error = "--polls wants a number from 1 to 1000000";
                return false;
            }
            c.polls = n;
        } else if (a == "--display") {
            const std::string* v = value("--display");
            if (!v)
                return false;
            if (*v != "main" && *v != "second") {
                error = "--display is main or second";
                return false;
            }
            c.second = *v == "second";
        } else if (a == "--low-color") {
            c.lowColor = true;
        } else if (IsInputOption(a)) {
            const std::string* v = value(a.c_str());
            if (!v || !AppendInputOption(a, *v, c.input, error))
                return false;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown capture option " + a;
            return false;
        } else if (c.out.empty()) {
            c.out = a;
        } else {
            error = "capture takes one output file";
            return false;
        }
    }
    if (c.out.empty()) {
        error = "capture needs an output file";
        return false;
    }
    return true;
}

std::string extensionOf(const std::string& path)
{
    auto dot = path.rfind('.');
    auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string e = path.substr(dot + 1);
    for (char& ch : e)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return e;
}

bool writePpm(const std::string& path, const Picture& p, std::string& error)
{
    std::vector<uint8_t> rgb = PictureToRgb(p);
    std::string tmp = path + ".part";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << "P6\n" << p.width << " " << p.height << "\n255\n";
        f.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
        f.flush();
        if (!f) {
            error = "cannot write " + path;
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

int runCapture(CliSession& session, const std::vector<std::string>& arguments)
{
    CaptureArgs args;
    std::string error;
    if (!parseArgs(arguments, args, error)) {
        std::fprintf(stderr, "sorvane-cli: %s\n", error.c_str());
        return 2;
    }
    args.out = session.outputPath(args.out); // on several devices, one file each
    const std::string ext = extensionOf(args.out);
    // .bmp at the picture's own depth; .gif, .jpg/.jpeg, .png
    const std::optional<CaptureFormat> format = formatOfExtension(args.out);
    if (!format && ext != "ppm") {
        std::fprintf(stderr, "sorvane-cli: cannot write .%s files (use .ppm, .bmp, .gif, .jpg or .png)\n",
                     ext.c_str());
        return 2;
    }
    Links& links = session.links();
    std::unique_ptr<ScreenState> screen = session.screenState();
    if (!screen) {
        std::fprintf(stderr, "sorvane-cli: the device's screen cannot be shown\n");
        return 1;
    }
    ScreenState& st = *screen;
    if (args.second && st.facts.altDepth == 0) {
        std::fprintf(stderr, "sorvane-cli: the device has no second display\n");
        return 1;
    }
    st.flipState = args.second ? 1 : 0;
    st.lowColor = args.lowColor && st.facts.depth == 16 ? 1 : 0;

    LinkChannel& channel = session.channel();
    LinkDropSink sink;
    // Both sides start from zero frames, as a new device window does.
    RefreshScreen(channel, st);
    if (!args.input.empty()) {
        // Sent as a connection sends queued input: 102 messages of at most 512 packets.
        for (size_t at = 0; at < args.input.size(); at += InputSender::kBatch) {
            const size_t n = std::min(InputSender::kBatch, args.input.size() - at);
            const std::vector<uint8_t> m = QueuedInputMessage(std::span(args.input).subspan(at, n));
            channel.send(m.data(), m.size());
        }
    }
    PollPace pace(links.clock(), uint32_t(1000 / std::max(1, session.options().refresh)));
    long done = 0;
    PictureMatch match(session.options().timeoutS, links.clock().tickCount());
    for (;;) {
        pace.waitNext();
        PollOutcome outcome = PollScreen(channel, st, sink);
        if (sink.dropped || outcome == PollOutcome::Dropped || session.timedOut()) {
            std::fprintf(stderr, "sorvane-cli: %s\n", session.lostReason().c_str());
            return 1;
        }
        match.after(outcome, links.clock().tickCount());
        ++done;
        const bool enough = args.polls > 0 ? done >= args.polls : outcome == PollOutcome::Unchanged;
        if (match.matches() && enough)
            break;
        if (const std::string reason = match.givingUp(); !reason.empty()) {
            std::fprintf(stderr, "sorvane-cli: %s; no picture written\n", reason.c_str());
            return 1;
        }
    }
    if (format) {
        ImageRecord picture;
        if (!CapturePicture(st, picture)) {
            std::fprintf(stderr, "sorvane-cli: no picture\n");
            return 1;
        }
        int r = WriteCapture(picture, args.out, *format);
        if (r != 0) {
            std::fprintf(stderr, "sorvane-cli: cannot write %s (image library result %d)\n", args.out.c_str(), r);
            return 1;
        }
        return 0;
    }
    std::lock_guard lock(st.pictureMutex);
    const Picture* shown = ShownPicture(st);
    if (!shown || !writePpm(args.out, *shown, error)) {
        std::fprintf(stderr, "sorvane-cli: %s\n", error.empty() ? "no picture" : error.c_str());
        return 1;
    }
    return 0;
}

} // namespace sorvane::cli
