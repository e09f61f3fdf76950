// The values, conversion and validation of the two parameter dialogs, without their windows.
// One object of each belongs to the loaded module and keeps its values from one showing to the
// next. Each showing starts with the valid flag false: only an accepted OK makes it true, so a
// Cancel or the close box always cancels, even after an earlier accepted run.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dialogs/GuideSettings.h"
#include "dialogs/NumberReader.h"

namespace corvane {

inline constexpr const char* kPleaseEnterANumber = "Please enter a number";

// What a press of OK leads to.
enum class OkResult {
  Accepted,  // the window closes
  Rejected,  // "Please enter a number" is shown and the window stays open
};

// "Initial Exposure": the duration of the full-frame exposure used to pick the guide stars.
class InitialDialog {
 public:
  void BeginShowing();  // called each time the window is about to be shown
  OkResult OK_Click(const std::string& number1, const NumberReader& reader);
  void Cancel_Click();  // also the close box

  std::int16_t DataValid() const { return valid_; }
  float GetDuration() const { return duration_; }

 private:
  float duration_ = 0.0f;
  std::int16_t valid_ = 0;
};

// "Guide star setup": GuideSettings. The texts are Number1..Number7 in that order.
class SampleDialog {
 public:
  using Texts = std::array<std::string, 7>;

  void BeginShowing();
  OkResult OK_Click(const Texts& texts, const NumberReader& reader);
  void Cancel_Click();

  std::int16_t DataValid() const { return valid_; }
  std::int16_t GetNumberStars() const { return settings_.NumberStars; }
  float GetMinSN() const { return settings_.MinSN; }
  std::int16_t GetMinStars() const { return settings_.MinStars; }
  float GetDuration() const { return settings_.Duration; }
  float GetMinMove() const { return settings_.MinMove; }
  float GetMaxMove() const { return settings_.MaxMove; }
  std::int16_t GetBorder() const { return settings_.Border; }

 private:
  GuideSettings settings_;
  std::int16_t valid_ = 0;
};

// The two dialog objects of the loaded module.
struct ModuleDialogs {
  InitialDialog Initial;
  SampleDialog Sample;
};

}  // namespace corvane
