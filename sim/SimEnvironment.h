// A guiding run's surroundings in virtual time: the scripted user answers the dialogs through the
// real dialog models, message boxes are recorded and dismissed, the 100 ms sleeps and the waits
// for input advance the observatory's clock, and camera event 15 reaches the plug-in nested in a
// pass over the host's messages, as the real host delivers it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dialogs/Dialogs.h"
#include "guiding/RunEnvironment.h"
#include "plugin/PlugInCore.h"
#include "sim/Observatory.h"

namespace corvane::sim {

// What the scripted user types. Each list holds the attempts in order: when OK is refused with
// "Please enter a number" the next attempt is typed; after the last one the user cancels. An
// empty list cancels at once.
struct DialogScript {
  std::vector<std::string> initialExposure = {"2"};
  std::vector<GuideSetupDialog::Texts> guideSetup = {{"5", "3", "4", "2", "0.01", "2.00", "15"}};
};

// The guide log in memory, optionally also written to a file.
class MemoryGuideLog final : public GuideLogFile {
 public:
  MemoryGuideLog(std::string& bytes, std::string filePath);
  void Write(std::string_view bytes) override;
  void Flush() override;
  void Close() override;

 private:
  std::string& bytes_;
  std::string filePath_;
  std::size_t flushed_ = 0;
  bool open_ = true;
};

class SimEnvironment final : public RunEnvironment {
 public:
  SimEnvironment(Observatory& observatory, DialogScript script, std::string logFilePath = {});

  // The plug-in to which camera events are delivered.
  void SetPlugIn(PlugInCore* plugIn) { plugIn_ = plugIn; }

  // The scripted user types the script's texts into the simulated module's dialogs.
  std::optional<float> AskInitialExposure() override;
  std::optional<GuideSettings> AskGuideSettings() override;
  void ShowMessage(const std::string& text) override;
  void LetHostRun() override;
  void Sleep100ms() override;
  void WaitForInput() override;
  std::int64_t Milliseconds() override;
  std::unique_ptr<GuideLogFile> CreateGuideLog() override;

  const std::vector<std::string>& Messages() const { return messages_; }
  const std::string& LogBytes() const { return log_; }
  int LogsCreated() const { return logsCreated_; }

 private:
  Observatory& observatory_;
  DialogScript script_;
  std::string logFilePath_;
  PlugInCore* plugIn_ = nullptr;
  PlainNumberReader reader_;
  ModuleDialogs dialogs_;  // the simulated module's dialogs
  std::vector<std::string> messages_;
  std::string log_;
  int logsCreated_ = 0;
};

}  // namespace corvane::sim
