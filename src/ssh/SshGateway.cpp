#include "ssh/SshGateway.h"

#include <charconv>

namespace sorvane {
namespace {

bool blankOrControl(char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }

std::string_view trimmed(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

} // namespace

std::string SshGateway::text() const
{
    // A host with a colon (an IPv6 address) is bracketed, so that the text reads back.
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port == kDefaultSshPort)
        return user + "@" + shown;
    return user + "@" + shown + ":" + std::to_string(port);
}

std::optional<SshGateway> ParseSshGateway(std::string_view text, std::string& error)
{
    text = trimmed(text);
    for (char c : text)
        if (blankOrControl(c)) {
            error = "The SSH gateway may not contain blanks or control characters";
            return std::nullopt;
        }
    // The user is everything before the last '@' (an account name may hold one).
    const size_t at = text.rfind('@');
    if (at == std::string_view::npos || at == 0) {
        error = "Give the SSH gateway as user@host or user@host:port";
        return std::nullopt;
    }
    SshGateway g;
    g.user = std::string(text.substr(0, at));
    std::string_view rest = text.substr(at + 1);
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            error = "The SSH gateway's address lacks its closing bracket";
            return std::nullopt;
        }
        g.host = std::string(rest.substr(1, close - 1));
        rest = rest.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                error = "Give the SSH gateway as user@host or user@host:port";
                return std::nullopt;
            }
            portText = rest.substr(1);
            if (portText.empty())
                portText = "x"; // "host:" names no port
        }
    } else {
        const size_t colon = rest.find(':');
        if (colon != std::string_view::npos && rest.find(':', colon + 1) != std::string_view::npos) {
            g.host = std::string(rest); // a bare IPv6 address: no port can follow it
        } else if (colon != std::string_view::npos) {
            g.host = std::string(rest.substr(0, colon));
            portText = rest.substr(colon + 1);
            if (portText.empty())
                portText = "x";
        } else {
            g.host = std::string(rest);
        }
    }
    if (g.host.empty()) {
        error = "Give the SSH gateway as user@host or user@host:port";
        return std::nullopt;
    }
    if (!portText.empty()) {
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535) {
            error = "The SSH gateway's port must be a number from 1 to 65535";
            return std::nullopt;
        }
        g.port = uint16_t(port);
    }
    return g;
}

std::string SshFailureText(const SshGateway& gateway, const SshReport& report, const std::string& knownHostsFile)
{
    const std::string name = gateway.text();
    const std::string hostPort =
        gateway.port == kDefaultSshPort ? gateway.host : "[" + gateway.host + "]:" + std::to_string(gateway.port);
    const std::string file = knownHostsFile.empty() ? std::string("~/.ssh/known_hosts") : knownHostsFile;
    const std::string more = report.detail.empty() ? std::string() : " (" + report.detail + ")";
    switch (report.failure) {
    case SshFailure::None: return {};
    case SshFailure::Unreachable: return "the SSH gateway " + name + " could not be reached" + more;
    case SshFailure::NotSsh: return "the SSH gateway " + name + " did not answer as an SSH server" + more;
    case SshFailure::HostKeyUnknown:
        return "the SSH gateway " + name + " is not known: its " + report.hostKey.type + " host key has fingerprint " +
               report.hostKey.fingerprint;
    case SshFailure::HostKeyChanged:
        return "the host key of the SSH gateway " + hostPort + " has changed (it now shows " + report.hostKey.type +
               " " + report.hostKey.fingerprint +
               "): someone may be intercepting the connection, or the gateway was given a new key. If its "
               "administrator confirms the new key, remove the old one with: ssh-keygen -R '" +
               hostPort + "' -f " + file;
    case SshFailure::AuthRefused: return "authentication refused by the SSH gateway " + name + more;
    case SshFailure::ChannelRefused: return "the SSH gateway " + name + " refused the channel to the device" + more;
    case SshFailure::TimedOut: return "the SSH gateway " + name + " did not complete the connection in time" + more;
    case SshFailure::Cancelled: return "the connection through the SSH gateway " + name + " was cancelled";
    }
    return {};
}

} // namespace sorvane
