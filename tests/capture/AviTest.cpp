// AVI recording: files ffprobe and ffmpeg read and a reader written from the format's
// documentation accepts, with the header fields and frames that were recorded; frames
// equal to the picture with the cursor clipped at the edge, the live picture untouched,
// one recording at a time; and sorvane-cli record against the simulator, frame by frame,
// in one RIFF part and in several.

#include <gtest/gtest.h>

#include "OracleSupport.h"
#include "capture/AviRecording.h"
#include "capture/CursorImages.h"
#include "screen/ShownPicture.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/JpegEncoder.h"
#include <map>
#include <numeric>
#include <sstream>

#include <zlib.h>

using namespace sorvane;
using namespace sorvane::test;

namespace {

std::string oracle(const std::vector<std::string>& args) { return runScript(SORVANE_AVI_ORACLE, args); }

std::string probeLine(int w, int h, int rate, int frames, const char* codec)
{
    return "codec_name=" + std::string(codec) + "\nwidth=" + std::to_string(w) + "\nheight=" + std::to_string(h) +
           "\nr_frame_rate=" + std::to_string(rate) + "/1\nnb_read_frames=" + std::to_string(frames) + "\n";
}

// What avi_layout.py (a reader written from the format's documentation, which checks every
// chunk, size and index itself) and ffprobe say of a file: header fields by name, "frames"
// (a line "id size key crc" each) and "probe" (ffprobe's lines as probeLine() writes them).
std::map<std::string, std::string> layoutOf(const std::filesystem::path& file)
{
    std::map<std::string, std::string> l;
    const std::string out = oracle({"layout", file.string()});
    l["probe"] = out.substr(std::min(out.find("codec_name="), out.size()));
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("frame="))
            l["frames"] += line.substr(6, line.find(" @") - 6) + "\n";
        else if (const size_t eq = line.find('='); eq != std::string::npos)
            l[line.substr(0, eq)] = line.substr(eq + 1);
    return l;
}

// A device screen with varied pixels: 16-bit (low colour: its 4-bit picture) or 8-bit.
void makeScreen(ScreenState& st, int depth, int w, int h, bool lowColor)
{
    st.facts = {.depth = depth, .width = w, .height = h};
    for (size_t i = 0; i < st.palette.size(); ++i)
        st.palette[i] = uint8_t(i * 37 + 11);
    ASSERT_TRUE(BuildViewBitmaps(st.bitmaps, st.facts, st.palette));
    st.lowColor = lowColor ? 1 : 0;
    st.refreshRate = 7;
    for (Picture* p : {&st.bitmaps.dib, &st.bitmaps.dib4})
        for (size_t i = 0; i < p->bits.size(); ++i)
            p->bits[i] = uint8_t(i * 131 + i / 97);
}

struct FrameCase {
    const char* name;
    int depth;
    bool lowColor;
    AviCodec codec;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class AviFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(AviFrames, FfmpegDecodesThePictureWithTheCursorClipped)
{
    const FrameCase c = GetParam();
    const int w = 42, h = 30; // 126-byte rows: padded to 128 in uncompressed frames
    ScreenState st;
    makeScreen(st, c.depth, w, h, c.lowColor);
    const std::vector<uint8_t> live = ShownPicture(st)->bits;
    TempDir dir;
    const auto file = dir / "clip.avi";
    AviRecording rec;
    ASSERT_EQ(rec.start(3, file, st, AviOptions{c.codec, 95}, true), AviRecording::StartResult::Started);
    rec.frameAfterPoll(3, st, 0);                          // pointer not over the window
    rec.setPointer(AviPointer{true, w - 3, h - 4, true});  // bottom-right corner, button down
    rec.frameAfterPoll(3, st, 1);
    rec.frameAfterPoll(4, st, 2);                          // another connection: no frame
    EXPECT_EQ(rec.stop().frames, 2u);
    EXPECT_EQ(ShownPicture(st)->bits, live); // no cursor pixels in the live picture

    const bool mjpeg = c.codec == AviCodec::Mjpeg;
    EXPECT_EQ(layoutOf(file)["probe"], probeLine(w, h, 7, 2, mjpeg ? "mjpeg" : "rawvideo"));
    oracle({"decode", file.string(), (dir / "frames.rgb").string()});
    const std::vector<uint8_t> got = readFileBytes(dir / "frames.rgb");
    const size_t size = size_t(w) * size_t(h) * 3;
    ASSERT_EQ(got.size(), 2 * size);
    std::vector<uint8_t> expected;
    {
        std::lock_guard lock(st.pictureMutex);
        expected = PictureToRgb(*ShownPicture(st));
    }
    expected.insert(expected.end(), expected.begin(), expected.end());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            if (CursorPixel p = cursorPixel(true, x, y); p != CursorPixel::Clear)
                std::fill_n(&expected[size + (size_t(h - 4 + y) * size_t(w) + size_t(w - 3 + x)) * 3], 3,
                            p == CursorPixel::White ? 255 : 0);
    if (!mjpeg) {
        EXPECT_TRUE(got == expected);
        return;
    }
    double se = 0;
    for (size_t i = 0; i < got.size(); ++i)
        se += (got[i] - expected[i]) * (got[i] - expected[i]);
    EXPECT_GT(10 * std::log10(255.0 * 255.0 * double(got.size()) / std::max(se, 1.0)), 20.0);
}

INSTANTIATE_TEST_SUITE_P(Pictures, AviFrames,
                         ::testing::Values(FrameCase{"rgb16", 16, false, AviCodec::Uncompressed},
                                           FrameCase{"lowColour", 16, true, AviCodec::Uncompressed},
                                           FrameCase{"indexed8", 8, false, AviCodec::Uncompressed},
                                           FrameCase{"mjpeg16", 16, false, AviCodec::Mjpeg}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviRecording, OneAtATimeAndStopsCleanlyAtTheSizeLimit)
{
    ScreenState st;
    makeScreen(st, 16, 64, 48, false);
    TempDir dir;
    AviRecording rec;
    ASSERT_EQ(rec.start(1, dir / "a.avi", st, {}, false), AviRecording::StartResult::Started);
    EXPECT_EQ(rec.start(2, dir / "b.avi", st, {}, false), AviRecording::StartResult::Busy);
    EXPECT_FALSE(std::filesystem::exists(dir / "b.avi"));
    EXPECT_EQ(rec.slot(), 1);
    rec.stop();
    EXPECT_FALSE(rec.active());

    const AviFormat f{64, 48, 5, AviCodec::Uncompressed, 0};
    // The disk full at the index (a file size limit four bytes into it): the header is
    // finished all the same, counting the frames the file holds, and the failure reported.
    const uint64_t frames = AviWriter::kHeaderSize + 3 * (8 + 64 * 48 * 3);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{frames + 4, frames + 4};
        AviWriter w;
        bool ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && w.open(dir / "noindex.avi", f) == AviStatus::Ok;
        for (uint32_t k = 0; k < 3; ++k)
            ok = ok && WriteAviFrame(w, st, k, std::nullopt, 0) == AviStatus::Ok;
        ::_exit(ok && w.close() == AviStatus::WriteFailed && w.frameCount() == 3 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(std::filesystem::file_size(dir / "noindex.avi"), frames);
    auto noIndex = layoutOf(dir / "noindex.avi"); // its sizes and counts checked there
    EXPECT_EQ(noIndex["avih.dwFlags"], "0");
    EXPECT_EQ(noIndex["probe"], probeLine(64, 48, 5, 3, "rawvideo"));
    // A frame that no part can hold is refused with the empty chunks of its gap, and the
    // file stays whole.
    AviWriter writer;
    const std::vector<uint8_t> frame(3840);
    ASSERT_EQ(writer.open(dir / "full.avi", {42, 30, 7, AviCodec::Uncompressed, 0, AviWriter::kHeaderSize + 8 + 3840}),
              AviStatus::Ok);
    EXPECT_EQ(writer.writeFrame(2, frame), AviStatus::Full);
    EXPECT_EQ(writer.close(), AviStatus::Ok);
    EXPECT_EQ(writer.frameCount(), 0u);
    EXPECT_EQ(layoutOf(dir / "full.avi")["idx1.entries"], "0");
}

// Known frames written, then read by the documentation's reader and ffprobe: sizes that
// are not square (a swap shows), rates from 1 to 1000 frames per second (the period in
// microseconds, scale and rate), odd-sized Motion-JPEG frames (their chunks' pad byte),
// gaps (empty chunks), one AVI 1.0 part and OpenDML files of several parts.
struct LayoutCase {
    const char* name;
    int width, height, rate;
    AviCodec codec;
    std::vector<uint32_t> positions; // of the frames; the gaps get empty chunks
    uint64_t partSize = AviWriter::kSizeLimit;
    std::string parts = ""; // frames in each RIFF part ("": one part without OpenDML indexes)
    uint32_t suggested = 0;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class AviLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AviLayout, TheDocumentedReaderFindsTheFramesWritten)
{
    const LayoutCase& c = GetParam();
    const bool mjpeg = c.codec == AviCodec::Mjpeg;
    const std::string id = mjpeg ? "00dc " : "00db ";
    TempDir dir;
    AviWriter writer;
    ASSERT_EQ(writer.open(dir / "t.avi", {c.width, c.height, c.rate, c.codec, c.suggested, c.partSize}), AviStatus::Ok);
    std::vector<std::string> frames;
    for (uint32_t k : c.positions) {
        std::vector<uint8_t> frame(writer.frameBytes());
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = uint8_t(i * 7 + k * 13 + i / 251);
        if (mjpeg) { // a JPEG file and zeros after it, 1001 bytes in all
            std::vector<uint8_t> jpeg;
            ASSERT_EQ(jpeg::encode(frame.data(), c.width, c.height, c.width * 3, {}, jpeg), 0);
            ASSERT_LE(jpeg.size(), 1001u);
            (frame = std::move(jpeg)).resize(1001);
        }
        ASSERT_EQ(writer.writeFrame(k, frame), AviStatus::Ok);
        frames.resize(k, id + "0 0 0\n");
        const uLong crc = crc32(0, frame.data(), uInt(frame.size()));
        frames.push_back(id + std::to_string(frame.size()) + " 1 " + std::to_string(crc) + "\n");
    }
    ASSERT_EQ(writer.close(), AviStatus::Ok);

    auto got = layoutOf(dir / "t.avi");
    // Nothing more to compare when the reader refused the file.
    ASSERT_EQ(got["frames"], std::accumulate(frames.begin(), frames.end(), std::string()));
    const auto n = [](uint64_t v) { return std::to_string(v); };
    const std::string w = n(c.width), h = n(c.height), total = n(frames.size());
    const std::string first = c.parts.empty() ? total : c.parts.substr(0, c.parts.find(','));
    const uint64_t suggested = std::max<uint64_t>(c.suggested, mjpeg ? 1001 : writer.frameBytes());
    std::string riff = "AVI ";
    for (char ch : c.parts)
        riff += ch == ',' ? ",AVIX" : "";
    const std::map<std::string, std::string> expected{
        {"riff", riff}, {"avih.dwMicroSecPerFrame", n(1000000 / c.rate)},
        {"avih.dwMaxBytesPerSec", n(suggested * uint64_t(c.rate))}, {"avih.dwFlags", "16"},
        {"avih.dwTotalFrames", first}, {"avih.dwStreams", "1"}, {"avih.dwSuggestedBufferSize", n(suggested)},
        {"avih.dwWidth", w}, {"avih.dwHeight", h}, {"strh.fccHandler", mjpeg ? "MJPG" : "DIB "},
        {"strh.dwScale", "1"}, {"strh.dwRate", n(c.rate)}, {"strh.dwStart", "0"}, {"strh.dwLength", total},
        {"strh.dwSuggestedBufferSize", n(suggested)}, {"strh.rcFrame", "0,0," + w + "," + h},
        {"strf.biWidth", w}, {"strf.biHeight", h}, {"strf.biPlanes", "1"}, {"strf.biBitCount", "24"},
        {"strf.biCompression", mjpeg ? "MJPG" : "0"}, {"strf.biSizeImage", n((c.width * 3 + 3) / 4 * 4 * c.height)},
        {"idx1.entries", first}, {"ix00.entries", c.parts}, {"dmlh.dwTotalFrames", c.parts.empty() ? "" : total},
        {"indx.nEntriesInUse", c.parts.empty() ? "" : n((riff.size() + 1) / 5)}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(got[key], value) << key;
    // ffprobe counts the frames that hold data, not the empty chunks of the gaps.
    EXPECT_EQ(got["probe"], probeLine(c.width, c.height, c.rate, int(c.positions.size()),
                                      mjpeg ? "mjpeg" : "rawvideo"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, AviLayout,
    ::testing::Values(LayoutCase{"onePart", 42, 30, 7, AviCodec::Uncompressed, {0, 1, 2, 4, 5}, 1u << 30, "", 20000},
                      LayoutCase{"tall1000fps", 17, 64, 1000, AviCodec::Uncompressed, {0, 1, 2}},
                      LayoutCase{"mjpegOddSize", 24, 16, 25, AviCodec::Mjpeg, {0, 1, 2}},
                      // Parts of 16 KiB hold four frames of 3840 bytes with their index.
                      LayoutCase{"openDml", 42, 30, 1, AviCodec::Uncompressed, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 16384,
                                 "4,4,2"},
                      LayoutCase{"openDmlMjpegGap", 24, 16, 12, AviCodec::Mjpeg, {0, 1, 2, 3, 5, 6, 7, 8}, 4096,
                                 "3,4,2"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RecordCase {
    const char* name;
    std::vector<std::string> extra;
    const char* codec;
    const char* mode;
    std::vector<std::string> simExtra = {};
    int polls = 11;
    int frames = 0;   // 0: one per poll; fewer: the run fails, keeping that many
    std::string riff = "AVI "; // the forms of the file's RIFF parts
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class CliRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(CliRecord, FrameKIsTheDevicePictureAfterPollK)
{
    const RecordCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> simArgs{"--host", "127.0.0.1", "--port", "0", "--dump-dir", dir.path().string(),
                                     "--dump-numbered"};
    simArgs.insert(simArgs.end(), c.simExtra.begin(), c.simExtra.end());
    SimProcess sim(simArgs);
    const std::string out = (dir / "rec.avi").string();
    std::vector<std::string> cli{programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                 std::to_string(sim.tcpPort()), "--refresh", "12", "--timeout", "20",
                                 "record", (dir / "rec").string(), "--polls", std::to_string(c.polls)};
    cli.insert(cli.end(), c.extra.begin(), c.extra.end());
    ProcessResult r = runProcess(cli, std::chrono::seconds(120));
    const int frames = c.frames ? c.frames : c.polls;
    ASSERT_EQ(r.exitCode, frames == c.polls ? 0 : 1) << r.err;
    auto got = layoutOf(out);
    EXPECT_EQ(got["probe"], probeLine(240, 320, 12, frames, c.codec));
    EXPECT_EQ(got["riff"], c.riff);
    oracle({"dumps", out, dir.path().string(), c.mode});
}

INSTANTIATE_TEST_SUITE_P(Codecs, CliRecord,
                         ::testing::Values(RecordCase{"full", {}, "rawvideo", "exact"},
                                           // Dense one-pixel text: see the JPEG capture's threshold.
                                           RecordCase{"mjpeg", {"--mjpeg", "90"}, "mjpeg", "psnr:27"},
                                           // Every update from the third on is spoiled: the
                                           // zeroed picture of their refreshes is no frame.
                                           RecordCase{"updates_turn_bad", {}, "rawvideo", "exact",
                                                      {"--bad-crc", "3-200"}, 11, 2},
                                           // Parts of 1 MiB hold four frames each.
                                           RecordCase{"parts", {"--part-size", "1"}, "rawvideo", "exact", {}, 13, 0,
                                                      "AVI ,AVIX,AVIX,AVIX"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
