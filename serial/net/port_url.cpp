#include "serial/net/port_url.h"

#include <cctype>
#include <charconv>

namespace {

struct SchemeName {
    const char* prefix;
    NetworkScheme scheme;
    std::uint16_t defaultPort; // 0: the port must be given
};

constexpr SchemeName kSchemes[] = {
    {"rfc2217://", NetworkScheme::Rfc2217, 0},
    {"tcp://", NetworkScheme::Tcp, 0},
    {"modbus-tcp://", NetworkScheme::ModbusTcp, 502},
};

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool parsePort(const std::string& text, std::uint16_t& port) {
    unsigned value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last || value == 0 || value > 65535) return false;
    port = std::uint16_t(value);
    return true;
}

} // namespace

bool isNetworkPortName(const std::string& name) { return name.find("://") != std::string::npos; }

bool parseNetworkPortName(const std::string& name, NetworkEndpoint& endpoint) {
    const SchemeName* scheme = nullptr;
    for (const SchemeName& s : kSchemes)
        if (startsWithNoCase(name, s.prefix)) scheme = &s;
    if (scheme == nullptr) return false;
    const std::string rest = name.substr(std::string(scheme->prefix).size());
    if (rest.empty()) return false;
    // The port follows the last colon, unless that colon is inside an IPv6 address's brackets.
    std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.front() == '[' && rest.find(']') > colon) colon = std::string::npos;
    std::string host = rest.substr(0, colon);
    std::uint16_t port = scheme->defaultPort;
    if (colon != std::string::npos ? !parsePort(rest.substr(colon + 1), port) : port == 0) return false;
    if (host.empty()) return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":/[]@ ") != std::string::npos) {
        return false;
    }
    endpoint.scheme = scheme->scheme;
    endpoint.host = host;
    endpoint.port = port;
    return true;
}

std::string hostAndPort(const std::string& host, std::uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
