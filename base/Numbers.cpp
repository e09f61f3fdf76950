#include "base/Numbers.h"

#include <cmath>
#include <limits>

#include "base/RunFailure.h"

namespace corvane {
namespace {

double Checked(double result) {
  if (!std::isfinite(result)) RaiseOverflow();
  return result;
}

float CheckedSingle(float result) {
  if (!std::isfinite(result)) RaiseOverflow();
  return result;
}

// Half to even, independent of the current rounding mode.
double RoundHalfEven(double value) {
  const double down = std::floor(value);
  const double fraction = value - down;
  if (fraction > 0.5) return down + 1.0;
  if (fraction < 0.5) return down;
  return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

}  // namespace

std::int16_t ToInt16(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  const double rounded = RoundHalfEven(value);
  if (rounded < -32768.0 || rounded > 32767.0) RaiseOverflow();
  return static_cast<std::int16_t>(rounded);
}

std::int32_t ToInt32(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  const double rounded = RoundHalfEven(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) RaiseOverflow();
  return static_cast<std::int32_t>(rounded);
}

float ToSingle(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  // Beyond the largest float (after rounding) the conversion gives infinity.
  return CheckedSingle(static_cast<float>(value));
}

std::int16_t Add16(std::int16_t a, std::int16_t b) {
  const int sum = a + b;
  if (sum < -32768 || sum > 32767) RaiseOverflow();
  return static_cast<std::int16_t>(sum);
}

std::int16_t Subtract16(std::int16_t a, std::int16_t b) {
  const int difference = a - b;
  if (difference < -32768 || difference > 32767) RaiseOverflow();
  return static_cast<std::int16_t>(difference);
}

double Add(double a, double b) {
  return Checked(a + b);
}
double Subtract(double a, double b) {
  return Checked(a - b);
}
double Multiply(double a, double b) {
  return Checked(a * b);
}

double Divide(double a, double b) {
  if (b == 0.0) {
    if (a == 0.0 || std::isnan(a)) RaiseOverflow();
    RaiseDivisionByZero();
  }
  return Checked(a / b);
}

float AddSingle(float a, float b) {
  return CheckedSingle(a + b);
}
float SubtractSingle(float a, float b) {
  return CheckedSingle(a - b);
}

float DivideSingle(float a, float b) {
  if (b == 0.0f) {
    if (a == 0.0f || std::isnan(a)) RaiseOverflow();
    RaiseDivisionByZero();
  }
  return CheckedSingle(a / b);
}

double DegreesToRadians(double degrees) {
  return Multiply(Divide(degrees, 180.0), kPi);
}

}  // namespace corvane
