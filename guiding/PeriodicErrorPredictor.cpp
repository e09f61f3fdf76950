#include "guiding/PeriodicErrorPredictor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <Eigen/Dense>

namespace corvane {
namespace {

constexpr std::size_t kWindow = 4096;     // samples the periods are searched in
constexpr double kMinSearchSpan = 240.0;  // seconds of samples before the first search
constexpr std::size_t kMinSearchSamples = 64;
constexpr int kCyclesBetweenSearches = 30;
constexpr double kLongestPeriodShare = 1 / 1.3;  // of the window's span
constexpr double kShortestPeriod = 15.0;         // seconds, and at least 5 cycles
constexpr std::size_t kRebuildChunk = 512;       // samples fed to a new fit per cycle
constexpr double kFitPeriods = 1.5;              // the fit's memory, in its longest period
constexpr double kMinFitMemory = 240.0;          // seconds
constexpr double kMaxFitMemory = 2400.0;
constexpr double kRecordMemory = 100.0;  // cycles
constexpr double kMinRecord = 30.0;      // cycles of forecasts before the term is used
constexpr double kOutlier = 10.0;        // times the typical deviation from the fit
constexpr int kOutliersToRestart = 5;    // in a row: the motion jumped, learn afresh
constexpr double kTermBound = 4.0;       // times the motion seen per cycle
constexpr double kAbsurd = 1e6;          // pixels
// Radians of guide angle or declination that make another calibration.
constexpr double kCalibrationChange = 0.5 / 180.0 * std::numbers::pi;
constexpr double kDeclinationLimit = 80.0 / 180.0 * std::numbers::pi;

bool Finite(double v) {
  return std::isfinite(v);
}

double AngleDifference(double a, double b) {
  constexpr double kTurn = 2.0 * std::numbers::pi;
  double d = std::fmod(a - b, kTurn);
  if (d > kTurn / 2.0) d -= kTurn;
  if (d < -kTurn / 2.0) d += kTurn;
  return std::abs(d);
}

}  // namespace

// ---- the fit ----

void PeriodicErrorPredictor::Fit::Reset(std::vector<double> omegas, double tau) {
  omegas_ = std::move(omegas);
  tau_ = tau;
  samples_ = 0;
  const std::size_t d = 2 + 2 * omegas_.size();
  normal_.assign(d * d, 0.0);
  right_.assign(d, 0.0);
  theta_.assign(d, 0.0);
  x_.assign(d, 0.0);
  solved_ = false;
}

void PeriodicErrorPredictor::Fit::Regressors(double t, std::vector<double>& x) const {
  x[0] = 1.0;
  x[1] = (t - reference_) / tau_;
  for (std::size_t k = 0; k < omegas_.size(); ++k) {
    x[2 + 2 * k] = std::cos(omegas_[k] * t);
    x[3 + 2 * k] = std::sin(omegas_[k] * t);
  }
}

void PeriodicErrorPredictor::Fit::Add(double t, double u) {
  const std::size_t d = right_.size();
  if (d == 0) return;
  if (samples_ == 0) reference_ = lastT_ = t;
  const double age = std::max(0.0, t - lastT_);
  const double decay = std::exp(-age / tau_);
  for (double& v : normal_) v *= decay;
  for (double& v : right_) v *= decay;
  // The line's origin moves to t: its slope regressor loses (t - origin) / tau.
  const double shift = (t - reference_) / tau_;
  for (std::size_t j = 0; j < d; ++j) normal_[d + j] -= shift * normal_[j];
  for (std::size_t i = 0; i < d; ++i) normal_[i * d + 1] -= shift * normal_[i * d];
  right_[1] -= shift * right_[0];
  reference_ = lastT_ = std::max(t, lastT_);

  Regressors(t, x_);
  for (std::size_t i = 0; i < d; ++i) {
    for (std::size_t j = 0; j < d; ++j) normal_[i * d + j] += x_[i] * x_[j];
    right_[i] += x_[i] * u;
  }
  ++samples_;
  solved_ = false;
}

void PeriodicErrorPredictor::Fit::Solve() const {
  solved_ = true;
  const auto d = static_cast<Eigen::Index>(right_.size());
  Eigen::MatrixXd normal = Eigen::Map<const Eigen::MatrixXd>(normal_.data(), d, d);
  double trace = normal.trace();
  // A little ridge keeps a sine the window hardly shows from taking wild values.
  normal.diagonal().array() += 1e-9 * trace / static_cast<double>(d) + 1e-12;
  const Eigen::VectorXd theta =
      normal.ldlt().solve(Eigen::Map<const Eigen::VectorXd>(right_.data(), d));
  if (!theta.allFinite()) {
    std::fill(theta_.begin(), theta_.end(), 0.0);
    return;
  }
  for (Eigen::Index i = 0; i < d; ++i) theta_[static_cast<std::size_t>(i)] = theta(i);
}

double PeriodicErrorPredictor::Fit::Value(double t) const {
  if (samples_ == 0) return 0.0;
  if (!solved_) Solve();
  Regressors(t, x_);
  double v = 0.0;
  for (std::size_t i = 0; i < theta_.size(); ++i) v += theta_[i] * x_[i];
  return v;
}

double PeriodicErrorPredictor::Fit::Change(double from, double to) const {
  return Value(to) - Value(from);
}

double PeriodicErrorPredictor::Fit::Amplitude(std::size_t component) const {
  if (samples_ == 0) return 0.0;
  if (!solved_) Solve();
  return std::hypot(theta_[2 + 2 * component], theta_[3 + 2 * component]);
}

// ---- the record of forecasts ----

void PeriodicErrorPredictor::Record::Add(double forecast, double actual) {
  constexpr double kKeep = 1.0 - 1.0 / kRecordMemory;
  ff = kKeep * ff + forecast * forecast;
  fa = kKeep * fa + forecast * actual;
  aa = kKeep * aa + actual * actual;
  n = kKeep * n + 1.0;
}

double PeriodicErrorPredictor::Record::Gain() const {
  return ff > 0.0 ? fa / ff : 0.0;
}

double PeriodicErrorPredictor::Record::GainError() const {
  if (!(ff > 0.0) || n < 2.0) return 1e9;
  const double residual = std::max(0.0, aa - fa * fa / ff) / (n - 1.0);
  return std::sqrt(residual / ff);
}

double PeriodicErrorPredictor::Record::ActualRms() const {
  return n > 0.0 ? std::sqrt(aa / n) : 0.0;
}

// ---- the predictor ----

PeriodicErrorPredictor::PeriodicErrorPredictor() {
  ring_.resize(kWindow);
  window_.reserve(kWindow);
  Restart();
}

void PeriodicErrorPredictor::Restart() {
  sent_ = 0.0;
  last_.reset();
  typicalInnovation_ = 0.0;
  outliersInARow_ = 0;
  ringStart_ = ringCount_ = 0;
  search_.Start({}, 0.0, 0.0);
  cyclesUntilSearch_ = 0;
  fit_.Reset({}, kMinFitMemory);
  rebuilding_ = false;
  record_ = Record{};
  active_ = false;
}

double PeriodicErrorPredictor::Seconds(std::int64_t ms) const {
  return static_cast<double>(ms - originMs_.value_or(ms)) / 1000.0;
}

void PeriodicErrorPredictor::NoteTimes(const CycleTimes& times) {
  if (!originMs_) originMs_ = times.exposureStartMs;
  const double start = Seconds(times.exposureStartMs);
  if (lastCorrection_) {
    // The time from a correction to the next exposure, beyond the RA pulse: the Dec pulse, the
    // waits' polling, the host.
    const double overhead = start - *lastCorrection_ - lastRaSeconds_;
    if (Finite(overhead) && overhead >= 0.0 && overhead < 600.0) {
      overhead_ = haveOverhead_ ? 0.8 * overhead_ + 0.2 * overhead : overhead;
      haveOverhead_ = true;
    }
  }
  lastCorrection_ = Seconds(times.correctionMs);
  lastRaSeconds_ = 0.0;
}

void PeriodicErrorPredictor::Missed(const CycleTimes& times) {
  NoteTimes(times);
  StepSearch();
  status_.active = false;
  status_.term = 0.0;
}

double PeriodicErrorPredictor::Measured(const CycleTimes& times, double raOffset,
                                        const CalibrationInEffect& calibration) {
  NoteTimes(times);
  status_.term = 0.0;
  const bool usable = Finite(raOffset) && std::abs(raOffset) < kAbsurd &&
                      Finite(calibration.angle) && Finite(calibration.declination) &&
                      Finite(calibration.aggressiveness) && Finite(calibration.xSpeed) &&
                      calibration.xSpeed > 0.0 && Finite(times.exposureSeconds) &&
                      times.exposureSeconds >= 0.0;
  if (!usable) {
    // Pulses sent with a calibration that cannot be read cannot be taken back out.
    Restart();
    calibration_.reset();
    pixelsPerRaSecond_ = 0.0;
    status_.active = false;
    return 0.0;
  }
  const double declination =
      std::clamp(calibration.declination, -kDeclinationLimit, kDeclinationLimit);
  if (calibration_ &&
      (AngleDifference(calibration.angle, calibration_->angle) > kCalibrationChange ||
       calibration.reverseX != calibration_->reverseX ||
       std::abs(declination - calibration_->declination) > kCalibrationChange)) {
    Restart();  // the RA axis is another on the sensor, or its pulses move it otherwise
  }
  calibration_ = calibration;
  calibration_->declination = declination;
  pixelsPerRaSecond_ = calibration.xSpeed * std::cos(declination);

  const double t = Seconds(times.exposureStartMs) + times.exposureSeconds / 2.0;
  const double u = raOffset + sent_;
  bool outlier = false;
  if (last_ && t > last_->t) {
    const double innovation = u - fit_.Value(t);
    if (fit_.Samples() >= 50 && std::abs(innovation) > kOutlier * typicalInnovation_ + 1e-9) {
      outlier = true;
    } else {
      // The forecast made for this cycle against what happened.
      record_.Add(fit_.Change(last_->t, t), u - last_->u);
      typicalInnovation_ = fit_.Samples() == 0
                               ? std::abs(innovation)
                               : 0.98 * typicalInnovation_ + 0.02 * std::abs(innovation);
      cycleSeconds_ =
          cycleSeconds_ > 0.0 ? 0.9 * cycleSeconds_ + 0.1 * (t - last_->t) : t - last_->t;
    }
  }
  if (outlier) {
    if (++outliersInARow_ >= kOutliersToRestart) Restart();
  } else if (!last_ || t > last_->t) {
    outliersInARow_ = 0;
    AddSample(t, u);
    last_ = SeriesSample{t, u};
  }
  StepSearch();

  // The term goes in while the record shows the forecasts hold.
  const double gain = record_.Gain();
  const double error = record_.GainError();
  if (fit_.Omegas().empty() || record_.n < kMinRecord) {
    active_ = false;
  } else if (!active_) {
    active_ = gain - 2.0 * error > 0.5;
  } else {
    active_ = !(gain + 2.0 * error < 0.5 || gain < 0.3);
  }
  status_.active = active_ && calibration.aggressiveness != 0.0;
  status_.forecastGain = gain;
  status_.components = static_cast<int>(fit_.Omegas().size());
  status_.period = 0.0;
  double strongest = 0.0;
  for (std::size_t k = 0; k < fit_.Omegas().size(); ++k) {
    if (fit_.Amplitude(k) > strongest) {
      strongest = fit_.Amplitude(k);
      status_.period = 2.0 * std::numbers::pi / fit_.Omegas()[k];
    }
  }
  if (status_.active) status_.term = Term(times, t, raOffset, *calibration_);
  return status_.term;
}

double PeriodicErrorPredictor::Term(const CycleTimes& times, double t, double raOffset,
                                    const CalibrationInEffect& calibration) {
  // When the next exposure will be half done: after this cycle's RA pulse (which the term
  // itself lengthens), the usual overhead and half the exposure.
  const double correction = Seconds(times.correctionMs);
  const double proportional = raOffset * calibration.aggressiveness / 20.0 / pixelsPerRaSecond_;
  double term = 0.0;
  double next = t;
  for (int i = 0; i < 3; ++i) {
    const double pulse = proportional + term / pixelsPerRaSecond_;
    next = std::max(t, correction) + std::abs(pulse) + overhead_ + times.exposureSeconds / 2.0;
    term = fit_.Change(t, next);
  }
  const double cycles = cycleSeconds_ > 0.0 ? std::max(1.0, (next - t) / cycleSeconds_) : 1.0;
  const double bound = kTermBound * record_.ActualRms() * cycles;
  if (!Finite(term)) return 0.0;
  return std::clamp(term, -bound, bound);
}

void PeriodicErrorPredictor::PulsesSent(double raSeconds) {
  if (!Finite(raSeconds) || std::abs(raSeconds) > 1e5) return;
  lastRaSeconds_ = std::abs(raSeconds);
  sent_ += raSeconds * pixelsPerRaSecond_;
}

void PeriodicErrorPredictor::AddSample(double t, double u) {
  const std::size_t index = (ringStart_ + ringCount_) % kWindow;
  ring_[index] = {t, u};
  if (ringCount_ < kWindow) {
    ++ringCount_;
  } else {
    ringStart_ = (ringStart_ + 1) % kWindow;
  }
  ++added_;
  fit_.Add(t, u);
}

const SeriesSample& PeriodicErrorPredictor::Ring(std::uint64_t sequence) const {
  const std::uint64_t oldest = added_ - ringCount_;
  return ring_[(ringStart_ + static_cast<std::size_t>(sequence - oldest)) % kWindow];
}

void PeriodicErrorPredictor::StepSearch() {
  if (rebuilding_) {
    // A new fit catches up with the window, a chunk per cycle, then replaces the one in use.
    const std::uint64_t oldest = added_ - ringCount_;
    rebuildNext_ = std::max(rebuildNext_, oldest);
    for (std::size_t n = 0; n < kRebuildChunk && rebuildNext_ < added_; ++n, ++rebuildNext_) {
      const SeriesSample& s = Ring(rebuildNext_);
      pending_.Add(s.t, s.u);
    }
    if (rebuildNext_ >= added_) {
      fit_ = pending_;
      rebuilding_ = false;
    }
    return;
  }
  if (search_.Busy()) {
    if (!search_.Step()) return;
    // The frequencies found: a fit with memory for the longest of them.
    std::vector<double> omegas = search_.Frequencies();
    double longest = 0.0;
    for (double omega : omegas) longest = std::max(longest, 2.0 * std::numbers::pi / omega);
    const double memory = std::clamp(kFitPeriods * longest, kMinFitMemory, kMaxFitMemory);
    pending_.Reset(std::move(omegas), memory);
    rebuilding_ = true;
    // Samples older than a few memories weigh nothing.
    rebuildNext_ = added_ - ringCount_;
    const double newest = Ring(added_ - 1).t;
    while (rebuildNext_ < added_ && Ring(rebuildNext_).t < newest - 6.0 * memory) ++rebuildNext_;
    cyclesUntilSearch_ = kCyclesBetweenSearches;
    return;
  }
  if (--cyclesUntilSearch_ > 0 || ringCount_ < kMinSearchSamples) return;
  const double span = Ring(added_ - 1).t - Ring(added_ - ringCount_).t;
  if (span < kMinSearchSpan) return;
  window_.clear();
  for (std::uint64_t s = added_ - ringCount_; s < added_; ++s) window_.push_back(Ring(s));
  const double shortest = std::max(kShortestPeriod, 5.0 * cycleSeconds_);
  search_.Start(window_, shortest, span * kLongestPeriodShare);
}

}  // namespace corvane
