#include "dialogs/Dialogs.h"

namespace corvane {
namespace {
constexpr std::int16_t kValid = -1;  // true as a 16-bit value: all bits set
}

void InitialDialog::BeginShowing() {
  valid_ = 0;
}

OkResult InitialDialog::OK_Click(const std::string& number1, const NumberReader& reader) {
  const auto duration = reader.ToSingle(number1);
  if (!duration) return OkResult::Rejected;
  duration_ = *duration;
  valid_ = kValid;
  return OkResult::Accepted;
}

void InitialDialog::Cancel_Click() {}

void SampleDialog::BeginShowing() {
  valid_ = 0;
}

OkResult SampleDialog::OK_Click(const Texts& texts, const NumberReader& reader) {
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
  valid_ = kValid;
  return OkResult::Accepted;
}

void SampleDialog::Cancel_Click() {}

}  // namespace corvane
