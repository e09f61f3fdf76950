// The command-line options shared by corvane-sim and corvane-observatory.exe: the sky, the mount,
// the settings typed into the dialogs, the scripted events and where the results go.
#pragma once

#include <string>
#include <vector>

#include "sim/run/Simulation.h"

namespace corvane::sim {

struct CliOptions {
  SimulationSettings simulation;
  int cycles = 100;  // a scripted event 15 stops the run after this many cycles (0: none)
  std::string outputDir = "out/sim";
  bool unguided = true;  // also run the unguided comparison
  bool measure = false;  // corvane-sim: print the figures instead of one run
  bool help = false;
};

// Parses argv[1..]; false with a message in error on a bad option.
bool ParseOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);
std::string OptionsHelp();

}  // namespace corvane::sim
