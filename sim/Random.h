// The model's random numbers: every part draws from its own generator, seeded from the run's seed
// and a stream number, so that one part's draws never shift another's.
#pragma once

#include <cstdint>
#include <random>

namespace corvane::sim {

inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  std::uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline double Normal(std::mt19937_64& rng, double sigma) {
  return std::normal_distribution<double>(0.0, 1.0)(rng) * sigma;
}

inline double Uniform(std::mt19937_64& rng, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(rng);
}

}  // namespace corvane::sim
