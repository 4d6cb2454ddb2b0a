#pragma once
// Start-up timing for the benchmark: when VENTORA_STARTUP_PROBE is set in the
// environment, "shown" is printed on stdout as soon as the main dialog is
// shown, and the dialog is then closed, which ends the program. Without the
// variable nothing changes.
void installStartupProbe();
