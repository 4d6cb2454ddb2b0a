#pragma once
// The commands of ventora-cli, one function each over the session; each
// returns the exit status. runCommand picks one from its table.

#include "cli/session.h"

int portsCommand(Session& session);
int detectCommand(Session& session);
int readCommand(Session& session);
int getCommand(Session& session);
int setCommand(Session& session);
int watchCommand(Session& session);      // watch.cpp
int scanCommand(Session& session);       // scan.cpp
int commissionCommand(Session& session); // commission.cpp
