#include "cli/commands.h"

#include <chrono>

#include "cli/command_list.h"
#include "cli/service.h"

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

int runCommand(const Options& options, Port& port, std::FILE* out, std::FILE* err) {
    port.setRs485(options.rs485);
    Link link(port, options.port, std::chrono::milliseconds(options.timeoutMs), options.verbose ? err : nullptr);
    link.setEchoMode(options.echo);
    Device device(link);
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
