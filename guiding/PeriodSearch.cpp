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
constexpr int kRefineIterations = 14;

using Matrix4 = Eigen::Matrix<double, 4, 4, Eigen::DontAlign>;
using Vector4 = Eigen::Matrix<double, 4, 1, Eigen::DontAlign>;

}  // namespace

PeriodSearch::PeriodSearch() {
  fft_.SetFlag(Eigen::FFT<double>::HalfSpectrum);
  padded_.assign(kFftSize, 0.0);
  binned_.reserve(kMaxBins);
  filled_.reserve(kMaxBins);
  residual_.reserve(kMaxBins);
}

void PeriodSearch::Start(const std::vector<SeriesSample>& samples, double minPeriod,
                         double maxPeriod) {
  minPeriod_ = minPeriod;
  maxPeriod_ = maxPeriod;
  candidates_.clear();
  accepted_.clear();
  found_.clear();
  next_ = 0;
  Bin(samples);
  stage_ = filledCount_ >= 16 && maxPeriod_ > minPeriod_ ? Stage::Spectrum : Stage::Done;
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
    case Stage::Idle:
    case Stage::Done:
      return true;
    case Stage::Spectrum:
      FindCandidates();
      stage_ = candidates_.empty() ? Stage::Done : Stage::Refine;
      return stage_ == Stage::Done;
    case Stage::Refine: {
      const double resolution = 2.0 * std::numbers::pi / (static_cast<double>(kFftSize) * width_);
      const double omega = candidates_[next_++];
      const double natural =
          resolution * static_cast<double>(kFftSize) / static_cast<double>(binned_.size());
      const bool apart = std::all_of(accepted_.begin(), accepted_.end(), [&](const Fit& f) {
        return std::abs(f.omega - omega) > 2.0 * natural;
      });
      if (apart) {
        const Fit fit = Refine(residual_, omega, 1.5 * resolution);
        if (fit.significance >= kMinSignificance) {
          Subtract(residual_, fit, 1.0);
          accepted_.push_back(fit);
        }
      }
      if (next_ >= candidates_.size() || accepted_.size() >= kMaxComponents) {
        next_ = 0;
        stage_ = accepted_.empty() ? Stage::Done : Stage::Polish;
      }
      break;
    }
    case Stage::Polish: {
      // Each component again, against the series without all the others.
      const double resolution = 2.0 * std::numbers::pi / (static_cast<double>(kFftSize) * width_);
      Fit& fit = accepted_[next_++];
      Subtract(residual_, fit, -1.0);
      const Fit polished = Refine(residual_, fit.omega, 0.75 * resolution);
      if (polished.significance >= kMinSignificance) fit = polished;
      Subtract(residual_, fit, 1.0);
      if (next_ >= accepted_.size()) stage_ = Stage::Done;
      break;
    }
  }
  if (stage_ != Stage::Done) return false;
  std::sort(accepted_.begin(), accepted_.end(),
            [](const Fit& a, const Fit& b) { return a.amplitude > b.amplitude; });
  found_.clear();
  for (const Fit& fit : accepted_) found_.push_back(fit.omega);
  return true;
}

void PeriodSearch::FindCandidates() {
  const std::size_t bins = binned_.size();
  std::fill(padded_.begin(), padded_.end(), 0.0);
  // A Hann window keeps a strong peak's leakage away from the weaker components.
  for (std::size_t k = 0; k < bins; ++k) {
    const double window =
        0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(k) /
                             static_cast<double>(std::max<std::size_t>(bins - 1, 1)));
    padded_[k] = binned_[k] * window;
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
    candidates_.push_back(2.0 * std::numbers::pi * static_cast<double>(k) / scale);
  }
}

PeriodSearch::Fit PeriodSearch::FitAt(const std::vector<double>& residual, double omega) const {
  // Least squares of a line and the sine on the filled bins; cos and sin by rotation.
  Matrix4 normal = Matrix4::Zero();
  Vector4 right = Vector4::Zero();
  const double step = omega * width_;
  const double cosStep = std::cos(step), sinStep = std::sin(step);
  double c = 1.0, s = 0.0;
  double squares = 0.0;
  for (std::size_t k = 0; k < residual.size(); ++k) {
    if (filled_[k]) {
      const Vector4 x(1.0, static_cast<double>(k) / static_cast<double>(residual.size()), c, s);
      normal.noalias() += x * x.transpose();
      right += x * residual[k];
      squares += residual[k] * residual[k];
    }
    const double nextC = c * cosStep - s * sinStep;
    s = s * cosStep + c * sinStep;
    c = nextC;
  }
  Fit fit;
  fit.omega = omega;
  const Vector4 theta = normal.ldlt().solve(right);
  if (!theta.allFinite()) return fit;
  fit.cosine = theta(2);
  fit.sine = theta(3);
  fit.amplitude = std::hypot(fit.cosine, fit.sine);
  const double n = static_cast<double>(filledCount_);
  const double rss = std::max(0.0, squares - theta.dot(right));
  const double sigma = std::sqrt(rss / std::max(1.0, n - 4.0));
  fit.significance = sigma > 0.0 ? fit.amplitude / (sigma * std::sqrt(2.0 / n)) : 0.0;
  return fit;
}

PeriodSearch::Fit PeriodSearch::Refine(const std::vector<double>& residual, double omega,
                                       double halfWidth) const {
  // Golden-section search for the best-fitting frequency, judged by the fitted amplitude.
  constexpr double kGolden = 0.6180339887498949;
  double a = std::max(omega - halfWidth, 0.5 * omega);
  double b = omega + halfWidth;
  double x1 = b - kGolden * (b - a), x2 = a + kGolden * (b - a);
  Fit f1 = FitAt(residual, x1), f2 = FitAt(residual, x2);
  for (int i = 0; i < kRefineIterations; ++i) {
    if (f1.amplitude > f2.amplitude) {
      b = x2;
      x2 = x1;
      f2 = f1;
      x1 = b - kGolden * (b - a);
      f1 = FitAt(residual, x1);
    } else {
      a = x1;
      x1 = x2;
      f1 = f2;
      x2 = a + kGolden * (b - a);
      f2 = FitAt(residual, x2);
    }
  }
  return f1.amplitude > f2.amplitude ? f1 : f2;
}

void PeriodSearch::Subtract(std::vector<double>& series, const Fit& fit, double sign) const {
  const double step = fit.omega * width_;
  const double cosStep = std::cos(step), sinStep = std::sin(step);
  double c = 1.0, s = 0.0;
  for (std::size_t k = 0; k < series.size(); ++k) {
    if (filled_[k]) series[k] -= sign * (fit.cosine * c + fit.sine * s);
    const double nextC = c * cosStep - s * sinStep;
    s = s * cosStep + c * sinStep;
    c = nextC;
  }
}

}  // namespace corvane
