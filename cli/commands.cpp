#include "cli/commands.h"

#include <algorithm>
#include <chrono>

#include "cli/command_list.h"
#include "cli/service.h"
#include "serial/net/modbus_tcp_port.h"
#include "serial/net/rfc2217_port.h"

namespace {

struct CommandEntry {
    Command command;
    int (*run)(Session& session);
};

constexpr CommandEntry kCommandTable[] = {
    {Command::Ports, portsCommand},           {Command::Detect, detectCommand}, {Command::Read, readCommand},
    {Command::Watch, watchCommand},           {Command::Get, getCommand},       {Command::Set, setCommand},
    {Command::Commission, commissionCommand}, {Command::Scan, scanCommand},
};

} // namespace

NamedPort portFor(const Options& options) {
    NamedPort named;
    NetworkEndpoint endpoint;
    if (!parseNetworkPortName(options.port, endpoint)) {
        auto local = std::make_unique<SerialPort>();
        local->setRs485(options.rs485);
        named.local = local.get();
        named.port = std::move(local);
        return named;
    }
    const auto openTimeout =
        std::max(std::chrono::milliseconds(kNetworkOpenTimeoutMs), std::chrono::milliseconds(options.timeoutMs));
    switch (endpoint.scheme) {
    case NetworkScheme::Rfc2217: named.port = std::make_unique<Rfc2217Port>(openTimeout); break;
    case NetworkScheme::Tcp: named.port = std::make_unique<TcpPort>(openTimeout); break;
    case NetworkScheme::ModbusTcp: named.port = std::make_unique<ModbusTcpPort>(openTimeout); break;
    }
    return named;
}

int runCommand(const Options& options, NamedPort& port, std::FILE* out, std::FILE* err) {
    Link link(*port.port, options.port, std::chrono::milliseconds(options.timeoutMs), options.verbose ? err : nullptr);
    if (port.local != nullptr) link.setLocal(*port.local);
    link.setEchoMode(options.echo);
    Device device(link);
    if (NetworkEndpoint endpoint; parseNetworkPortName(options.port, endpoint) && rateIsTheServers(endpoint.scheme))
        device.setFixedRate(std::uint32_t(options.baud.value_or(0)), endpoint.scheme == NetworkScheme::ModbusTcp);
    Session session{options, link, device, Report(options.json, link, device, out, err)};
    session.report.markPriorities(err == stderr && stderrIsJournal());
    for (const CommandEntry& entry : kCommandTable) {
        if (entry.command != options.command) continue;
        const int status = entry.run(session);
        session.report.endWith(status);
        return status;
    }
    return int(Status::Usage);
}
