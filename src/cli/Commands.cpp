#include "cli/Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Utf8Text.h"

namespace sorvane::cli {

int fail(const std::string& reason)
{
    std::fprintf(stderr, "sorvane-cli: %s\n", EscapeText(reason).c_str());
    return 1;
}

int usage(const std::string& reason)
{
    std::fprintf(stderr, "sorvane-cli: %s\n", EscapeText(reason).c_str());
    return 2;
}

int FlushedOutput(int status)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    const int err = errno;
    std::fprintf(stderr, "sorvane-cli: cannot write standard output%s%s\n", err ? ": " : "",
                 err ? std::strerror(err) : "");
    return status == 0 ? 1 : status;
}

namespace {

const CliCommand kCommands[] = {
    {"info", "info",
     "the device facts, one \"name: value\" line each (depth, width, height, orientation,\n"
     "      altDepth, altWidth, altHeight, altOrientation, name)",
     0, runInfo},
    {"capture", "capture OUT [--polls N] [--display main|second] [--low-color] [--tap X,Y]\n"
     "      [--drag X1,Y1,X2,Y2] [--type TEXT] [--key CODE]",
     "send the input options in order (taps, a drag, typed text with Shift as a US keyboard\n"
     "      needs it, a virtual key by code) as one queued message, then poll N updates (default:\n"
     "      until an update with an empty payload) and write the picture as shown (no rotation or\n"
     "      scale); OUT's extension chooses the format: .ppm (binary P6), .bmp (the picture's own\n"
     "      depth), .gif (8 bits), .jpg (24 bits) or .png",
     -1, runCapture},
    {"ls", "ls DEVFOLDER",
     "one line per entry of the device folder (\\ is the root), tab-separated: d or -, size\n"
     "      in bytes, the device's date value, the name (escaped); folders first, then by name\n"
     "      ignoring case; entries whose name the reply lacks are counted on standard error.\n"
     "      Names are typed and shown in UTF-8 and go to the device in Windows-1252",
     1, runLs},
    {"get", "get DEVPATH LOCALPATH",
     "copy one device file to the PC (into LOCALPATH, or under its own name when LOCALPATH\n"
     "      is a folder); an existing file is replaced only once the copy is complete",
     2, runGet},
    {"put", "put LOCALPATH... DEVFOLDER",
     "copy PC files into a device folder under their own names; nothing is sent unless the\n"
     "      device can hold every name as given (Windows-1252, none of \\ / : * ? \" < > | or control\n"
     "      characters, not . or .., not ending in . or a space)",
     -1, runPut},
    {"rm", "rm DEVPATH", "delete a device file or empty folder", 1, runRm},
    {"mv", "mv DEVPATH NEWNAME", "give a device file a new name in the same folder", 2, runMv},
    {"run", "run DEVPATH", "ask the device to run a program (it does not answer)", 1, runRun},
    {"status", "status",
     "the Device Information lines, \"label: value\" each: Device ID, Video Size, Video Bit Depth,\n"
     "      Primary and Backup Battery Level, Operating System, CPU, Program Memory Total / In Use /\n"
     "      Free, Storage Memory Total / In Use / Free, Memory Utilization",
     0, runStatus},
    {"ps", "ps",
     "the device's processes, one line each, tab-separated: process id, window handle (0x%08X),\n"
     "      name, window title (\"<none>\" without a window); at most 256 (a note on standard error\n"
     "      says when the device reported more). Device text is printed escaped: control bytes,\n"
     "      0x7F and the backslash as \\n \\t \\\\ or \\xhh, bytes from 0x80 as Windows-1252",
     0, runProcesses},
    {"kill", "kill PID", "end the process PID (as ps prints it); exits 0 once sent", 1, runKill},
    {"activate", "activate HANDLE",
     "bring the window HANDLE to the front (as ps prints it, 0x...); exits 0 once sent", 1, runActivate},
    {"paste", "paste TEXT",
     "put TEXT into the device clipboard, as Windows-1252 with CR LF line ends (characters\n"
     "      the code page lacks are sent as '?', and counted on standard error); exits 0 once sent",
     1, runPaste},
    {"reset", "reset", "soft-reset the device; exits 0 once sent", 0, runReset},
    {"suspend", "suspend", "suspend the device; exits 0 once sent", 0, runSuspend},
    {"clip", "clip",
     "write the device clipboard's text to standard output as UTF-8, as it is (read as\n"
     "      Windows-1252, trailing NULs dropped; more than 1 MiB is refused)",
     0, runClip},
    {"type", "type [--via-clipboard] TEXT",
     "type TEXT on the device's keyboard (US layout: letters, digits, space, punctuation, Enter,\n"
     "      Tab, Backspace); a character without a key is reported and nothing is sent, or with\n"
     "      --via-clipboard set as the device's clipboard text (Windows-1252) and pasted with Ctrl+V",
     -1, runType},
    {"record", "record OUT.avi --polls N [--mjpeg QUALITY] [--part-size MIB]",
     "record N screen polls as AVI video at the refresh rate, one frame per poll: full\n"
     "      24-bit frames, or Motion JPEG at QUALITY 1..100; \".avi\" is added to a name\n"
     "      without it; past --part-size (1024 MiB) the file goes on in further parts;\n"
     "      --timeout bounds each wait for the device, not the recording",
     -1, runRecord},
    {"play", "play SCRIPT.txt [--log FILE]",
     "replay one script file once, with its pauses; --log appends its results log to FILE;\n"
     "      exit 1 when the file loads no event or one of its checks fails",
     -1, runPlay},
    {"scenario", "scenario NAME [--script-dir DIR]",
     "run a stored scenario (DIR/NAME.bin; default: the program's RECORDED_DATA) to its end,\n"
     "      writing its results log when it has one; exit 1 when one of its files did not load\n"
     "      or one of its checks failed",
     -1, runScenario},
    {"test", "test SCRIPT... [--junit FILE] [--artifacts DIR]",
     "play each script once as one test case (as play does) and print \"PASS NAME\" or\n"
     "      \"FAIL NAME: REASON\" for it; a case fails when its script does not load (REASON\n"
     "      names the line) or one of its checks fails (\"line N KEYWORD what failed\").\n"
     "      --junit writes the results as JUnit XML to FILE (one testsuite named after the\n"
     "      device, one testcase per script); --artifacts puts the pictures of failed checks\n"
     "      into DIR (default: beside the script); exit 1 when any case failed",
     -1, runTest},
};

} // namespace

std::span<const CliCommand> commandTable() { return kCommands; }

const CliCommand* findCommand(const std::string& name)
{
    for (const CliCommand& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

} // namespace sorvane::cli
