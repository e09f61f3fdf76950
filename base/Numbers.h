// The run's number conversions and checked arithmetic. Every operation checks its result
// explicitly instead of relying on floating-point traps: a finite value divided by zero is
// "Division by zero"; 0/0, an infinite or NaN result and a value beyond the target's range are
// "Overflow".
#pragma once

#include <cstdint>

namespace corvane {

// To the nearest integer, a half to the even neighbour; Overflow outside the type's range.
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

// To the nearest 32-bit float; Overflow beyond the float range (or for an infinite or NaN value).
float ToSingle(double value);

// 16-bit counter arithmetic, Overflow outside -32768..32767.
std::int16_t Add16(std::int16_t a, std::int16_t b);
std::int16_t Subtract16(std::int16_t a, std::int16_t b);

// Double arithmetic with the result checked.
double Add(double a, double b);
double Subtract(double a, double b);
double Multiply(double a, double b);
double Divide(double a, double b);

// 32-bit float arithmetic: the operation in float, the result checked.
float AddSingle(float a, float b);
float SubtractSingle(float a, float b);
float DivideSingle(float a, float b);

// Degrees to radians as the host's guider values are taken: divided by 180 first, then
// multiplied by 3.1415926535.
inline constexpr double kPi = 3.1415926535;
double DegreesToRadians(double degrees);

}  // namespace corvane
