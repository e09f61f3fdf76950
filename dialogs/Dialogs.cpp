#include "dialogs/Dialogs.h"

#include <stdexcept>
#include <utility>

namespace corvane {

void InitialExposureDialog::BeginShowing() {
  valid_ = false;
}

OkResult InitialExposureDialog::Accept(const std::string& number1, const NumberReader& reader) {
  const auto duration = reader.ToSingle(number1);
  if (!duration) return OkResult::Rejected;
  duration_ = *duration;
  valid_ = true;
  return OkResult::Accepted;
}

void InitialExposureDialog::Cancel() {}

std::optional<float> InitialExposureDialog::Answer() const {
  if (!valid_) return std::nullopt;
  return duration_;
}

void GuideSetupDialog::BeginShowing() {
  valid_ = false;
}

std::string& GuideSetupDialog::Texts::Box(int number) {
  return const_cast<std::string&>(std::as_const(*this).Box(number));
}

const std::string& GuideSetupDialog::Texts::Box(int number) const {
  switch (number) {
    case 1:
      return NumberStars;
    case 2:
      return MinSN;
    case 3:
      return MinStars;
    case 4:
      return Duration;
    case 5:
      return MinMove;
    case 6:
      return MaxMove;
    case 7:
      return Border;
  }
  throw std::out_of_range("Guide star setup has no box Number" + std::to_string(number));
}

OkResult GuideSetupDialog::Accept(const Texts& texts, const NumberReader& reader) {
  // Each field is stored as soon as its text converts: a failure part-way leaves the fields
  // before it holding the new values and the rest their old ones.
  auto store16 = [&](const std::string& text, std::int16_t& field) {
    const auto value = reader.ToInt16(text);
    if (value) field = *value;
    return value.has_value();
  };
  auto storeSingle = [&](const std::string& text, float& field) {
    const auto value = reader.ToSingle(text);
    if (value) field = *value;
    return value.has_value();
  };
  const bool converted =
      store16(texts.NumberStars, settings_.NumberStars) &&
      storeSingle(texts.MinSN, settings_.MinSN) && store16(texts.MinStars, settings_.MinStars) &&
      storeSingle(texts.Duration, settings_.Duration) &&
      storeSingle(texts.MinMove, settings_.MinMove) &&
      storeSingle(texts.MaxMove, settings_.MaxMove) && store16(texts.Border, settings_.Border);
  if (!converted) return OkResult::Rejected;
  if (settings_.NumberStars < 1 || settings_.NumberStars > 10 || settings_.MinStars < 1) {
    return OkResult::Rejected;
  }
  valid_ = true;
  return OkResult::Accepted;
}

void GuideSetupDialog::Cancel() {}

std::optional<GuideSettings> GuideSetupDialog::Answer() const {
  if (!valid_) return std::nullopt;
  return settings_;
}

}  // namespace corvane
