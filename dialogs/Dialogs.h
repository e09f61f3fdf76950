// The values, conversion and validation of the two parameter dialogs, without their windows.
// One object of each belongs to the loaded module and keeps its values from one showing to the
// next. Each showing starts with the valid flag false: only an accepted OK makes it true, so a
// Cancel or the close box always cancels, even after an earlier accepted run.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/GuideSettings.h"
#include "dialogs/NumberReader.h"

namespace corvane {

inline constexpr const char* kPleaseEnterANumber = "Please enter a number";

// What a press of OK (Accept) leads to.
enum class OkResult {
  Accepted,  // the window closes
  Rejected,  // "Please enter a number" is shown and the window stays open
};

// "Initial Exposure": the duration of the full-frame exposure used to pick the guide stars.
class InitialExposureDialog {
 public:
  void BeginShowing();  // called each time the window is about to be shown
  OkResult Accept(const std::string& number1, const NumberReader& reader);  // OK
  void Cancel();  // Cancel, also the close box

  bool DataValid() const { return valid_; }
  float GetDuration() const { return duration_; }
  // The showing's answer: the duration when it was accepted, nothing when it was cancelled.
  std::optional<float> Answer() const;

 private:
  float duration_ = 0.0f;
  bool valid_ = false;
};

// "Guide star setup": GuideSettings, from the texts of its boxes Number1 to Number7.
class GuideSetupDialog {
 public:
  // The boxes' texts, each named by the value it holds: Number1 holds NumberStars, Number2 MinSN,
  // Number3 MinStars, Number4 Duration, Number5 MinMove, Number6 MaxMove, Number7 Border.
  struct Texts {
    std::string NumberStars, MinSN, MinStars, Duration, MinMove, MaxMove, Border;

    static constexpr int kBoxes = 7;
    // The text of box Number<number>, for code that goes over the boxes (1 to 7).
    std::string& Box(int number);
    const std::string& Box(int number) const;
  };

  void BeginShowing();
  OkResult Accept(const Texts& texts, const NumberReader& reader);  // OK
  void Cancel();                                                    // Cancel, also the close box

  bool DataValid() const { return valid_; }
  std::optional<GuideSettings> Answer() const;
  std::int16_t GetNumberStars() const { return settings_.NumberStars; }
  float GetMinSN() const { return settings_.MinSN; }
  std::int16_t GetMinStars() const { return settings_.MinStars; }
  float GetDuration() const { return settings_.Duration; }
  float GetMinMove() const { return settings_.MinMove; }
  float GetMaxMove() const { return settings_.MaxMove; }
  std::int16_t GetBorder() const { return settings_.Border; }

 private:
  GuideSettings settings_;
  bool valid_ = false;
};

// The two dialog objects of the loaded module.
struct ModuleDialogs {
  InitialExposureDialog InitialExposure;
  GuideSetupDialog GuideSetup;
};

}  // namespace corvane
