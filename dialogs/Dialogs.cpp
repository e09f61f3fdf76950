#include "dialogs/Dialogs.h"

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

OkResult GuideSetupDialog::Accept(const Texts& texts, const NumberReader& reader,
                                  bool predictPeriodicError) {
  // Each field is stored as soon as its text converts: a failure part-way leaves the fields
  // before it holding the new values and the rest their old ones.
  auto store16 = [&](std::size_t index, std::int16_t& field) {
    const auto value = reader.ToInt16(texts[index]);
    if (value) field = *value;
    return value.has_value();
  };
  auto storeSingle = [&](std::size_t index, float& field) {
    const auto value = reader.ToSingle(texts[index]);
    if (value) field = *value;
    return value.has_value();
  };
  const bool converted = store16(0, settings_.NumberStars) && storeSingle(1, settings_.MinSN) &&
                         store16(2, settings_.MinStars) && storeSingle(3, settings_.Duration) &&
                         storeSingle(4, settings_.MinMove) && storeSingle(5, settings_.MaxMove) &&
                         store16(6, settings_.Border);
  if (!converted) return OkResult::Rejected;
  if (settings_.NumberStars < 1 || settings_.NumberStars > 10 || settings_.MinStars < 1) {
    return OkResult::Rejected;
  }
  settings_.PredictPeriodicError = predictPeriodicError;
  valid_ = true;
  return OkResult::Accepted;
}

void GuideSetupDialog::Cancel() {}

std::optional<GuideSettings> GuideSetupDialog::Answer() const {
  if (!valid_) return std::nullopt;
  return settings_;
}

}  // namespace corvane
