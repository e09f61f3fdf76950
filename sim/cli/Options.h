// The command-line options shared by corvane-sim and corvane-observatory.exe: the sky, the mount,
// the settings typed into the dialogs, the scripted events and where the results go. Each program
// adds them to its own CLI11 command line, then its own options beside them.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "sim/run/Simulation.h"

namespace corvane::sim {

struct CliOptions {
  SimulationSettings simulation;
  int cycles = 100;  // a scripted event 15 stops the run after this many cycles (0: none)
  std::string outputDir = "out/sim";
  bool unguided = true;  // also run the unguided comparison
};

// The simulator's options on `app`, read into `options`. After app.parse(), Finish() adds what
// the options imply: the stop after --cycles, and a miscalibrated host where one was asked for.
class SimulatorOptions {
 public:
  SimulatorOptions(CLI::App& app, CliOptions& options);
  SimulatorOptions(const SimulatorOptions&) = delete;
  SimulatorOptions& operator=(const SimulatorOptions&) = delete;

  void Finish();

 private:
  CliOptions& options_;
  std::vector<ScriptedEvent> events_;
  bool noUnguided_ = false;
  bool wrongReverse_ = false;
  CLI::Option* wrongDec_ = nullptr;
  double wrongDecDeg_ = 0.0;
  int outputEnables_ = 15;
};

// Prints what a parse error asks for (the help, or the error) and gives the exit status: 0 for
// --help, 2 for a command line that cannot be read.
int ExitStatus(const CLI::App& app, const CLI::ParseError& error);

// The simulator's options alone (tests, the figures of corvane-sim --measure): false with the
// reason in `error` when an argument cannot be read.
bool ParseOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

}  // namespace corvane::sim
