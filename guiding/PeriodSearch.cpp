#include "guiding/PeriodSearch.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <Eigen/Dense>

namespace corvane {
namespace {

constexpr std::size_t kMaxBins = 2048;
constexpr std::size_t kFftSize = 8192;  // the binned series zero-padded: 4 points per resolution
constexpr std::size_t kMaxCandidates = 12;
// A peak counts when it stands this many times above the median of the spectrum around it (for
// noise alone, about one chance in a million per resolution element).
constexpr double kPeakOverLocalMedian = 20.0;
constexpr int kLocalNear = 3;  // resolution elements left out around the peak (its main lobe)
constexpr int kLocalFar = 16;  // and taken on each side for the median
// A component is kept when its amplitude is this many standard errors.
constexpr double kMinSignificance = 5.0;
constexpr std::size_t kScreenedPerStep = 4;
constexpr int kRounds = 3;  // of spectrum and screening
constexpr int kJointPasses = 6;
// Work per step of the joint fit: about this many multiply-adds.
constexpr double kJointWorkPerStep = 2.5e5;

}  // namespace

PeriodSearch::PeriodSearch() {
  fft_.SetFlag(Eigen::FFT<double>::HalfSpectrum);
  padded_.assign(kFftSize, 0.0);
  binned_.reserve(kMaxBins);
  filled_.reserve(kMaxBins);
  residual_.reserve(kMaxBins);
}

void PeriodSearch::Start(const std::vector<SeriesSample>& samples, double minPeriod,
                         double maxPeriod, double minSeparation) {
  minPeriod_ = minPeriod;
  maxPeriod_ = maxPeriod;
  minSeparation_ = minSeparation;
  candidates_.clear();
  components_.clear();
  found_.clear();
  screened_ = 0;
  rounds_ = 0;
  Bin(samples);
  stage_ = filledCount_ >= 16 && maxPeriod_ > minPeriod_ ? Stage::Spectrum : Stage::Done;
}

double PeriodSearch::TimeOf(std::size_t bin) const {
  return (static_cast<double>(bin) - 0.5 * static_cast<double>(binned_.size() - 1)) * width_;
}

void PeriodSearch::Bin(const std::vector<SeriesSample>& samples) {
  binned_.clear();
  filled_.clear();
  filledCount_ = 0;
  if (samples.size() < 16) return;
  const double t0 = samples.front().t;
  const double span = samples.back().t - t0;
  if (!(span > 0.0)) return;
  // The bin width: the usual spacing of the samples, or wider when the span needs more bins.
  std::vector<double> spacings;
  spacings.reserve(samples.size() - 1);
  for (std::size_t i = 1; i < samples.size(); ++i) {
    spacings.push_back(samples[i].t - samples[i - 1].t);
  }
  auto middle = spacings.begin() + static_cast<std::ptrdiff_t>(spacings.size() / 2);
  std::nth_element(spacings.begin(), middle, spacings.end());
  width_ = std::max(*middle, span / static_cast<double>(kMaxBins - 1));
  if (!(width_ > 0.0)) return;
  const auto bins =
      std::min(kMaxBins, static_cast<std::size_t>(std::floor(span / width_)) + std::size_t{1});
  binned_.assign(bins, 0.0);
  filled_.assign(bins, false);
  std::vector<int> counts(bins, 0);
  for (const SeriesSample& s : samples) {
    const auto k = std::min(bins - 1, static_cast<std::size_t>((s.t - t0) / width_));
    binned_[k] += s.u;
    ++counts[k];
  }
  // Bin means, then the straight line through them taken away.
  double n = 0.0, sk = 0.0, su = 0.0, skk = 0.0, sku = 0.0;
  for (std::size_t k = 0; k < bins; ++k) {
    if (counts[k] == 0) continue;
    filled_[k] = true;
    ++filledCount_;
    binned_[k] /= counts[k];
    const double x = static_cast<double>(k);
    n += 1.0;
    sk += x;
    su += binned_[k];
    skk += x * x;
    sku += x * binned_[k];
  }
  const double determinant = n * skk - sk * sk;
  const double slope = determinant > 0.0 ? (n * sku - sk * su) / determinant : 0.0;
  const double intercept = n > 0.0 ? (su - slope * sk) / n : 0.0;
  for (std::size_t k = 0; k < bins; ++k) {
    binned_[k] = filled_[k] ? binned_[k] - intercept - slope * static_cast<double>(k) : 0.0;
  }
  residual_ = binned_;
}

bool PeriodSearch::Step() {
  switch (stage_) {
    case Stage::Spectrum:
      FindCandidates();
      ++rounds_;
      screened_ = 0;
      foundInRound_ = 0;
      stage_ = Stage::Screen;
      break;
    case Stage::Screen:
      Screen();
      break;
    case Stage::Joint:
      JointStep();
      break;
    case Stage::Done:
      return true;
  }
  return stage_ == Stage::Done;
}

void PeriodSearch::FindCandidates() {
  const std::size_t bins = binned_.size();
  std::fill(padded_.begin(), padded_.end(), 0.0);
  // A Hann window keeps a strong peak's leakage away from the weaker components.
  for (std::size_t k = 0; k < bins; ++k) {
    const double window =
        0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(k) /
                             static_cast<double>(std::max<std::size_t>(bins - 1, 1)));
    padded_[k] = residual_[k] * window;
  }
  fft_.fwd(spectrum_, padded_);
  const auto power = [&](std::ptrdiff_t k) {
    return std::norm(spectrum_[static_cast<std::size_t>(k)]);
  };
  const auto last = static_cast<std::ptrdiff_t>(spectrum_.size()) - 2;
  const double scale = static_cast<double>(kFftSize) * width_;  // seconds: period = scale / k
  const auto low =
      std::max<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(std::ceil(scale / maxPeriod_)));
  const auto high = std::min(last, static_cast<std::ptrdiff_t>(std::floor(scale / minPeriod_)));
  const double pad = static_cast<double>(kFftSize) / static_cast<double>(bins);

  std::vector<std::pair<double, std::ptrdiff_t>> peaks;
  std::vector<double> around;
  for (std::ptrdiff_t k = low; k <= high; ++k) {
    const double p = power(k);
    if (!(p > power(k - 1) && p >= power(k + 1))) continue;
    around.clear();
    for (int j = kLocalNear; j <= kLocalFar; ++j) {
      for (const double side : {-1.0, 1.0}) {
        const auto at = k + static_cast<std::ptrdiff_t>(std::lround(side * j * pad));
        if (at >= 1 && at <= last + 1) around.push_back(power(at));
      }
    }
    if (around.size() < 8) continue;
    auto middle = around.begin() + static_cast<std::ptrdiff_t>(around.size() / 2);
    std::nth_element(around.begin(), middle, around.end());
    if (p >= kPeakOverLocalMedian * *middle) peaks.emplace_back(p, k);
  }
  std::sort(peaks.begin(), peaks.end(), std::greater<>());
  if (peaks.size() > kMaxCandidates) peaks.resize(kMaxCandidates);
  candidates_.clear();
  for (const auto& [p, k] : peaks) {
    // The peak's top by a parabola through it and its neighbours.
    const double left = power(k - 1), right = power(k + 1);
    const double curvature = left - 2.0 * p + right;
    const double offset = curvature < 0.0 ? 0.5 * (left - right) / curvature : 0.0;
    candidates_.push_back(2.0 * std::numbers::pi * (static_cast<double>(k) + offset) / scale);
  }
}

void PeriodSearch::Screen() {
  // Strongest first: each candidate that fits what the stronger ones left, significantly, and
  // lies apart from them; a few per step.
  const std::size_t end = std::min(candidates_.size(), screened_ + kScreenedPerStep);
  for (; screened_ < end; ++screened_) {
    const double omega = candidates_[screened_];
    if (components_.size() >= kMaxComponents) break;
    const bool apart = std::all_of(components_.begin(), components_.end(), [&](const Component& c) {
      return std::abs(c.omega - omega) >= minSeparation_;
    });
    if (!apart) continue;
    double significance = 0.0;
    const Component c = FitSine(residual_, omega, &significance);
    if (significance < kMinSignificance) continue;
    Subtract(residual_, c);
    components_.push_back(c);
    ++foundInRound_;
  }
  if (screened_ < candidates_.size() && components_.size() < kMaxComponents) return;
  // Once the stronger components are out of the series, weaker ones near them show: another
  // round on what is left.
  if (foundInRound_ > 0 && rounds_ < kRounds && components_.size() < kMaxComponents) {
    stage_ = Stage::Spectrum;
    return;
  }
  if (components_.empty()) {
    stage_ = Stage::Done;
    return;
  }
  // The joint fit starts from these, with the line at zero (the series is without its line).
  parameters_.assign(2, 0.0);
  for (const Component& c : components_) {
    parameters_.insert(parameters_.end(), {c.cosine, c.sine, c.omega});
  }
  best_.clear();
  bestSquares_ = 0.0;
  stepScale_ = 1.0;
  passes_ = 0;
  nextBin_ = 0;
  stage_ = Stage::Joint;
}

PeriodSearch::Component PeriodSearch::FitSine(const std::vector<double>& series, double omega,
                                              double* significance) const {
  // Least squares of a line and the sine on the filled bins; cos and sin by rotation.
  using Matrix4 = Eigen::Matrix<double, 4, 4, Eigen::DontAlign>;
  using Vector4 = Eigen::Matrix<double, 4, 1, Eigen::DontAlign>;
  Matrix4 normal = Matrix4::Zero();
  Vector4 right = Vector4::Zero();
  const double step = omega * width_;
  const double cosStep = std::cos(step), sinStep = std::sin(step);
  double c = std::cos(omega * TimeOf(0)), s = std::sin(omega * TimeOf(0));
  double squares = 0.0;
  const double half = 0.5 * static_cast<double>(series.size());
  for (std::size_t k = 0; k < series.size(); ++k) {
    if (filled_[k]) {
      const double x[4] = {1.0, static_cast<double>(k) / half - 1.0, c, s};
      for (int i = 0; i < 4; ++i) {
        for (int j = i; j < 4; ++j) normal(i, j) += x[i] * x[j];
        right(i) += x[i] * series[k];
      }
      squares += series[k] * series[k];
    }
    const double nextC = c * cosStep - s * sinStep;
    s = s * cosStep + c * sinStep;
    c = nextC;
  }
  normal = normal.selfadjointView<Eigen::Upper>();
  Component fit;
  fit.omega = omega;
  *significance = 0.0;
  const Vector4 theta = normal.ldlt().solve(right);
  if (!theta.allFinite()) return fit;
  fit.cosine = theta(2);
  fit.sine = theta(3);
  const double n = static_cast<double>(filledCount_);
  const double rss = std::max(0.0, squares - theta.dot(right));
  const double sigma = std::sqrt(rss / std::max(1.0, n - 4.0));
  const double amplitude = std::hypot(fit.cosine, fit.sine);
  *significance = sigma > 0.0 ? amplitude / (sigma * std::sqrt(2.0 / n)) : 0.0;
  return fit;
}

void PeriodSearch::Subtract(std::vector<double>& series, const Component& c) const {
  const double step = c.omega * width_;
  const double cosStep = std::cos(step), sinStep = std::sin(step);
  double cs = std::cos(c.omega * TimeOf(0)), sn = std::sin(c.omega * TimeOf(0));
  for (std::size_t k = 0; k < series.size(); ++k) {
    if (filled_[k]) series[k] -= c.cosine * cs + c.sine * sn;
    const double next = cs * cosStep - sn * sinStep;
    sn = sn * cosStep + cs * sinStep;
    cs = next;
  }
}

void PeriodSearch::JointStep() {
  const std::size_t components = (parameters_.size() - 2) / 3;
  const std::size_t p = parameters_.size();
  const std::size_t bins = binned_.size();
  if (nextBin_ == 0) {
    normal_.assign(p * p, 0.0);
    gradient_.assign(p, 0.0);
    squares_ = 0.0;
    cosStep_.resize(components);
    sinStep_.resize(components);
    cosNow_.resize(components);
    sinNow_.resize(components);
    row_.resize(p);
    for (std::size_t j = 0; j < components; ++j) {
      const double omega = parameters_[2 + 3 * j + 2];
      cosStep_[j] = std::cos(omega * width_);
      sinStep_[j] = std::sin(omega * width_);
      cosNow_[j] = std::cos(omega * TimeOf(0));
      sinNow_[j] = std::sin(omega * TimeOf(0));
    }
  }
  // A share of the bins: the residual, the Jacobian's row and their sums.
  const auto perBin = static_cast<double>(p * p) / 2.0 + 8.0 * static_cast<double>(components);
  const auto count =
      std::max<std::size_t>(64, static_cast<std::size_t>(kJointWorkPerStep / perBin));
  const std::size_t end = std::min(bins, nextBin_ + count);
  const double half = 0.5 * static_cast<double>(bins);
  for (std::size_t k = nextBin_; k < end; ++k) {
    if (filled_[k]) {
      const double t = TimeOf(k);
      double model = parameters_[0] + parameters_[1] * (static_cast<double>(k) / half - 1.0);
      row_[0] = 1.0;
      row_[1] = static_cast<double>(k) / half - 1.0;
      for (std::size_t j = 0; j < components; ++j) {
        const double a = parameters_[2 + 3 * j], b = parameters_[3 + 3 * j];
        const double c = cosNow_[j], s = sinNow_[j];
        model += a * c + b * s;
        row_[2 + 3 * j] = c;
        row_[3 + 3 * j] = s;
        row_[4 + 3 * j] = t * (b * c - a * s);
      }
      const double r = binned_[k] - model;
      squares_ += r * r;
      for (std::size_t i = 0; i < p; ++i) {
        const double ri = row_[i];
        gradient_[i] += ri * r;
        for (std::size_t j = i; j < p; ++j) normal_[i * p + j] += ri * row_[j];
      }
    }
    for (std::size_t j = 0; j < components; ++j) {
      const double next = cosNow_[j] * cosStep_[j] - sinNow_[j] * sinStep_[j];
      sinNow_[j] = sinNow_[j] * cosStep_[j] + cosNow_[j] * sinStep_[j];
      cosNow_[j] = next;
    }
  }
  nextBin_ = end;
  if (nextBin_ < bins) return;

  // A pass is complete. Better than the best so far: a Gauss-Newton step from here; worse: half
  // the last step from the best.
  nextBin_ = 0;
  ++passes_;
  if (best_.empty() || squares_ <= bestSquares_) {
    best_ = parameters_;
    bestSquares_ = squares_;
    // The sums fill the upper triangle row by row: the lower one of the column-major map.
    Eigen::MatrixXd normal = Eigen::Map<Eigen::MatrixXd>(
        normal_.data(), static_cast<Eigen::Index>(p), static_cast<Eigen::Index>(p));
    normal = normal.selfadjointView<Eigen::Lower>();
    // A little damping keeps the step in the region where the model is nearly linear.
    normal.diagonal() *= 1.0 + 1e-6;
    const Eigen::VectorXd step = normal.ldlt().solve(
        Eigen::Map<Eigen::VectorXd>(gradient_.data(), static_cast<Eigen::Index>(p)));
    bestStep_.assign(p, 0.0);
    if (step.allFinite()) {
      for (std::size_t i = 0; i < p; ++i) bestStep_[i] = step(static_cast<Eigen::Index>(i));
    }
    stepScale_ = 1.0;
  } else {
    stepScale_ *= 0.5;
  }
  if (passes_ > kJointPasses) {
    Finish();
    return;
  }
  // No frequency moves by more than a quarter of the window's resolution in one step.
  const double span = width_ * static_cast<double>(bins);
  const double limit = 0.25 * 2.0 * std::numbers::pi / span;
  double scale = stepScale_;
  for (std::size_t j = 0; j < components; ++j) {
    const double move = std::abs(bestStep_[4 + 3 * j]) * scale;
    if (move > limit) scale *= limit / move;
  }
  for (std::size_t i = 0; i < p; ++i) parameters_[i] = best_[i] + scale * bestStep_[i];
}

void PeriodSearch::Finish() {
  // The best joint fit; each component again judged by its amplitude against the residual.
  const std::size_t components = (best_.size() - 2) / 3;
  const double n = static_cast<double>(filledCount_);
  const double sigma =
      std::sqrt(bestSquares_ / std::max(1.0, n - static_cast<double>(best_.size())));
  const double error = sigma * std::sqrt(2.0 / n);
  std::vector<std::pair<double, double>> kept;  // amplitude, frequency
  for (std::size_t j = 0; j < components; ++j) {
    const double amplitude = std::hypot(best_[2 + 3 * j], best_[3 + 3 * j]);
    const double omega = best_[4 + 3 * j];
    const double period = 2.0 * std::numbers::pi / omega;
    if (!(amplitude >= kMinSignificance * error) || !(period >= minPeriod_ * 0.9) ||
        !(period <= maxPeriod_ * 1.1)) {
      continue;
    }
    kept.emplace_back(amplitude, omega);
  }
  std::sort(kept.begin(), kept.end(), std::greater<>());
  found_.clear();
  for (const auto& strongest : kept) {
    const double omega = strongest.second;  // a plain name: lambdas may not capture a binding
    const bool apart = std::all_of(found_.begin(), found_.end(), [&](double other) {
      return std::abs(other - omega) >= minSeparation_;
    });
    if (apart) found_.push_back(omega);
  }
  stage_ = Stage::Done;
}

}  // namespace corvane
