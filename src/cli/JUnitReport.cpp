#include "cli/JUnitReport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegularFile.h"
#include "platform/Utf8Text.h"
#include "platform/Windows1252.h"

namespace sorvane::cli {
namespace {

// Text made safe for an attribute value or element content.
std::string xmlText(std::string_view raw)
{
    const std::string text = EscapeText(raw); // well-formed UTF-8, no control characters
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t at = i;
        bool bad = false;
        const char32_t c = NextUtf8(text, i, bad);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break; // "]]>" may not stand in content
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case 0xFFFE: out += "\\ufffe"; break;
        case 0xFFFF: out += "\\uffff"; break;
        default: out.append(text, at, i - at);
        }
    }
    return out;
}

void count(std::string& out, const char* name, size_t n) { out += std::string(" ") + name + "=\"" + std::to_string(n) + "\""; }

} // namespace

std::string JUnitXml(std::span<const JUnitSuite> suites)
{
    size_t tests = 0, failures = 0;
    std::string body;
    for (const JUnitSuite& suite : suites) {
        size_t failed = 0;
        std::string cases;
        const std::string classname = xmlText(suite.name);
        for (const JUnitCase& c : suite.cases) {
            cases += "    <testcase name=\"" + xmlText(c.name) + "\" classname=\"" + classname + "\"";
            if (!c.failed) {
                cases += "/>\n";
                continue;
            }
            ++failed;
            cases += ">\n      <failure message=\"" + xmlText(c.message) + "\">";
            for (size_t i = 0; i < c.details.size(); ++i)
                cases += (i ? "\n" : "") + xmlText(c.details[i]);
            cases += "</failure>\n    </testcase>\n";
        }
        body += "  <testsuite name=\"" + classname + "\"";
        count(body, "tests", suite.cases.size());
        count(body, "failures", failed);
        body += ">\n" + cases + "  </testsuite>\n";
        tests += suite.cases.size();
        failures += failed;
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites";
    count(out, "tests", tests);
    count(out, "failures", failures);
    return out + ">\n" + body + "</testsuites>\n";
}

bool WriteJUnitFile(const std::string& path, std::span<const JUnitSuite> suites, std::string& error)
{
    const std::string xml = JUnitXml(suites);
    std::string temp = path + ".part-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // mkostemp makes the file private; a report is as readable as any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, xml.data(), xml.size()) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok)
        ok = false, err = errno;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false, err = errno;
    if (ok)
        return true;
    error = "cannot write " + path + ": " + std::strerror(err);
    ::unlink(temp.c_str());
    return false;
}

} // namespace sorvane::cli
