#include "logtools/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <unsupported/Eigen/FFT>

namespace corvane::logtools {

Spectrum RaMotionSpectrum(const guidelog::LogRun& run, const RunSettings& settings,
                          const RunFigures& figures, int points) {
  Spectrum spectrum;
  if (!figures.fit.available || !figures.axes || run.rows.size() < 2) return spectrum;
  std::vector<double> time = CycleTimes(run, settings);
  spectrum.inSeconds = !time.empty();
  if (time.empty()) {
    for (std::size_t i = 0; i < run.rows.size(); ++i) time.push_back(static_cast<double>(i));
  }
  // The motion without the pulses: each guided cycle's offset less what the pulses issued before
  // it moved the stars (a lost cycle issues none).
  const std::vector<CycleUse> uses = CycleUses(run, settings);
  const auto& b = figures.fit.b;
  std::vector<double> t, ra;
  double cumX = 0.0, cumY = 0.0;
  for (std::size_t i = 0; i < run.rows.size(); ++i) {
    if (uses[i] != CycleUse::Guided) continue;
    const guidelog::LogRow& r = run.rows[i];
    const double ux = r.xoff - b[0][0] * cumX - b[0][1] * cumY;
    const double uy = r.yoff - b[1][0] * cumX - b[1][1] * cumY;
    t.push_back(time[i]);
    ra.push_back(InMountAxes(ux, uy, *figures.axes).first);
    cumX += r.xtim;
    cumY += r.ytim;
  }
  if (t.size() < 32) return spectrum;
  // Even samples at the run's mean cycle, between the guided ones.
  const double span = t.back() - t.front();
  const double step = (time.back() - time.front()) / static_cast<double>(time.size() - 1);
  if (!(span > 0.0) || !(step > 0.0)) return spectrum;
  const auto n = static_cast<std::size_t>(std::floor(span / step)) + 1;
  std::vector<double> even(n);
  std::size_t k = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const double at = t.front() + static_cast<double>(j) * step;
    while (k + 2 < t.size() && t[k + 1] < at) ++k;
    const double f = std::clamp((at - t[k]) / (t[k + 1] - t[k]), 0.0, 1.0);
    even[j] = ra[k] + f * (ra[k + 1] - ra[k]);
  }
  // The drift line out, a Hann window on, zeros up to a power of two.
  double sj = 0.0, sv = 0.0, sjj = 0.0, sjv = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    const double x = static_cast<double>(j);
    sj += x;
    sv += even[j];
    sjj += x * x;
    sjv += x * even[j];
  }
  const double count = static_cast<double>(n);
  const double slope = (count * sjv - sj * sv) / std::max(count * sjj - sj * sj, 1e-300);
  const double offset = (sv - slope * sj) / count;
  std::size_t size = 1;
  while (size < n) size *= 2;
  std::vector<double> samples(size, 0.0);
  double weights = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    const double w =
        0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(j) / (count - 1.0));
    weights += w;
    samples[j] = w * (even[j] - offset - slope * static_cast<double>(j));
  }
  std::vector<std::complex<double>> bins;
  Eigen::FFT<double> fft;
  fft.fwd(bins, samples);
  // Periods from three cycles to half the run, each share of a logarithmic scale by its strongest.
  const double shortest = 3.0 * step, longest = span / 2.0;
  if (!(longest > shortest) || points < 1) return spectrum;
  const double ratio = std::log(longest / shortest) / points;
  int last = -1;
  for (std::size_t f = size / 2; f >= 1; --f) {
    const double period = static_cast<double>(size) * step / static_cast<double>(f);
    if (period < shortest) continue;
    if (period > longest) break;
    const double amplitude = 2.0 * std::abs(bins[f]) / weights;
    const int share = std::min(points - 1, static_cast<int>(std::log(period / shortest) / ratio));
    if (share != last) {
      spectrum.period.push_back(period);
      spectrum.amplitude.push_back(amplitude);
      last = share;
    } else if (amplitude > spectrum.amplitude.back()) {
      spectrum.period.back() = period;
      spectrum.amplitude.back() = amplitude;
    }
  }
  return spectrum;
}

}  // namespace corvane::logtools
