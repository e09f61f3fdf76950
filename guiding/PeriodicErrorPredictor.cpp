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
// Cycles from the end of a search to the next: often while the window is short and every
// search sees much that the last one did not, seldom later.
constexpr int kCyclesBetweenEarlySearches = 5;
constexpr int kCyclesBetweenSearches = 30;
constexpr double kEarlySpan = 1800.0;            // seconds
constexpr double kLongestPeriodShare = 1 / 1.3;  // of the window's span
constexpr double kLongestPeriod = 1500.0;        // seconds: longer than any worm's
constexpr double kShortestPeriod = 15.0;         // seconds, and at least 5 cycles
constexpr std::size_t kRebuildChunk = 80;        // samples fed to the new fits per cycle
// The fits' memories, in times the longest period.
constexpr std::array<double, 5> kMemories = {0.25, 0.5, 1.0, 2.0, 4.0};
constexpr double kMinMemory = 240.0;   // seconds, for the fit of memory 1
constexpr double kLineMemory = 300.0;  // seconds: the straight line the fits must beat
constexpr double kMaxMemory = 3000.0;
// The tracking fits: the wander per period each follows.
constexpr std::array<double, 3> kWanders = {0.03, 0.1, 0.3};
// A tracking fit's line walks too, in proportion to the noise of the samples: its level by this
// share of the noise's variance per second, its slope (per second) by this share per second.
constexpr double kLevelWalk = 1e-3;
constexpr double kSlopeWalk = 1e-7;
constexpr double kUnknown = 1e6;     // pixels squared: the variance of what no sample has shown yet
constexpr int kNoiseSettling = 20;   // samples whose innovations give the noise as a plain mean
constexpr std::size_t kAhead = 12;   // samples: the horizon of the second record
constexpr double kMinRecord = 20.0;  // forecasts in each record before the term is used
// Standard errors by which the best tracking fit must have erred less than the best fit of fixed
// memory to be used: a little, so that chance seldom takes a stable worm to a tracking fit.
constexpr double kSwitch = 0.5;
constexpr double kOutlier = 10.0;         // times the typical deviation from the fit
constexpr int kOutliersToRestart = 5;     // in a row: the motion jumped, learn afresh
constexpr double kTermBound = 4.0;        // times the motion seen per cycle
constexpr double kMostCyclesAhead = 3.0;  // the longest horizon of the term, in cycles
constexpr double kAbsurd = 1e6;           // pixels
// A sample this many cycles after the last one ends a gap (clouds, lost stars).
constexpr double kGapCycles = 2.5;
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

double Longest(const std::vector<double>& omegas) {
  double longest = 0.0;
  for (double omega : omegas) longest = std::max(longest, 2.0 * std::numbers::pi / omega);
  return longest;
}

}  // namespace

// ---- the fit ----

void PeriodicErrorPredictor::Fit::Reset(const std::vector<double>& omegas, double memory) {
  omegas_ = omegas;
  tau_ = memory;
  tracking_ = false;
  samples_ = 0;
  const std::size_t d = 2 + 2 * omegas_.size();
  normal_.assign(d * d, 0.0);
  right_.assign(d, 0.0);
  theta_.assign(d, 0.0);
  x_.assign(d, 0.0);
  solved_ = false;
}

void PeriodicErrorPredictor::Fit::Track(const std::vector<double>& omegas, double wander) {
  Reset(omegas, 1.0);  // the line's slope per second
  tracking_ = true;
  wander_ = wander;
  normal_.clear();
  right_.clear();
  covariance_.assign(theta_.size() * theta_.size(), 0.0);
  noise_ = 0.0;
}

void PeriodicErrorPredictor::Fit::Filter(double t, double u) {
  const std::size_t d = theta_.size();
  std::vector<double>& p = covariance_;
  solved_ = true;
  if (samples_ == 0) {
    // The first sample gives the line's level; the rest is unknown.
    std::fill(theta_.begin(), theta_.end(), 0.0);
    theta_[0] = u;
    std::fill(p.begin(), p.end(), 0.0);
    for (std::size_t i = 0; i < d; ++i) p[i * d + i] = kUnknown;
    reference_ = t;
    samples_ = 1;
    return;
  }
  // To the sample's time: the line moves on, its level and slope and the sines' coefficients
  // walk.
  const double dt = std::max(0.0, t - reference_);
  reference_ = std::max(t, reference_);
  theta_[0] += theta_[1] * dt;
  for (std::size_t j = 0; j < d; ++j) p[j] += dt * p[d + j];
  for (std::size_t i = 0; i < d; ++i) p[i * d] += dt * p[i * d + 1];
  p[0] += kLevelWalk * noise_ * dt;
  p[d + 1] += kSlopeWalk * noise_ * dt;
  for (std::size_t k = 0; k < omegas_.size(); ++k) {
    const double squared =
        theta_[2 + 2 * k] * theta_[2 + 2 * k] + theta_[3 + 2 * k] * theta_[3 + 2 * k];
    const double walk = squared * wander_ * wander_ * omegas_[k] / (2.0 * std::numbers::pi) * dt;
    p[(2 + 2 * k) * (d + 1)] += walk;
    p[(3 + 2 * k) * (d + 1)] += walk;
  }
  // The sample.
  x_[0] = 1.0;
  x_[1] = 0.0;
  for (std::size_t k = 0; k < omegas_.size(); ++k) {
    x_[2 + 2 * k] = std::cos(omegas_[k] * t);
    x_[3 + 2 * k] = std::sin(omegas_[k] * t);
  }
  std::vector<double>& ph = right_;  // P x, reused
  ph.assign(d, 0.0);
  double spread = 0.0, innovation = u;
  for (std::size_t i = 0; i < d; ++i) {
    for (std::size_t j = 0; j < d; ++j) ph[i] += p[i * d + j] * x_[j];
    spread += x_[i] * ph[i];
    innovation -= x_[i] * theta_[i];
  }
  ++samples_;
  const double squared = innovation * innovation;
  if (samples_ <= kNoiseSettling) {
    noise_ += (squared - noise_) / static_cast<double>(samples_ - 1);
  } else {
    noise_ = 0.98 * noise_ + 0.02 * std::max(squared - spread, 0.05 * noise_);
  }
  const double total = spread + std::max(noise_, 1e-12);
  if (!Finite(total) || !(total > 0.0) || !Finite(innovation)) return;
  for (std::size_t i = 0; i < d; ++i) theta_[i] += ph[i] / total * innovation;
  for (std::size_t i = 0; i < d; ++i) {
    for (std::size_t j = 0; j < d; ++j) p[i * d + j] -= ph[i] * ph[j] / total;
  }
}

void PeriodicErrorPredictor::Fit::Add(double t, double u) {
  if (tracking_) {
    Filter(t, u);
    return;
  }
  const std::size_t d = right_.size();
  if (samples_ == 0) reference_ = t;
  const double age = std::max(0.0, t - reference_);
  const double decay = std::exp(-age / tau_);
  for (double& v : normal_) v *= decay;
  for (double& v : right_) v *= decay;
  // The line's origin moves to t: its slope regressor loses (t - origin) / memory.
  const double shift = age / tau_;
  for (std::size_t j = 0; j < d; ++j) normal_[d + j] -= shift * normal_[j];
  for (std::size_t i = 0; i < d; ++i) normal_[i * d + 1] -= shift * normal_[i * d];
  right_[1] -= shift * right_[0];
  reference_ = std::max(t, reference_);

  x_[0] = 1.0;
  x_[1] = 0.0;
  for (std::size_t k = 0; k < omegas_.size(); ++k) {
    x_[2 + 2 * k] = std::cos(omegas_[k] * t);
    x_[3 + 2 * k] = std::sin(omegas_[k] * t);
  }
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
  // A little ridge keeps a sine the memory hardly shows from taking wild values.
  normal.diagonal().array() += 1e-9 * normal.trace() / static_cast<double>(d) + 1e-12;
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
  double v = theta_[0] + theta_[1] * (t - reference_) / tau_;
  for (std::size_t k = 0; k < omegas_.size(); ++k) {
    v +=
        theta_[2 + 2 * k] * std::cos(omegas_[k] * t) + theta_[3 + 2 * k] * std::sin(omegas_[k] * t);
  }
  return v;
}

double PeriodicErrorPredictor::Fit::Amplitude(std::size_t component) const {
  if (samples_ == 0) return 0.0;
  if (!solved_) Solve();
  return std::hypot(theta_[2 + 2 * component], theta_[3 + 2 * component]);
}

PeriodicErrorPredictor::Forecast PeriodicErrorPredictor::Fit::Freeze(double t, double u) const {
  Forecast f;
  if (samples_ > 0 && !solved_) Solve();
  f.components = omegas_.size();
  std::copy(omegas_.begin(), omegas_.end(), f.omegas.begin());
  std::copy(theta_.begin(), theta_.end(), f.theta.begin());
  f.reference = reference_;
  f.tau = tau_;
  f.t = t;
  f.u = u;
  return f;
}

double PeriodicErrorPredictor::Forecast::Value(double at) const {
  double v = theta[0] + theta[1] * (at - reference) / tau;
  for (std::size_t k = 0; k < components; ++k) {
    v += theta[2 + 2 * k] * std::cos(omegas[k] * at) + theta[3 + 2 * k] * std::sin(omegas[k] * at);
  }
  return v;
}

// ---- the records of forecasts ----

void PeriodicErrorPredictor::Record::Add(double forecast, double actual) {
  ff = keep * ff + forecast * forecast;
  fa = keep * fa + forecast * actual;
  aa = keep * aa + actual * actual;
  ee = keep * ee + (actual - forecast) * (actual - forecast);
  n = keep * n + 1.0;
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

void PeriodicErrorPredictor::Comparison::Add(double errorA, double errorB) {
  const double d = errorA * errorA - errorB * errorB;
  sum = keep * sum + d;
  squares = keep * squares + d * d;
  n = keep * n + 1.0;
}

double PeriodicErrorPredictor::Comparison::Score() const {
  if (n < 2.0) return 0.0;
  const double mean = sum / n;
  const double variance = std::max(squares / n - mean * mean, 1e-300);
  return mean / std::sqrt(variance / n);
}

// ---- the predictor ----

PeriodicErrorPredictor::PeriodicErrorPredictor() {
  ring_.resize(kWindow);
  window_.reserve(kWindow);
  waiting_.resize(kAhead);
  waitingLine_.resize(kAhead);
  Restart();
}

void PeriodicErrorPredictor::Restart() {
  sent_ = 0.0;
  last_.reset();
  typicalInnovation_ = 0.0;
  outliersInARow_ = 0;
  ringStart_ = ringCount_ = 0;
  search_.Start({}, 0.0, 0.0, 0.0);
  cyclesUntilSearch_ = 0;
  for (std::size_t k = 0; k < kFits; ++k) {
    if (k < kMemoryFits) {
      fits_[k].Reset({}, kMinMemory * kMemories[k]);
    } else {
      fits_[k].Track({}, kWanders[k - kMemoryFits]);
    }
    fitRecords_[k] = Record{};
    fitComparisons_[k].fill(Comparison{0.99});
  }
  inUse_ = 2;  // memory of one longest period
  rebuilding_ = false;
  nextCycle_ = Record{};
  ahead_ = Record{0.98};
  line_.Reset({}, kLineMemory);
  lineBeaten_ = Comparison{};
  waitingNext_ = 0;
  staleBefore_ = 0;
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
  const bool calibrated = Finite(calibration.angle) && Finite(calibration.declination) &&
                          Finite(calibration.aggressiveness) && Finite(calibration.xSpeed) &&
                          calibration.xSpeed > 0.0 && calibration.xSpeed < kAbsurd;
  if (!calibrated) {
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
  if (!Finite(raOffset) || std::abs(raOffset) >= kAbsurd || !Finite(times.exposureSeconds) ||
      times.exposureSeconds < 0.0) {
    // Nothing to learn from: a cycle without a measurement (its pulse still counts).
    StepSearch();
    status_.active = false;
    return 0.0;
  }

  const double t = Seconds(times.exposureStartMs) + times.exposureSeconds / 2.0;
  const double u = raOffset + sent_;
  const bool later = !last_ || t > last_->t;
  // The first sample after a gap: what the fits forecast across it is no forecast of a cycle.
  const bool gap =
      last_ && later && cycleSeconds_ > 0.0 && t - last_->t > kGapCycles * cycleSeconds_;
  if (last_ && later) {
    const double innovation = std::abs(u - InUse().Value(t));
    if (InUse().Samples() >= 50 && innovation > kOutlier * typicalInnovation_ + 1e-9) {
      if (++outliersInARow_ >= kOutliersToRestart) Restart();
      StepSearch();
      Decide(calibration.aggressiveness);
      return 0.0;
    }
    typicalInnovation_ =
        InUse().Samples() < 2 ? innovation : 0.98 * typicalInnovation_ + 0.02 * innovation;
    if (gap) {
      staleBefore_ = waitingNext_;
    } else {
      Check(t, u);
    }
  }
  outliersInARow_ = 0;
  if (later) AddSample(t, u);
  StepSearch();
  Decide(calibration.aggressiveness);
  if (status_.active) status_.term = Term(times, t, raOffset, calibration.aggressiveness);
  return status_.term;
}

void PeriodicErrorPredictor::Check(double t, double u) {
  // Each forecast was frozen before the sample it starts from went into the fit, so the noise
  // of that sample cannot make a forecast look right.
  const auto check = [&](Record& record, const Forecast& forecast) {
    record.Add(forecast.Value(t) - forecast.Value(forecast.t), u - forecast.u);
  };
  cycleSeconds_ = cycleSeconds_ > 0.0 ? 0.9 * cycleSeconds_ + 0.1 * (t - last_->t) : t - last_->t;
  std::array<double, kFits> errors{};
  for (std::size_t k = 0; k < kFits; ++k) {
    check(fitRecords_[k], frozen_[k]);
    errors[k] = u - frozen_[k].u - (frozen_[k].Value(t) - frozen_[k].Value(frozen_[k].t));
  }
  for (std::size_t a = 0; a < kFits; ++a) {
    for (std::size_t b = 0; b < kFits; ++b) {
      if (a != b) fitComparisons_[a][b].Add(errors[a], errors[b]);
    }
  }
  check(nextCycle_, frozen_[frozenInUse_]);
  // The forecasts frozen kAhead samples ago, now due: the fit's, and the straight line's.
  if (ringCount_ >= kAhead && waitingNext_ >= staleBefore_ + kAhead) {
    const Forecast& fit = waiting_[waitingNext_ % kAhead];
    const Forecast& line = waitingLine_[waitingNext_ % kAhead];
    check(ahead_, fit);
    const double actual = u - fit.u;
    lineBeaten_.Add(actual - (line.Value(t) - line.Value(line.t)),
                    actual - (fit.Value(t) - fit.Value(fit.t)));
  }
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
  // Of the fits of fixed memory, the one whose forecasts of the next cycle have lately been best
  // is the one in use; the best tracking fit instead once it has clearly done better than that.
  if (fitRecords_[0].n >= kMinRecord) {
    std::size_t memory = 0, tracking = kMemoryFits;
    for (std::size_t k = 0; k < kFits; ++k) {
      std::size_t& best = k < kMemoryFits ? memory : tracking;
      if (fitRecords_[k].ee < fitRecords_[best].ee) best = k;
    }
    inUse_ = fitComparisons_[memory][tracking].Score() > kSwitch ? tracking : memory;
  }
  // The forecasts from this sample, then the sample into the fits.
  for (std::size_t k = 0; k < kFits; ++k) frozen_[k] = fits_[k].Freeze(t, u);
  frozenInUse_ = inUse_;
  waitingLine_[waitingNext_ % kAhead] = line_.Freeze(t, u);
  waiting_[waitingNext_++ % kAhead] = frozen_[inUse_];
  for (Fit& fit : fits_) fit.Add(t, u);
  line_.Add(t, u);
  last_ = SeriesSample{t, u};
}

void PeriodicErrorPredictor::Decide(double aggressiveness) {
  const bool ready =
      !InUse().Omegas().empty() && ahead_.n >= kMinRecord && nextCycle_.n >= kMinRecord;
  const double gain = ahead_.Gain(), error = ahead_.GainError();
  const double nextGain = nextCycle_.Gain(), nextError = nextCycle_.GainError();
  if (!ready) {
    active_ = false;
  } else if (!active_) {
    active_ = gain - 2.0 * error > 0.6 && gain < 1.5 && nextGain + 2.0 * nextError > 0.5 &&
              lineBeaten_.Score() > 3.0;
  } else {
    active_ = !(gain + 2.0 * error < 0.6 || gain > 2.0 || nextGain + 2.0 * nextError < 0.3 ||
                lineBeaten_.Score() < 1.0);
  }
  status_.active = active_ && aggressiveness != 0.0;
  status_.forecastGain = gain;
  status_.components = static_cast<int>(InUse().Omegas().size());
  status_.memory = InUse().Memory();
  status_.wander = InUse().Wander();
  status_.period = 0.0;
  double strongest = 0.0;
  for (std::size_t k = 0; k < InUse().Omegas().size(); ++k) {
    if (InUse().Amplitude(k) > strongest) {
      strongest = InUse().Amplitude(k);
      status_.period = 2.0 * std::numbers::pi / InUse().Omegas()[k];
    }
  }
}

double PeriodicErrorPredictor::Term(const CycleTimes& times, double t, double raOffset,
                                    double aggressiveness) {
  // When the next exposure will be half done: after this cycle's RA pulse (which the term
  // itself lengthens), the usual overhead and half the exposure.
  const double correction = Seconds(times.correctionMs);
  const double proportional = raOffset * aggressiveness / 20.0 / pixelsPerRaSecond_;
  const double longest = std::abs(times.maxPulseSeconds);
  double term = 0.0;
  double next = t;
  for (int i = 0; i < 3; ++i) {
    const double pulse = std::min(longest, std::abs(proportional + term / pixelsPerRaSecond_));
    next = std::max(t, correction) + pulse + overhead_ + times.exposureSeconds / 2.0;
    // Never further than a few cycles ahead.
    if (cycleSeconds_ > 0.0) next = std::min(next, t + kMostCyclesAhead * cycleSeconds_);
    term = InUse().Change(t, next);
  }
  const double cycles =
      cycleSeconds_ > 0.0 ? std::clamp((next - t) / cycleSeconds_, 1.0, kMostCyclesAhead) : 1.0;
  const double bound = kTermBound * nextCycle_.ActualRms() * cycles;
  if (!Finite(term)) return 0.0;
  return std::clamp(term, -bound, bound);
}

void PeriodicErrorPredictor::PulsesSent(double raSeconds) {
  if (!Finite(raSeconds) || std::abs(raSeconds) > 1e5) return;
  lastRaSeconds_ = std::abs(raSeconds);
  sent_ += raSeconds * pixelsPerRaSecond_;
}

const SeriesSample& PeriodicErrorPredictor::Ring(std::uint64_t sequence) const {
  const std::uint64_t oldest = added_ - ringCount_;
  return ring_[(ringStart_ + static_cast<std::size_t>(sequence - oldest)) % kWindow];
}

void PeriodicErrorPredictor::StartRebuild(const std::vector<double>& omegas) {
  // The same frequencies as the fits have (to well within what their memory can tell): kept.
  const std::vector<double>& current = fits_[0].Omegas();
  if (omegas.size() == current.size() && !omegas.empty()) {
    bool same = true;
    for (std::size_t k = 0; k < omegas.size() && same; ++k) {
      same = std::abs(omegas[k] - current[k]) * fits_[kMemoryFits - 1].Memory() < 0.05;
    }
    if (same) return;
  }
  const double longest = Longest(omegas);
  double oldest = 0.0;
  for (std::size_t k = 0; k < kMemoryFits; ++k) {
    const double memory = std::clamp(kMemories[k] * longest, kMinMemory * kMemories[k], kMaxMemory);
    pending_[k].Reset(omegas, memory);
    oldest = std::max(oldest, memory);
  }
  for (std::size_t k = kMemoryFits; k < kFits; ++k) {
    pending_[k].Track(omegas, kWanders[k - kMemoryFits]);
  }
  rebuilding_ = true;
  // Samples older than a few memories weigh nothing.
  rebuildNext_ = added_ - ringCount_;
  const double newest = Ring(added_ - 1).t;
  while (rebuildNext_ < added_ && Ring(rebuildNext_).t < newest - 5.0 * oldest) ++rebuildNext_;
}

void PeriodicErrorPredictor::StepSearch() {
  if (rebuilding_) {
    // The new fits catch up with the window, a chunk per cycle, then replace the ones in use.
    rebuildNext_ = std::max(rebuildNext_, added_ - ringCount_);
    for (std::size_t n = 0; n < kRebuildChunk && rebuildNext_ < added_; ++n, ++rebuildNext_) {
      const SeriesSample& s = Ring(rebuildNext_);
      for (Fit& fit : pending_) fit.Add(s.t, s.u);
    }
    if (rebuildNext_ >= added_) {
      fits_ = pending_;
      rebuilding_ = false;
    }
    return;
  }
  if (search_.Busy()) {
    if (!search_.Step()) return;
    if (ringCount_ > 0) StartRebuild(search_.Frequencies());
    const double span = ringCount_ > 0 ? Ring(added_ - 1).t - Ring(added_ - ringCount_).t : 0.0;
    cyclesUntilSearch_ = span < kEarlySpan ? kCyclesBetweenEarlySearches : kCyclesBetweenSearches;
    return;
  }
  if (--cyclesUntilSearch_ > 0 || ringCount_ < kMinSearchSamples) return;
  const double span = Ring(added_ - 1).t - Ring(added_ - ringCount_).t;
  if (span < kMinSearchSpan) return;
  window_.clear();
  for (std::uint64_t s = added_ - ringCount_; s < added_; ++s) window_.push_back(Ring(s));
  const double shortest = std::max(kShortestPeriod, 5.0 * cycleSeconds_);
  const double longest = std::min(kLongestPeriod, span * kLongestPeriodShare);
  search_.Start(window_, shortest, longest, 2.0 * std::numbers::pi / span);
}

}  // namespace corvane
