// Where ventora-cli is not built, its section says so in one row.

#include <optional>

#include "bench/bench_support.h"
#include "bench/figures.h"

void cliFigures(bool) { row("CLI", "not built with ventora-cli: skipped", "-", std::nullopt); }
void cliServiceFigures(bool) { row("Service", "not built with ventora-cli: skipped", "-", std::nullopt); }
void cliMqttFigures(bool) {}
