#include "logtools/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <numbers>
#include <string>

#include <Eigen/Dense>

namespace corvane::logtools {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
// Cycles over which the pulses' effect is measured, and the length of the segments a long run is
// measured in, each with its own period within kLocalSteps steps of kLocalStep of the run's (see
// MeasureEffect).
constexpr std::size_t kLag = 4;
constexpr std::size_t kSegment = 600;
constexpr int kLocalSteps = 3;
constexpr double kLocalStep = 0.01;
constexpr std::size_t kBlocks = 20;           // stretches the standard errors' jackknife leaves out
constexpr std::size_t kFewestReplicates = 5;  // the jackknife's, for a spread to be told
// The star split's deviations at least (cycles less one times stars less one). The noise from
// them spreads by 1 / sqrt(4 deviations), here 3.5 %: within 10 % of the truth at nearly three
// standard errors. At two (from 100), one of 780 randomized nights was 12 % low (21 cycles of 9
// stars before its stars left the sensor; 5 % at one standard error over seeds).
constexpr std::size_t kSplitDeviations = 200;
constexpr double kWrongWay = 3.0;  // an axis's push away, in its sum's spreads, to be taken
constexpr int kPasses = 8;  // passes that take the pulses' answer to the noise out (see FitMotion)
constexpr std::size_t kSearchWindow = 2000;  // cycles the periods are first searched over
constexpr double kSearchSeconds = 3600.0;    // and seconds, at most
constexpr std::size_t kCandidates = 5;       // the window's minima tried on a longer run
constexpr std::size_t kFineRows = 20000;     // cycles the period is refined on, at most about
constexpr std::size_t kConfirmRows = 5000;   // and a period the window did not tell, checked on
// A mount that wanders at random (see MountWander): the lags its own motion's changes are compared
// over, the chunks of the run the comparison is repeated in, and how surely the longer must grow.
constexpr std::size_t kWanderLag = 32;
constexpr std::size_t kWanderChunk = 128;
constexpr double kWanderSure = 4.0;
constexpr std::size_t kWanderLong = 128;  // a walk goes on spreading over this many cycles
constexpr double kRepeats = 2.0;          // periods in the window that tell a walk apart

AxisFigures Figures(const std::vector<double>& v) {
  // The sums a follower of a run keeps, so its figures and these agree to the last digit; the
  // peak about the mean takes a second pass.
  AxisAccumulator sums;
  for (double x : v) sums.Add(x);
  AxisFigures f = sums.Figures();
  for (double x : v) f.peak = std::max(f.peak, std::abs(x - f.mean));
  return f;
}

// Two axes' offsets taken together: distances from their mean point.
TotalFigures Total(const std::vector<double>& a, const std::vector<double>& b,
                   const AxisFigures& fa, const AxisFigures& fb) {
  TotalFigures t;
  if (a.empty()) return t;
  double squares = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d2 = (a[i] - fa.mean) * (a[i] - fa.mean) + (b[i] - fb.mean) * (b[i] - fb.mean);
    squares += d2;
    t.peak = std::max(t.peak, std::sqrt(d2));
  }
  t.rms = std::sqrt(squares / static_cast<double>(a.size()));
  return t;
}

struct Regression {
  std::vector<double> cx, cy;  // coefficients per regressor for the X and the Y offset
  // The pulses' effect (the first two coefficients) before the noise they answer is taken out.
  std::vector<double> rawX, rawY;
  std::vector<double> speeds;  // each pulse axis's speed by instruments, where so measured
  double rss = 1e300;
  double inverse[2] = {0.0, 0.0};
  double dof = 1.0;
};

// A fit's regressors, row after row in one block: a long run's fits take hundreds of thousands
// of rows, and an allocation for each (and a copy of each into the fit) took over a quarter of
// stats' time on 200,000 cycles.
struct Design {
  explicit Design(std::size_t columns) : width(columns) {}
  std::size_t Rows() const { return values.size() / width; }
  const double* Row(std::size_t i) const { return values.data() + i * width; }
  std::size_t width;
  std::vector<double> values;
};

// The offsets against the cumulative pulses, a drift line and `harmonics` harmonics of `period`;
// what it leaves of each row's X and Y offset into `left`, where given.
Regression Fit(const Design& base, const std::vector<double>& time, double period, int harmonics,
               const std::vector<double>& ox, const std::vector<double>& oy,
               const double (*addX)[2] = nullptr, const double (*addY)[2] = nullptr,
               std::vector<double>* left = nullptr) {
  const std::size_t k = ox.size();
  if (base.Rows() == 0) return {};
  const std::size_t p = base.width + 2 * static_cast<std::size_t>(harmonics);
  if (k <= p) return {};
  const auto size = static_cast<Eigen::Index>(p);
  Eigen::MatrixXd ata = Eigen::MatrixXd::Zero(size, size);
  Eigen::VectorXd atx = Eigen::VectorXd::Zero(size), aty = Eigen::VectorXd::Zero(size);
  std::vector<double> row(p);
  // Row i of the design: the base regressors, then the cosine and sine of each harmonic.
  auto rowAt = [&](std::size_t i) -> const double* {
    if (harmonics == 0) return base.Row(i);
    std::copy(base.Row(i), base.Row(i) + base.width, row.begin());
    std::size_t c = base.width;
    for (int h = 1; h <= harmonics; ++h) {
      const double phase = 2.0 * std::numbers::pi * h * time[i] / period;
      row[c++] = std::cos(phase);
      row[c++] = std::sin(phase);
    }
    return row.data();
  };
  for (std::size_t i = 0; i < k; ++i) {
    const double* x = rowAt(i);
    for (Eigen::Index r = 0; r < size; ++r) {
      const double v = x[r];
      for (Eigen::Index s = r; s < size; ++s) ata(r, s) += v * x[s];
      atx(r) += v * ox[i];
      aty(r) += v * oy[i];
    }
  }
  ata.triangularView<Eigen::StrictlyLower>() = ata.transpose();
  for (Eigen::Index r = 0; r < 2 && r < size; ++r) {
    if (addX) atx(r) += (*addX)[r];
    if (addY) aty(r) += (*addY)[r];
  }
  // The normal equations (with the correction added) by QR with column pivoting: a design whose
  // columns are not independent (a period the run does not cover, pulses on one axis only) is
  // no fit.
  Regression fit;
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(ata);
  if (qr.rank() < size) return fit;
  const Eigen::VectorXd bx = qr.solve(atx), by = qr.solve(aty);
  if (!bx.allFinite() || !by.allFinite()) return fit;
  fit.cx.assign(bx.data(), bx.data() + size);
  fit.cy.assign(by.data(), by.data() + size);
  // The first two diagonal elements of the inverse: the variances of the first two coefficients
  // per unit of residual variance.
  for (Eigen::Index c = 0; c < 2 && c < size; ++c) {
    fit.inverse[c] = qr.solve(Eigen::VectorXd::Unit(size, c))(c);
  }
  fit.dof = static_cast<double>(k) - static_cast<double>(p);
  fit.rss = 0.0;
  for (std::size_t i = 0; i < k; ++i) {
    const double* x = rowAt(i);
    double px = 0.0, py = 0.0;
    for (std::size_t r = 0; r < p; ++r) {
      px += x[r] * fit.cx[r];
      py += x[r] * fit.cy[r];
    }
    fit.rss += (ox[i] - px) * (ox[i] - px) + (oy[i] - py) * (oy[i] - py);
    if (left) left->insert(left->end(), {ox[i] - px, oy[i] - py});
  }
  return fit;
}

double CircularMean(double a1, double w1, double a2, double w2) {
  return std::atan2(w1 * std::sin(a1) + w2 * std::sin(a2), w1 * std::cos(a1) + w2 * std::cos(a2));
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double Normalize(double degrees) {
  degrees = std::fmod(degrees, 360.0);
  if (degrees < 0) degrees += 360.0;
  return degrees;
}

// The host's GuiderAngle and GuiderReverseX as its own pulses show them. The host turns the offset
// into pulses by its angle A: Y seconds along (-sin A, cos A), X seconds along (cos A, sin A),
// negated when it reverses X. The Y pulses below the largest give A; each X pulse's sign against
// the offset along A then says whether the host reversed X. Unknown where the pulses are too few or
// disagree (a law other than this one).
// The gains too: the pulse seconds per pixel of offset along each axis (aggressiveness / 20 over
// the speed; X's as it acts at the run's declination), 0 where too few pulses hold the law.
struct HostLaw {
  double angle = 0.0;  // radians
  bool reverseX = false;
  double xGain = 0.0, yGain = 0.0;
};
std::optional<HostLaw> HostLawOf(const guidelog::LogRun& run) {
  double cap = 0.0, capX = 0.0;
  for (const guidelog::LogRow& r : run.rows) {
    cap = std::max(cap, std::abs(r.ytim));
    capX = std::max(capX, std::abs(r.xtim));
  }
  double xx = 0.0, xy = 0.0, yy = 0.0, xp = 0.0, yp = 0.0, pp = 0.0;
  int taken = 0;
  for (const guidelog::LogRow& r : run.rows) {
    if (r.ytim == 0.0 || std::abs(r.ytim) >= 0.999 * cap) continue;
    xx += r.xoff * r.xoff;
    xy += r.xoff * r.yoff;
    yy += r.yoff * r.yoff;
    xp += r.xoff * r.ytim;
    yp += r.yoff * r.ytim;
    pp += r.ytim * r.ytim;
    ++taken;
  }
  const double det = xx * yy - xy * xy;
  if (taken < 5 || !(std::abs(det) > 1e-30)) return std::nullopt;
  const double u = (yy * xp - xy * yp) / det, v = (xx * yp - xy * xp) / det;
  // The law holds to the pulses' rounding, or it is not this law.
  const double left = pp - (u * xp + v * yp);
  if (!(left <= 1e-4 * pp)) return std::nullopt;
  const double a = std::atan2(-u, v);
  int straight = 0, reversed = 0;
  for (const guidelog::LogRow& r : run.rows) {
    const double along = r.xoff * std::cos(a) + r.yoff * std::sin(a);
    if (r.xtim == 0.0 || along == 0.0) continue;
    ((r.xtim > 0.0) == (along > 0.0) ? straight : reversed) += 1;
  }
  if (straight + reversed < 5) return std::nullopt;
  HostLaw law{a, reversed >= 9 * straight, 0.0, 0.0};
  if (!law.reverseX && !(straight >= 9 * reversed)) return std::nullopt;
  law.yGain = std::hypot(u, v);
  // X: the pulses below the largest against the offset along A, to the pulses' rounding too.
  double aa = 0.0, ap = 0.0, xpp = 0.0;
  int xTaken = 0;
  for (const guidelog::LogRow& r : run.rows) {
    if (r.xtim == 0.0 || std::abs(r.xtim) >= 0.999 * capX) continue;
    const double along = r.xoff * std::cos(a) + r.yoff * std::sin(a);
    aa += along * along;
    ap += std::abs(along * r.xtim);
    xpp += r.xtim * r.xtim;
    ++xTaken;
  }
  if (xTaken >= 5 && aa > 0.0 && xpp - ap * ap / aa <= 1e-4 * xpp) law.xGain = ap / aa;
  return law;
}

}  // namespace

// Student's t at 97.5 % by its expansion in powers of 1/nu (Abramowitz and Stegun 26.7.5), within
// 0.3 % from four degrees of freedom up: the standard library and Eigen have no t quantile.
double FewReplicatesWidening(std::size_t replicates) {
  constexpr double z = 1.959963984540054;
  const double nu = static_cast<double>(std::max<std::size_t>(replicates, 5) - 1);
  const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
  const double t = z + (z3 + z) / (4.0 * nu) + (5.0 * z5 + 16.0 * z3 + 3.0 * z) / (96.0 * nu * nu) +
                   (3.0 * z7 + 19.0 * z5 + 17.0 * z3 - 15.0 * z) / (384.0 * nu * nu * nu);
  return t / z;
}

namespace {

// A delete-a-block jackknife's standard error from each replicate's departure from the whole
// run's figure, out of `blocks` replicates (those that could be fitted stand for all), widened
// for the few replicates it is counted from: two of it hold the truth 95 % of the time.
double JackknifeError(const std::vector<double>& departures, std::size_t blocks) {
  double squares = 0.0;
  for (double d : departures) squares += d * d;
  const double n = static_cast<double>(blocks);
  return FewReplicatesWidening(departures.size()) *
         std::sqrt((n - 1.0) * squares / static_cast<double>(departures.size()));
}

// The same from the departures' median size (the RMS of a normal spread is 1.4826 times its
// median absolute value): what most replicates say, whatever a few of them do.
double TypicalJackknifeError(std::vector<double> departures, std::size_t blocks) {
  for (double& d : departures) d = std::abs(d);
  const auto middle = departures.begin() + static_cast<std::ptrdiff_t>(departures.size() / 2);
  std::nth_element(departures.begin(), middle, departures.end());
  const double n = static_cast<double>(blocks);
  return std::sqrt(n - 1.0) * 1.4826 * *middle;
}

}  // namespace

void AxisAccumulator::Add(double value) {
  ++count_;
  const double delta = value - mean_;
  mean_ += delta / static_cast<double>(count_);
  squares_ += delta * (value - mean_);
  low_ = count_ == 1 ? value : std::min(low_, value);
  high_ = count_ == 1 ? value : std::max(high_, value);
  largest_ = std::max(largest_, std::abs(value));
}

AxisFigures AxisAccumulator::Figures() const {
  AxisFigures f;
  if (count_ == 0) return f;
  f.mean = mean_;
  f.rms = std::sqrt(std::max(squares_, 0.0) / static_cast<double>(count_));
  f.peakToPeak = high_ - low_;
  return f;
}

MountOffset ToMountAxes(double xoff, double yoff, double angleDeg, bool reverseX) {
  const double a = angleDeg * kDegree;
  const double x = xoff * std::cos(a) + yoff * std::sin(a);
  return {reverseX ? -x : x, yoff * std::cos(a) - xoff * std::sin(a)};
}

std::pair<double, double> InMountAxes(double xoff, double yoff, const MountAxes& axes) {
  const MountOffset m = ToMountAxes(xoff, yoff, axes.angleDeg, axes.reverseX);
  return {m.ra, m.dec};
}

CycleUse CycleUseOf(const guidelog::LogRow& r, int stars, const RunSettings& settings) {
  // Pixels and seconds beyond any guider or any night: a corrupted or hostile value.
  constexpr double kLargest = 1e7;
  const auto readable = [](double v) { return std::isfinite(v) && std::abs(v) < kLargest; };
  const double minSN = settings.minSN.value_or(3.0);
  const int required = std::min(settings.minStars.value_or(4), stars);
  bool ok = readable(r.xave) && readable(r.yave) && readable(r.xoff) && readable(r.yoff) &&
            readable(r.xtim) && readable(r.ytim);
  int taking = 0;
  for (const guidelog::LogStar& s : r.stars) {
    ok = ok && readable(s.xpos) && readable(s.ypos) && readable(s.xoff) && readable(s.yoff) &&
         readable(s.sn);
    taking += s.sn >= minSN ? 1 : 0;
  }
  const bool pulsed = r.xtim != 0.0 || r.ytim != 0.0;
  return !ok                            ? CycleUse::Unreadable
         : taking < required && !pulsed ? CycleUse::Lost
                                        : CycleUse::Guided;
}

std::vector<CycleUse> CycleUses(const guidelog::LogRun& run, const RunSettings& settings) {
  std::vector<CycleUse> uses;
  uses.reserve(run.rows.size());
  for (const guidelog::LogRow& r : run.rows) uses.push_back(CycleUseOf(r, run.stars, settings));
  return uses;
}

guidelog::LogRun ReadableRows(const guidelog::LogRun& run, const std::vector<CycleUse>& uses,
                              std::vector<int>* lines) {
  guidelog::LogRun readable = run;
  readable.rows.clear();
  readable.rowLines.clear();
  for (std::size_t i = 0; i < run.rows.size(); ++i) {
    const int line = i < run.rowLines.size() ? run.rowLines[i] : 0;
    if (i < uses.size() && uses[i] == CycleUse::Unreadable) {
      if (lines) lines->push_back(line);
      continue;
    }
    readable.rows.push_back(run.rows[i]);
    readable.rowLines.push_back(line);
  }
  return readable;
}

std::string LineRanges(const std::vector<int>& lines, std::size_t most) {
  std::vector<std::string> ranges;
  std::size_t more = 0;
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t j = i;
    while (j + 1 < lines.size() && lines[j + 1] == lines[j] + 1) ++j;
    if (ranges.size() < most) {
      ranges.push_back(std::to_string(lines[i]) +
                       (j > i ? "-" + std::to_string(lines[j]) : std::string()));
    } else {
      more += j - i + 1;
    }
    i = j + 1;
  }
  std::string out = lines.size() == 1 ? "line " : "lines ";
  for (std::size_t r = 0; r < ranges.size(); ++r) {
    out += (r == 0 ? "" : r + 1 == ranges.size() && more == 0 ? " and " : ", ") + ranges[r];
  }
  if (more > 0) out += " and " + std::to_string(more) + " more";
  return out;
}

double PolledSeconds(double seconds) {
  return seconds > 0.0 ? std::ceil(seconds / 0.1 - 1e-6) * 0.1 : 0.0;
}

std::vector<double> CycleTimes(const guidelog::LogRun& run, const RunSettings& settings) {
  if (!run.seconds.empty()) return run.seconds;  // measured: when each frame of a record arrived
  std::vector<double> times;
  if (!settings.exposure) return times;
  double t = 0.0;
  for (const guidelog::LogRow& row : run.rows) {
    times.push_back(t);
    t += PolledSeconds(*settings.exposure + settings.download) + PolledSeconds(std::abs(row.xtim)) +
         PolledSeconds(std::abs(row.ytim));
  }
  return times;
}

std::size_t SplitCyclesNeeded(int stars) {
  const std::size_t others = static_cast<std::size_t>(std::max(stars, 2) - 1);
  return std::max<std::size_t>(10, (kSplitDeviations + others - 1) / others + 1);
}

StarSplit SplitStars(const guidelog::LogRun& run, double minSN, std::vector<StarFigures>* stars) {
  StarSplit split;
  const std::size_t n = static_cast<std::size_t>(run.stars);
  // Cycles in which every star took part; each star's own constant offset (its reference was
  // one seeing sample) is taken out first.
  std::vector<const guidelog::LogRow*> used;
  for (const guidelog::LogRow& row : run.rows) {
    bool all = true;
    for (const guidelog::LogStar& s : row.stars) all = all && s.sn >= minSN;
    if (all) used.push_back(&row);
  }
  split.cyclesUsed = static_cast<int>(used.size());
  if (n < 2 || used.size() < SplitCyclesNeeded(run.stars)) return split;
  std::vector<double> meanX(n, 0.0), meanY(n, 0.0);
  for (const guidelog::LogRow* row : used) {
    for (std::size_t i = 0; i < n; ++i) {
      meanX[i] += row->stars[i].xoff;
      meanY[i] += row->stars[i].yoff;
    }
  }
  const double count = static_cast<double>(used.size());
  for (std::size_t i = 0; i < n; ++i) {
    meanX[i] /= count;
    meanY[i] /= count;
  }
  // m_i: mean square of star i about the cycle's mean of all stars. With independent noise
  // sigma_i, E[m_i] = sigma_i^2 (1 - 2/N) + S / N^2 where S is the sum of all sigma^2; so the sum
  // of all m_i is S (1 - 1/N). Each star's own mean over the cycles takes one cycle's worth of
  // it (on 20 cycles, 2.5 % of the noise).
  std::vector<double> mx(n, 0.0), my(n, 0.0);
  std::vector<double> common;
  for (const guidelog::LogRow* row : used) {
    double cx = 0.0, cy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      cx += row->stars[i].xoff - meanX[i];
      cy += row->stars[i].yoff - meanY[i];
    }
    cx /= static_cast<double>(n);
    cy /= static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double rx = row->stars[i].xoff - meanX[i] - cx;
      const double ry = row->stars[i].yoff - meanY[i] - cy;
      mx[i] += rx * rx / (count - 1.0);
      my[i] += ry * ry / (count - 1.0);
    }
  }
  const double nn = static_cast<double>(n);
  double sx = 0.0, sy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sx += mx[i];
    sy += my[i];
  }
  sx /= (1.0 - 1.0 / nn);
  sy /= (1.0 - 1.0 / nn);
  std::vector<double> varX(n), varY(n);
  for (std::size_t i = 0; i < n; ++i) {
    varX[i] = n > 2 ? std::max(0.0, (mx[i] - sx / (nn * nn)) / (1.0 - 2.0 / nn)) : sx / nn;
    varY[i] = n > 2 ? std::max(0.0, (my[i] - sy / (nn * nn)) / (1.0 - 2.0 / nn)) : sy / nn;
  }
  double worst = -1.0;
  for (std::size_t i = 0; i < n; ++i) {
    if (stars && i < stars->size()) {
      (*stars)[i].noiseX = std::sqrt(varX[i]);
      (*stars)[i].noiseY = std::sqrt(varY[i]);
    }
    if (varX[i] + varY[i] > worst) {
      worst = varX[i] + varY[i];
      split.noisiest = static_cast<int>(i) + 1;
    }
  }
  split.available = true;
  split.oneStar = std::sqrt((sx + sy) / (2.0 * nn));
  split.meanOfN = std::sqrt((sx + sy) / 2.0) / nn;
  // The common motion: what the mean of the stars moves, less the noise the mean still holds.
  std::vector<double> meanXs, meanYs;
  for (const guidelog::LogRow* row : used) {
    double cx = 0.0, cy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      cx += row->stars[i].xoff;
      cy += row->stars[i].yoff;
    }
    meanXs.push_back(cx / nn);
    meanYs.push_back(cy / nn);
  }
  const double total = (std::pow(Figures(meanXs).rms, 2) + std::pow(Figures(meanYs).rms, 2)) / 2.0;
  split.common = std::sqrt(std::max(0.0, total - split.meanOfN * split.meanOfN));
  // Stars worth having: adding one more improves the mean's RMS by less than 5 %.
  const double c2 = split.common * split.common, s2 = split.oneStar * split.oneStar;
  split.worthStars = 10;
  for (int k = 1; k < 10; ++k) {
    const double now = std::sqrt(c2 + s2 / k), next = std::sqrt(c2 + s2 / (k + 1));
    if (next > 0.95 * now) {
      split.worthStars = k;
      break;
    }
  }
  return split;
}

namespace {

constexpr int kHarmonics = 3;  // of the periodic error's period

// Whether period q, leaving `left` of what a drift alone leaves (`without`), fits about as well
// as period p, leaving `least`: q is no harmonic of p nor p of q (such fits share terms), the two
// leave amounts apart by less than noise alone could make (`unsure`), and q takes at least three
// quarters of what p takes.
bool Rivals(double p, double least, double q, double left, double without, double unsure) {
  for (const double ratio : {1.0 / 3.0, 0.5, 2.0 / 3.0, 1.0, 1.5, 2.0, 3.0}) {
    if (std::abs(std::log(q / p / ratio)) < 0.04) return false;
  }
  return left - least < unsure && without - left >= 0.75 * (without - least);
}

// The motion of a run fitted in stages, each a method: the loop's gain, the pulses' effect (with
// the pulses' answer to the noise taken out), the periodic error's period, the effect over a long
// run's segments, the calibration and its standard errors, the drift and the periodic error's
// shape. Result() runs them in turn.
class MotionFitter {
 public:
  MotionFitter(const guidelog::LogRun& run, const RunSettings& settings);
  MotionFit Result();

 private:
  // fitWith(period, from, to, stride): a fit with that period over the cycles from `from` to
  // before `to`, every stride-th of them.
  using FitWith = std::function<Regression(double, std::size_t, std::size_t, std::size_t)>;
  struct Calibration {
    double xSpeed = 0.0, ySpeed = 0.0, angle = 0.0;  // radians
  };

  void MeasureLoopGain();
  Regression PulseEffectIn(double period, std::size_t stride, std::size_t from, std::size_t to,
                           std::size_t holeFrom = 0, std::size_t holeTo = 0,
                           bool searching = false) const;
  Regression OwnMotionIn(const Regression& effect, double period, std::size_t stride,
                         std::size_t from, std::size_t to, std::size_t holeFrom = 0,
                         std::size_t holeTo = 0, std::vector<double>* left = nullptr) const;
  Regression OwnMotion(const Regression& effect, double period) const {
    return OwnMotionIn(effect, period, 1, 0, k_);
  }
  double SearchPeriod(const FitWith& fitWith, Regression& best, bool& settled) const;
  // The period of the mount's own motion after the pulses as `by` moved them (see SearchPeriod).
  double OwnPeriod(const Regression& by, Regression& best, bool& settled) const {
    return SearchPeriod(
        [this, &by](double period, std::size_t from, std::size_t to, std::size_t stride) {
          return OwnMotionIn(by, period, stride, from, to);
        },
        best, settled);
  }
  void LeftByCycle(std::size_t from, std::size_t to, const std::vector<double>& left,
                   std::vector<double>& ux, std::vector<double>& uy) const;
  void SquaredChanges(const std::vector<double>& ux, const std::vector<double>& uy,
                      std::size_t from, std::size_t begin, std::size_t end, std::size_t lag,
                      double& sum, double& count) const;
  std::vector<std::pair<std::size_t, std::size_t>> Split(std::size_t length) const;
  bool MeasureEffect();
  double SegmentPeriod(std::size_t from, std::size_t to) const;
  bool Instrument(const Design& own, const std::vector<std::size_t>& starts, std::size_t from,
                  std::size_t holeFrom, std::size_t holeTo, Regression& r) const;
  double MountWander(double& perCycle, double* white = nullptr, const Regression* effect = nullptr,
                     double period = -1.0) const;
  // Whether the search window holds `period` often enough for it to stand for a periodic error
  // and not a walk's slow swing: with every mount of 60 randomized nights wandering by
  // 0.03-0.05"/s^0.5, the walks fitted periods of 2,178-7,280 s, fewer than two in the window
  // (taken for periodic errors, about a quarter of the walks went untold).
  bool Repeats(double period) const { return period > 0.0 && windowSpan_ >= kRepeats * period; }
  // Whether a walk told remains beside `period` where the window repeats it (`effect` as in
  // MountWander).
  bool WalkBeside(double period, const Regression* effect) const {
    double perCycle = 0.0;
    return !Repeats(period) || MountWander(perCycle, nullptr, effect, period) > kWanderSure;
  }
  Regression Instrumented(Regression r) const;
  Regression EffectWithout(std::size_t holeFrom, std::size_t holeTo) const;
  void UseHostCalibration();
  void Calibrate();
  Calibration CalibrationOf(const Regression& e) const;
  void StandardErrors();
  std::pair<std::size_t, std::size_t> Block(std::size_t b) const {
    return {blockStarts_[b], blockStarts_[b + 1]};
  }
  double PushedAlongHostX() const;
  void ToMountBy(const Regression& by, double px, double py, double& ra, double& dec) const;
  void TellWander();
  void Drift();
  void PeriodicShape();

  const guidelog::LogRun& run_;
  const RunSettings& settings_;
  MotionFit fit_;
  std::size_t k_ = 0, lag_ = 0;
  std::vector<double> time_, ox_, oy_, cumX_, cumY_;
  // A cycle lost for want of stars measured nothing: no change starts or ends at it (its pulses,
  // none, still count between the cycles around it).
  std::vector<bool> lost_;
  double span_ = 0.0;
  double gain_[2][2] = {{0, 0}, {0, 0}};  // pulse seconds on axis a per pixel of offset b
  // The period search's window (see SearchPeriod) and the fine search's stride.
  std::size_t window_ = 0, fineStride_ = 1;
  double windowSpan_ = 0.0, shortest_ = 0.0;
  double bestPeriod_ = 0.0;
  bool periodSettled_ = true;   // see SearchPeriod
  bool instrumented_ = false;   // the pulses' effect by instruments (see MeasureEffect)
  double wander_ = 0.0;         // the mount's random walk where told: px^2 per cycle (see Drift)
  bool periodLeftOut_ = false;  // a periodic error passed for a walk (see MeasureEffect)
  double whiteBeside_ = 0.0;    // the measurement noise beside it: px^2 per axis (see MountWander)
  Regression effect_;           // the pulses' effect
  Regression motion_;           // the mount's own motion after the pulses
  Regression hostOrEffect_;     // the pulses as the host calibrated them where given, else effect_
  std::vector<std::pair<std::size_t, std::size_t>> segments_;
  std::vector<Regression> segmentEffects_;
  std::vector<double> segmentPeriods_;  // each segment's period in the run's modelled clock
  double varX_ = 0.0, varY_ = 0.0;      // the regression's variances of the effect's columns
  std::optional<HostLaw> host_;
  double wx_ = 0.0, wy_ = 0.0;  // each axis's direction's precision
  Calibration whole_;
  std::size_t blocks_ = 0;
  std::vector<std::size_t> blockStarts_;                        // each block's first cycle, and k_
  std::vector<std::pair<std::size_t, Regression>> replicates_;  // block, effect without it
};

MotionFitter::MotionFitter(const guidelog::LogRun& run, const RunSettings& settings)
    : run_(run), settings_(settings), k_(run.rows.size()) {
  time_ = CycleTimes(run, settings);
  fit_.timeInSeconds = !time_.empty();
  if (time_.empty()) {
    for (std::size_t i = 0; i < k_; ++i) time_.push_back(static_cast<double>(i));
  }
  if (k_ == 0) return;
  span_ = time_.back() - time_.front();
  for (const CycleUse use : CycleUses(run, settings)) lost_.push_back(use == CycleUse::Lost);
  cumX_.assign(k_ + 1, 0.0);
  cumY_.assign(k_ + 1, 0.0);
  for (std::size_t i = 0; i < k_; ++i) {
    ox_.push_back(run.rows[i].xoff);
    oy_.push_back(run.rows[i].yoff);
    cumX_[i + 1] = cumX_[i] + run.rows[i].xtim;
    cumY_[i + 1] = cumY_[i] + run.rows[i].ytim;
  }
  lag_ = std::min<std::size_t>(kLag, k_ / 4);
}

MotionFit MotionFitter::Result() {
  if (k_ < 20) return {};
  MeasureLoopGain();
  // The periodic error's period: the one that explains the changes best, taken only when it
  // explains clearly more than a drift alone.
  effect_ = PulseEffectIn(0.0, 1, 0, k_, 0, 0, true);
  if (effect_.cx.empty()) return fit_;
  // A coarse search over the periods on the run's first kSearchWindow cycles or kSearchSeconds,
  // then finer and finer about the best on all of them. The window keeps every cycle: a worm
  // period stays within reach however long the run (a search over the whole run sampled sparsely
  // would start above it), and a grid of 2 % steps stays fine enough for the few worm periods it
  // spans. (Over 2000 cycles of 6 s, 60 worm periods of 200 s, a step of 2 % is half a turn: the
  // grid then missed the worm and took one and a half times it, whose third harmonic fits the
  // worm's second.)
  window_ = std::min(k_, kSearchWindow);
  if (fit_.timeInSeconds) {
    while (window_ > 300 && time_[window_ - 1] - time_.front() > kSearchSeconds) --window_;
  }
  windowSpan_ = time_[window_ - 1] - time_.front();
  shortest_ = window_ == k_ ? std::max(span_ / 40.0, 8.0 * span_ / static_cast<double>(k_))
                            : 8.0 * windowSpan_ / static_cast<double>(window_);
  // The fine search takes every stride-th cycle of a very long run (at most about kFineRows): the
  // whole run's time keeps the period's precision, and the periodic terms are known at each cycle
  // taken, so no other period can pass for the one sought.
  fineStride_ = std::max<std::size_t>(1, k_ / kFineRows);
  bestPeriod_ = SearchPeriod(
      [this](double period, std::size_t from, std::size_t to, std::size_t stride) {
        return PulseEffectIn(period, stride, from, to, 0, 0, true);
      },
      effect_, periodSettled_);
  if (!MeasureEffect()) return fit_;
  motion_ = OwnMotion(effect_, bestPeriod_);
  hostOrEffect_ = effect_;
  UseHostCalibration();
  if (effect_.cx.empty()) return fit_;
  fit_.available = true;
  Calibrate();
  StandardErrors();
  TellWander();
  Drift();
  PeriodicShape();
  return fit_;
}

// The loop's gain: the pulses against the offsets they answered, over the run's measured cycles
// (a lost cycle answered nothing: a run whose stars left the sensor, with thousands of lost
// cycles against a hundred guided, had its gain set by the lost cycles' zero pulses).
void MotionFitter::MeasureLoopGain() {
  Design base(3);
  std::vector<double> px, py, t;
  for (std::size_t i = 0; i < k_; ++i) {
    if (lost_[i]) continue;
    t.push_back(0.0);
    base.values.insert(base.values.end(), {ox_[i], oy_[i], 1.0});
    px.push_back(run_.rows[i].xtim);
    py.push_back(run_.rows[i].ytim);
  }
  const Regression loop = Fit(base, t, 1.0, 0, px, py);
  if (!loop.cx.empty()) {
    gain_[0][0] = loop.cx[0];
    gain_[0][1] = loop.cx[1];
    gain_[1][0] = loop.cy[0];
    gain_[1][1] = loop.cy[1];
  }
}

// How the pulses acted, from how the offset changed over kLag cycles against the pulses issued in
// between, over the cycles from `from` to before `to` (every stride-th) and without those in
// [holeFrom, holeTo). The change holds, with the opposite sign, the measurement noise n of the
// offset it starts from, and the pulses react to that noise: over one cycle that makes the pulses
// look far stronger than they are (80 % on a well-guided run). The loop takes its reaction back
// over the following cycles: after L cycles the pulses moved by D_L n, D_L = (I + G B)^(L-1) G,
// with G the loop's gain (pulse per offset, fitted over the run) and B the pulses' effect. Over
// kLag cycles little is left, and what is left is taken out of the normal equations: the expected
// product of the pulses and the change is -s2 D_L per cycle, s2 the offset's noise variance (half
// the residual variance of the changes over one cycle, once the pulses' effect is taken out). A
// timid loop's pulses answer the noise for many cycles, so the correction is large there and its
// s2 must come from an effect already corrected: kPasses passes, each from the effect of the pass
// before. (Eight took the bias of aggressiveness 3 from +30-50 % to mostly within the standard
// errors; more did worse on randomized nights.) `searching`: only to rank periods by what they
// leave, in two passes with s2 from the changes over kLag cycles (about three times quicker).
Regression MotionFitter::PulseEffectIn(double period, std::size_t stride, std::size_t from,
                                       std::size_t to, std::size_t holeFrom, std::size_t holeTo,
                                       bool searching) const {
  const auto inHole = [&](std::size_t i, std::size_t reach) {
    return i + reach >= holeFrom && i < holeTo;
  };
  std::vector<double> dx, dy, dt;
  // The periodic terms at cycle i (cos and sin of each harmonic), each cycle's computed once
  // where every cycle is taken.
  const int harmonics = period > 0.0 ? kHarmonics : 0;
  const double w = period > 0.0 ? 2.0 * std::numbers::pi / period : 0.0;
  const auto termsAt = [&](std::size_t i, double* out) {
    if (harmonics == 0) return;
    // The higher harmonics from the first by the angle-sum formulas.
    const double c1 = std::cos(w * time_[i]), s1 = std::sin(w * time_[i]);
    double c = c1, s = s1;
    for (int h = 1; h <= harmonics; ++h) {
      *out++ = c;
      *out++ = s;
      const double next = c * c1 - s * s1;
      s = s * c1 + c * s1;
      c = next;
    }
  };
  const std::size_t width = 2 * static_cast<std::size_t>(harmonics);
  std::vector<double> terms;
  if (stride == 1 && width > 0 && to > from) {
    terms.resize(width * (to - from));
    for (std::size_t i = from; i < to; ++i) termsAt(i, &terms[width * (i - from)]);
  }
  // The mount's own motion between cycles i and j: the drift's time and the periodic terms.
  const auto ownMotionBetween = [&](std::size_t i, std::size_t j, std::vector<double>& row) {
    row.push_back((time_[j] - time_[i]) / span_);
    double ti[2 * kHarmonics], tj[2 * kHarmonics];
    const double* at = ti;
    const double* bt = tj;
    if (terms.empty()) {
      termsAt(i, ti);
      termsAt(j, tj);
    } else {
      at = &terms[width * (i - from)];
      bt = &terms[width * (j - from)];
    }
    for (std::size_t c = 0; c < width; ++c) row.push_back(bt[c] - at[c]);
  };
  Design base(3 + width);
  const std::size_t most = to > from ? (to - from) / stride + 1 : 0;  // rows at most
  base.values.reserve(base.width * most);
  dx.reserve(most);
  dy.reserve(most);
  dt.reserve(most);
  for (std::size_t i = from; i + lag_ < to; i += stride) {
    if (inHole(i, lag_) || lost_[i] || lost_[i + lag_]) continue;
    base.values.insert(base.values.end(), {cumX_[i + lag_] - cumX_[i], cumY_[i + lag_] - cumY_[i]});
    ownMotionBetween(i, i + lag_, base.values);
    dx.push_back(ox_[i + lag_] - ox_[i]);
    dy.push_back(oy_[i + lag_] - oy_[i]);
    dt.push_back(0.0);
  }
  Regression r = Fit(base, dt, 1.0, 0, dx, dy);
  if (r.cx.empty()) return r;
  const std::vector<double> rawX = {r.cx[0], r.cx[1]}, rawY = {r.cy[0], r.cy[1]};
  // The changes over one cycle, for the noise (the mount's own motion over them as regressors).
  Design rows(1 + width);
  std::vector<std::size_t> starts;
  if (!searching) {
    rows.values.reserve(rows.width * most);
    starts.reserve(most);
    for (std::size_t i = from; i + 1 < to; i += stride) {
      if (inHole(i, 1) || lost_[i] || lost_[i + 1]) continue;
      ownMotionBetween(i, i + 1, rows.values);
      starts.push_back(i);
    }
  }
  const std::vector<double> zero(starts.size(), 0.0);
  for (int pass = 0; pass < (searching ? 2 : kPasses); ++pass) {
    double s2 = r.rss / (4.0 * std::max(1.0, r.dof));
    // The noise from the changes over one cycle, after the pulses as this pass measured them:
    // over kLag cycles the mount's motion that no fit models would count as noise too.
    if (!searching) {
      std::vector<double> ex, ey;
      for (const std::size_t i : starts) {
        const double px = run_.rows[i].xtim, py = run_.rows[i].ytim;
        ex.push_back(ox_[i + 1] - ox_[i] - r.cx[0] * px - r.cx[1] * py);
        ey.push_back(oy_[i + 1] - oy_[i] - r.cy[0] * px - r.cy[1] * py);
      }
      const Regression noise = Fit(rows, zero, 1.0, 0, ex, ey);
      if (!noise.cx.empty()) s2 = noise.rss / (4.0 * std::max(1.0, noise.dof));
    }
    const double gb[2][2] = {{gain_[0][0] * r.cx[0] + gain_[0][1] * r.cy[0],
                              gain_[0][0] * r.cx[1] + gain_[0][1] * r.cy[1]},
                             {gain_[1][0] * r.cx[0] + gain_[1][1] * r.cy[0],
                              gain_[1][0] * r.cx[1] + gain_[1][1] * r.cy[1]}};
    double d[2][2] = {{gain_[0][0], gain_[0][1]}, {gain_[1][0], gain_[1][1]}};
    for (std::size_t step = 1; step < lag_; ++step) {
      double next[2][2];
      for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < 2; ++b) next[a][b] = d[a][b] + gb[a][0] * d[0][b] + gb[a][1] * d[1][b];
      }
      std::copy(&next[0][0], &next[0][0] + 4, &d[0][0]);
    }
    const double n = static_cast<double>(base.Rows()) * s2;
    const double addX[2] = {n * d[0][0], n * d[1][0]};
    const double addY[2] = {n * d[0][1], n * d[1][1]};
    const Regression next = Fit(base, dt, 1.0, 0, dx, dy, &addX, &addY);
    const bool finite = !next.cx.empty() && std::isfinite(next.rss) &&
                        std::isfinite(next.cx[0] + next.cx[1] + next.cy[0] + next.cy[1]);
    if (!finite) break;
    r = next;
  }
  r.rawX = rawX;
  r.rawY = rawY;
  if (!searching && !Instrument(rows, starts, from, holeFrom, holeTo, r) && instrumented_)
    return {};
  return r;
}

// The mount's own motion once the pulses are taken out: a drift line and a periodic error (what
// it leaves of each cycle taken into `left`, X and Y, where given).
Regression MotionFitter::OwnMotionIn(const Regression& effect, double period, std::size_t stride,
                                     std::size_t from, std::size_t to, std::size_t holeFrom,
                                     std::size_t holeTo, std::vector<double>* left) const {
  Design base(2);
  std::vector<double> ux, uy, t;
  for (std::size_t i = from; i < to; i += stride) {
    if ((i >= holeFrom && i < holeTo) || lost_[i]) continue;
    base.values.insert(base.values.end(), {1.0, (time_[i] - time_.front()) / span_});
    t.push_back(time_[i]);
    ux.push_back(ox_[i] - effect.cx[0] * cumX_[i] - effect.cx[1] * cumY_[i]);
    uy.push_back(oy_[i] - effect.cy[0] * cumX_[i] - effect.cy[1] * cumY_[i]);
  }
  return period > 0.0 ? Fit(base, t, period, kHarmonics, ux, uy, nullptr, nullptr, left)
                      : Fit(base, t, 1.0, 0, ux, uy, nullptr, nullptr, left);
}

// The period that fits best with `fitWith` (0: none clearly better than a drift alone); `best`
// becomes the whole run's fit with it. `settled` becomes false where another period, no harmonic
// of it, fits about as well (see Rivals).
double MotionFitter::SearchPeriod(const FitWith& fitWith, Regression& best, bool& settled) const {
  settled = true;
  if (!(shortest_ > 0.0 && windowSpan_ > shortest_)) return 0.0;  // no time to search over
  double coarse = 0.0;
  Regression coarseBest = fitWith(0.0, 0, window_, 1);
  const double coarseWithout = coarseBest.rss;
  // A period must leave clearly less than the drift alone: 2 % on a long run; on a short one
  // more than its periodic terms would take from noise alone (each of the changes overlaps kLag
  // others, so the rows count about one kLag-th each).
  const double clearly = std::min(
      0.98, 1.0 - static_cast<double>(lag_ * 2 * kHarmonics) / std::max(1.0, coarseBest.dof));
  std::vector<std::pair<double, double>> curve;  // each period tried and what it leaves
  for (double period = shortest_; period <= 2.0 * windowSpan_; period *= 1.02) {
    Regression r = fitWith(period, 0, window_, 1);
    curve.push_back({period, r.cx.empty() ? coarseWithout : r.rss});
    if (!r.cx.empty() && r.rss < coarseBest.rss && r.rss < clearly * coarseWithout) {
      coarseBest = r;
      coarse = period;
    }
  }
  // A run longer than the window may hold a periodic error the window cannot tell from noise: a
  // weak one under strong seeing (3.5" p-p at declination -59 under 1.3" of jitter). Left out of
  // the fit, the pulses that chased it pass for weaker pulses (X speed 13-19 % slow at five of its
  // standard errors). The window's deepest minima are then refined on the whole run, deepest
  // first, and one is taken where it leaves less than twice what its terms would take from noise
  // alone (not the 2 % a long run's window needs: a 3" worm at declination 55 was the window's
  // fifth deepest minimum, at 1.3 %, and its X speed 11 % slow without it). On at most about
  // kConfirmRows cycles of the run: on all of the fine search's, five candidates doubled stats'
  // time on 200,000 cycles without a periodic error.
  const bool confirming = coarse == 0.0;
  if (confirming && window_ == k_) return 0.0;
  const std::size_t every = confirming ? std::max(fineStride_, k_ / kConfirmRows) : fineStride_;
  const Regression withoutPeriodic = every == 1 ? best : fitWith(0.0, 0, k_, every);
  double enough = clearly;
  // The periods refined, deepest first: what each leaves in the window, and the period.
  std::vector<std::pair<double, double>> candidates = {{coarseBest.rss, coarse}};
  if (confirming) {
    candidates.clear();
    for (std::size_t i = 1; i + 1 < curve.size(); ++i) {
      if (curve[i].second < curve[i - 1].second && curve[i].second <= curve[i + 1].second) {
        candidates.push_back({curve[i].second, curve[i].first});
      }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.resize(std::min(candidates.size(), kCandidates));
    enough =
        1.0 - 2.0 * static_cast<double>(lag_ * 2 * kHarmonics) / std::max(1.0, withoutPeriodic.dof);
  }
  // Finer and finer about the best: over many worm periods a small error of the period puts the
  // fitted periodic error out of phase, and what it leaves would be taken for pulses.
  const auto refine = [&](std::size_t to, std::size_t stride, double without, Regression* keep,
                          double leaves) {
    double found = 0.0, least = without;
    double centre = coarse, step = 0.001;
    for (int level = 0; level < 3; ++level, step /= 20.0) {
      for (int i = -20; i <= 20; ++i) {
        const double period = centre * (1.0 + i * step);
        Regression r = fitWith(period, 0, to, stride);
        if (!r.cx.empty() && r.rss < least && r.rss < leaves * without) {
          least = r.rss;
          found = period;
          if (keep) *keep = r;
        }
      }
      if (found > 0.0) centre = found;
      if (found == 0.0 && confirming) break;  // nothing within 2 % of the candidate
    }
    return found;
  };
  double found = 0.0;
  for (std::size_t c = 0; c < candidates.size() && found == 0.0; ++c) {
    coarse = candidates[c].second;
    found = refine(k_, every, withoutPeriodic.rss, every == 1 ? &best : nullptr, enough);
  }
  if (found > 0.0 && every > 1) {
    Regression whole = fitWith(found, 0, k_, 1);
    if (!whole.cx.empty()) best = whole;
  }
  // Other periods that fit about as well: on a short run whose X ran away the pulses' effect and
  // a periodic error of almost any period trade places (one took 135 s for a 224 s worm, leaving
  // 8.0 % of the changes where the worm left 8.3 %). Only where the window is the whole run: in a
  // window shorter than the run, noise minima of long runs with a weak periodic error came that
  // close to the worm while the whole run refined it to 0.1 % (and trying each on the whole run
  // tripled stats' time on such runs).
  for (std::size_t i = 1; found > 0.0 && window_ == k_ && settled && i + 1 < curve.size(); ++i) {
    const auto [period, left] = curve[i];
    settled = !(left < curve[i - 1].second && left <= curve[i + 1].second &&
                Rivals(coarse, coarseBest.rss, period, left, coarseWithout,
                       (1.0 - clearly) * coarseWithout));
  }
  // A run so long that its clock (only modelled: exposure, download, polls) wanders by more than
  // a worm period keeps no single phase over it: the period as the window clearly holds it, for
  // the segments the pulses' effect is measured in, where the run's last window holds it as
  // clearly as the first must (unconfirmed, a window's best period gave a period to 8 of 15
  // randomized nights without one; confirmed where it left 2 % less, to 2 of 1,560, whose last
  // windows it took 2-3 % of: what its terms take from noise alone).
  if (found == 0.0 && window_ < k_ && !confirming) {
    const double inWindow = refine(window_, 1, coarseWithout, nullptr, clearly);
    const Regression last = fitWith(inWindow, k_ - window_, k_, 1);
    const Regression lastWithout = fitWith(0.0, k_ - window_, k_, 1);
    if (inWindow > 0.0 && !last.cx.empty() && last.rss < clearly * lastWithout.rss) {
      found = inWindow;
    }
  }
  return found;
}

// The run cut into parts of `length` cycles (the last up to twice as long).
std::vector<std::pair<std::size_t, std::size_t>> MotionFitter::Split(std::size_t length) const {
  std::vector<std::pair<std::size_t, std::size_t>> parts;
  for (std::size_t from = 0; from < k_; from += length) {
    const std::size_t to = k_ - from < 2 * length ? k_ : from + length;
    parts.push_back({from, to});
    if (to == k_) break;
  }
  return parts;
}

// Standard errors of the pulses' effect (both axes share the regressors).
void Variances(const Regression& r, double& varX, double& varY) {
  const double sigma2 = r.rss / (2.0 * std::max(1.0, r.dof));
  varX = sigma2 * std::max(1e-30, r.inverse[0]);
  varY = sigma2 * std::max(1e-30, r.inverse[1]);
}

// The pulses' effect with the period found. A long run is measured in segments of kSegment
// cycles, combined by their precision: the run's clock is only modelled (exposure, download,
// polls), and over many worm periods its error would put a single fitted periodic error out of
// phase; what that leaves would be taken for the pulses' effect. The modelled clock's rate also
// wanders along a run (on the simulator's default sky, by up to 3 %), so each segment takes the
// period near the run's that fits it best. (Segments of 150 cycles with the run's period
// measured long runs of long exposures 4-14 % fast at standard errors of 2-3 %; 600 with the
// run's period, the default sky's X speed 22-27 % slow.) False when nothing could be.
bool MotionFitter::MeasureEffect() {
  segments_ = Split(kSegment);
  if (segments_.size() == 1) {
    const Regression whole = PulseEffectIn(bestPeriod_, 1, 0, k_);
    if (!whole.cx.empty()) effect_ = whole;
  }
  for (const auto& [from, to] : segments_) {
    const double period = segments_.size() > 1 ? SegmentPeriod(from, to) : bestPeriod_;
    segmentPeriods_.push_back(period);
    segmentEffects_.push_back(segments_.size() > 1 ? PulseEffectIn(period, 1, from, to) : effect_);
  }
  // A mount that wandered at random moved the stars between the pulses that answered it: over the
  // kLag cycles of each change the pulses chase the wander the change holds, and pass for
  // weaker (on randomized nights with a wander of 0.03-0.05"/s^0.5, the speeds were up to 94 % slow
  // at many standard errors, and the walk passed for a drift known to 10 %). There the speeds are
  // measured by instruments instead, which no wander biases (see Instrument).
  double wander = 0.0;
  if (MountWander(wander) > kWanderSure) {
    instrumented_ = true;
    for (const Regression& e : segmentEffects_) {
      if (e.speeds.size() != 2) return false;
    }
    if (segments_.size() == 1) effect_ = Instrumented(effect_);
    MountWander(wander_, &whiteBeside_);
    wander_ = std::max(0.0, wander_);
    // A periodic error that the pulses chased passes for part of their effect too, so that the
    // fit with them may hold its period no more clearly than noise would; left in what the fit
    // leaves, it passes for a walk (a 13" one read as a walk of 0.24"/s^0.5). The instruments
    // measure the speeds around it as well, but the walk is told only where it remains beside
    // a period the mount's own motion shows, as the instruments have the pulses move it, and
    // the window repeats (see Repeats). Its drift is then not known either (see Drift).
    if (bestPeriod_ == 0.0) {
      Regression own;
      bool settled = true;
      if (!WalkBeside(OwnPeriod(Instrumented(segmentEffects_.front()), own, settled), nullptr)) {
        wander_ = 0.0;
        periodLeftOut_ = true;
      }
    }
  }
  Variances(effect_, varX_, varY_);
  if (segments_.size() > 1) {
    const Regression combined = EffectWithout(0, 0);
    if (combined.cx.empty()) return false;
    effect_ = combined;
  }
  return true;
}

// The pulses' effect by instruments: each cycle's change against the pulses issued at its start,
// with the offset one cycle before standing in for those pulses (and the mount's own motion over
// the cycle, `own`, for itself). That offset was measured before the noise and the wander the
// change holds, so neither biases the effect, where the changes over kLag cycles hold both. It is
// far less precise: only for a mount that wanders (see MeasureEffect), and only for the speeds
// (each column's length). The directions stay as the changes over kLag cycles show them: a
// wander slows the pulses there but leaves their directions (on randomized nights the angle held
// within its errors at 0.05"/s^0.5), and by instruments alone they were up to 27 degrees off and
// twice took an X that corrected for one that pushed the stars further. False where the
// instruments do not tell the pulses apart.
bool MotionFitter::Instrument(const Design& own, const std::vector<std::size_t>& starts,
                              std::size_t from, std::size_t holeFrom, std::size_t holeTo,
                              Regression& r) const {
  const auto width = static_cast<Eigen::Index>(2 + own.width);
  Eigen::MatrixXd zx = Eigen::MatrixXd::Zero(width, width), zy = Eigen::MatrixXd::Zero(width, 2);
  Eigen::VectorXd x(width), z(width);
  std::size_t used = 0;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t i = starts[k];
    if (i < from + 1 || lost_[i - 1] || (i >= holeFrom && i - 1 < holeTo)) continue;
    x(0) = run_.rows[i].xtim;
    x(1) = run_.rows[i].ytim;
    z(0) = ox_[i - 1];
    z(1) = oy_[i - 1];
    for (Eigen::Index c = 2; c < width; ++c) x(c) = z(c) = own.Row(k)[c - 2];
    zx.noalias() += z * x.transpose();
    zy.col(0) += z * (ox_[i + 1] - ox_[i]);
    zy.col(1) += z * (oy_[i + 1] - oy_[i]);
    ++used;
  }
  const Eigen::FullPivLU<Eigen::MatrixXd> lu(zx);
  if (used <= own.width + 12 || lu.rank() < width) return false;
  const Eigen::MatrixXd b = lu.solve(zy);
  r.speeds = {std::hypot(b(0, 0), b(0, 1)), std::hypot(b(1, 0), b(1, 1))};
  return std::isfinite(r.speeds[0] + r.speeds[1]);
}

// The effect with each column as long as its speed by instruments, where the speeds are measured
// so (see MeasureEffect).
Regression MotionFitter::Instrumented(Regression r) const {
  if (!instrumented_ || r.speeds.size() != 2 || r.cx.size() < 2) return r;
  for (std::size_t c = 0; c < 2; ++c) {
    const double was = std::hypot(r.cx[c], r.cy[c]);
    if (!(was > 0.0)) return {};
    r.cx[c] *= r.speeds[c] / was;
    r.cy[c] *= r.speeds[c] / was;
  }
  r.rawX = {r.cx[0], r.cx[1]};
  r.rawY = {r.cy[0], r.cy[1]};
  return r;
}

// How surely the mount wandered at random, as a t statistic, and how far (`perCycle`: px^2 of
// random walk per cycle, per axis), beside a periodic error of `period` (where negative, each
// segment's). What is left of the offsets once the pulses, and the drift and the periodic error
// fitted to what the pulses leave, are taken out is the measurement noise alone where nothing
// else moved the mount: its changes over kWanderLag cycles vary as much as those over kLag. A
// random walk makes the longer vary more, by the walk's variance over the cycles between. Compared
// in chunks of kWanderChunk cycles (fewer on a short run, down to twice kWanderLag), whose spread
// tells how sure the difference is (0 from fewer than kFewestReplicates chunks). The pulses' effect
// as measured with the changes over kLag cycles hides part of the walk (too slow a speed counts
// some of what the pulses undid as their own). On randomized nights the part left was clear
// wherever the mount wandered by 0.01"/s^0.5 or more, but for runs of a few hundred cycles and for
// those whose pulses passed for a sixth of their speed.
double MotionFitter::MountWander(double& perCycle, double* white, const Regression* effect,
                                 double period) const {
  std::vector<double> chunks;
  double sums[2] = {0.0, 0.0}, counts[2] = {0.0, 0.0}, longSum = 0.0, longCount = 0.0;
  const std::size_t lags[2] = {lag_, kWanderLag};
  const std::size_t chunk = std::clamp(k_ / kFewestReplicates, 2 * kWanderLag, kWanderChunk);
  std::vector<double> left, ux, uy;
  for (std::size_t s = 0; s < segments_.size(); ++s) {
    const auto [from, to] = segments_[s];
    const Regression r = effect ? *effect : Instrumented(segmentEffects_[s]);
    left.clear();
    if (r.cx.size() < 2 ||
        OwnMotionIn(r, period < 0.0 ? segmentPeriods_[s] : period, 1, from, to, 0, 0, &left)
            .cx.empty())
      continue;
    LeftByCycle(from, to, left, ux, uy);
    // Over a shorter segment the drift and the periodic error fitted to it take up too much of a
    // walk over kWanderLong cycles to tell.
    if (to - from >= 4 * kWanderLong)
      SquaredChanges(ux, uy, from, from, to, kWanderLong, longSum, longCount);
    for (std::size_t c = from; c + chunk <= to; c += chunk) {
      double sum[2] = {0.0, 0.0}, count[2] = {0.0, 0.0};
      for (std::size_t l = 0; l < 2; ++l)
        SquaredChanges(ux, uy, from, c, c + chunk, lags[l], sum[l], count[l]);
      if (count[0] < 10.0 || count[1] < 10.0) continue;
      for (std::size_t l = 0; l < 2; ++l) {
        sums[l] += sum[l];
        counts[l] += count[l];
      }
      chunks.push_back(sum[1] / count[1] - sum[0] / count[0]);
    }
  }
  const double between = static_cast<double>(kWanderLag - lag_);
  perCycle = counts[0] > 0.0 && counts[1] > 0.0
                 ? (sums[1] / counts[1] - sums[0] / counts[0]) / between
                 : 0.0;
  // Over lag_ cycles the change holds the noise twice and lag_ cycles of the walk.
  if (white && counts[0] > 0.0) {
    *white = std::max(0.0, sums[0] / counts[0] - static_cast<double>(lag_) * perCycle) / 2.0;
  }
  if (chunks.size() < kFewestReplicates) return 0.0;
  // A walk's changes vary more over kWanderLong cycles than over kWanderLag; what the fit leaves
  // of a periodic error or of a slow swing varies no more. Of 780 randomized nights without a
  // wander, eight passed for wandering on the changes over kWanderLag cycles; over kWanderLong,
  // five of them varied no more, or less (their speeds were then taken from the instruments, with
  // errors too wide). Where the mount wandered by 0.03-0.05"/s^0.5, the changes over kWanderLong
  // cycles varied beyond those over lag_ 1.4 to 6 times as much as those over kWanderLag did.
  if (longCount > 0.0 && !(longSum / longCount > sums[1] / counts[1])) return 0.0;
  const auto n = static_cast<double>(chunks.size());
  double mean = 0.0, spread = 0.0;
  for (const double v : chunks) mean += v / n;
  for (const double v : chunks) spread += (v - mean) * (v - mean) / (n - 1.0);
  const double error = std::sqrt(spread / n) / between;
  return error > 0.0 ? perCycle / error : 0.0;
}

// The period near the run's that fits the segment of cycles [from, to) best (see MeasureEffect).
double MotionFitter::SegmentPeriod(std::size_t from, std::size_t to) const {
  if (!(bestPeriod_ > 0.0)) return bestPeriod_;
  double period = bestPeriod_, least = 1e300;
  for (int step = -kLocalSteps; step <= kLocalSteps; ++step) {
    const double local = bestPeriod_ * (1.0 + kLocalStep * step);
    const Regression r = PulseEffectIn(local, 1, from, to, 0, 0, true);
    if (!r.cx.empty() && r.rss < least) {
      least = r.rss;
      period = local;
    }
  }
  return period;
}

// The pulses' effect measured without the cycles in [holeFrom, holeTo) (none when empty).
Regression MotionFitter::EffectWithout(std::size_t holeFrom, std::size_t holeTo) const {
  if (segments_.size() == 1) {
    return holeTo > holeFrom ? Instrumented(PulseEffectIn(bestPeriod_, 1, 0, k_, holeFrom, holeTo))
                             : effect_;
  }
  double w0 = 0.0, w1 = 0.0, b00 = 0.0, b10 = 0.0, b01 = 0.0, b11 = 0.0;
  double r00 = 0.0, r10 = 0.0, r01 = 0.0, r11 = 0.0, s0 = 0.0, s1 = 0.0;
  for (std::size_t s = 0; s < segments_.size(); ++s) {
    const auto [from, to] = segments_[s];
    const bool touched = holeTo > holeFrom && holeFrom < to && holeTo + lag_ > from;
    const Regression r = touched ? PulseEffectIn(segmentPeriods_[s], 1, from, to, holeFrom, holeTo)
                                 : segmentEffects_[s];
    if (r.cx.empty() || (instrumented_ && r.speeds.size() != 2)) continue;
    double vx = 0.0, vy = 0.0;
    Variances(r, vx, vy);
    w0 += 1.0 / vx;
    w1 += 1.0 / vy;
    b00 += r.cx[0] / vx;
    b10 += r.cy[0] / vx;
    b01 += r.cx[1] / vy;
    b11 += r.cy[1] / vy;
    r00 += r.rawX[0] / vx;
    r10 += r.rawY[0] / vx;
    r01 += r.rawX[1] / vy;
    r11 += r.rawY[1] / vy;
    if (instrumented_) {
      s0 += r.speeds[0] / vx;
      s1 += r.speeds[1] / vy;
    }
  }
  Regression combined;
  if (w0 > 0.0 && w1 > 0.0) {
    combined.cx = {b00 / w0, b01 / w1};
    combined.cy = {b10 / w0, b11 / w1};
    combined.rawX = {r00 / w0, r01 / w1};
    combined.rawY = {r10 / w0, r11 / w1};
    if (instrumented_) combined.speeds = {s0 / w0, s1 / w1};
  }
  return Instrumented(combined);
}

// With the host's calibration given in full, the mount's own motion is what is left after the
// pulses as the host calibrated them (the better choice where the run's pulses were too small or
// too regular to measure their effect well).
void MotionFitter::UseHostCalibration() {
  if (!(settings_.angleDeg && settings_.xSpeed && settings_.ySpeed)) return;
  const double a = *settings_.angleDeg * kDegree;
  const double sx = *settings_.xSpeed * std::cos(settings_.declinationDeg.value_or(0.0) * kDegree) *
                    (settings_.reverseX.value_or(false) ? -1.0 : 1.0);
  Regression host;
  host.cx = {-sx * std::cos(a), *settings_.ySpeed * std::sin(a)};
  host.cy = {-sx * std::sin(a), -*settings_.ySpeed * std::cos(a)};
  hostOrEffect_ = host;
  motion_ = OwnMotion(host, 0.0);
  bestPeriod_ = OwnPeriod(host, motion_, periodSettled_);
  fit_.hostCalibrationUsed = true;
}

// The calibration from the pulses' effect: each axis's direction and speed, the reverse, the
// angle.
void MotionFitter::Calibrate() {
  fit_.b[0][0] = effect_.cx[0];
  fit_.b[0][1] = effect_.cx[1];
  fit_.b[1][0] = effect_.cy[0];
  fit_.b[1][1] = effect_.cy[1];
  const double c0x = fit_.b[0][0], c0y = fit_.b[1][0], c1x = fit_.b[0][1], c1y = fit_.b[1][1];
  // Y pulses move the stars by -ySpeed (-sin a, cos a); X pulses by -xSpeed (cos a, sin a), or
  // the opposite when X is reversed.
  // Did the corrections push the stars further? (What a reversed axis does.) Each axis's pulses
  // against the part of the offset along that axis's own direction (the offset taken apart along
  // both), cycle by cycle: a pulse that pushed the stars further adds, one that brought them back
  // takes away. Taken only where the sum stands clear of its spread: where X ran away, Y's tiny
  // pulses against its slight share of X's offsets say nothing, and their sum's sign is chance.
  const double det = c0x * c1y - c1x * c0y;
  double xWay = 0.0, yWay = 0.0, xWay2 = 0.0, yWay2 = 0.0;
  for (std::size_t i = 0; i < k_; ++i) {
    const guidelog::LogRow& r = run_.rows[i];
    const double x = r.xtim * (c1y * r.xoff - c1x * r.yoff) / det;
    const double y = r.ytim * (c0x * r.yoff - c0y * r.xoff) / det;
    xWay += x;
    yWay += y;
    xWay2 += x * x;
    yWay2 += y * y;
  }
  fit_.xCorrectsWrongWay = xWay > kWrongWay * std::sqrt(xWay2);
  fit_.yCorrectsWrongWay = yWay > kWrongWay * std::sqrt(yWay2);
  // X reversed or not against Y is the mirror image of the sensor. The host's own pulses say what
  // it took it to be, and whether X pushed the stars further says whether it was right: on a run
  // whose X ran away at the largest pulse the Y pulses' fitted direction is too poor to tell.
  host_ = HostLawOf(run_);
  if (host_) {
    fit_.reverseX = host_->reverseX != fit_.xCorrectsWrongWay;
  } else {
    const double aY = std::atan2(c1x, -c1y);
    const double aX = std::atan2(-c0y, -c0x), aXr = std::atan2(c0y, c0x);
    const double straight = std::abs(std::remainder(aX - aY, 2.0 * std::numbers::pi));
    const double reversed = std::abs(std::remainder(aXr - aY, 2.0 * std::numbers::pi));
    fit_.reverseX = reversed < straight;
  }
  // Each axis's direction is known to its standard error over its speed (radians): the angle is
  // their mean weighted by precision, so a run whose X pulses were large (a reversed X makes them
  // grow) takes its angle from X rather than from the small Y pulses.
  const double xSpeed = std::hypot(c0x, c0y), ySpeed = std::hypot(c1x, c1y);
  wx_ = xSpeed * xSpeed / std::max(varX_, 1e-30);
  wy_ = ySpeed * ySpeed / std::max(varY_, 1e-30);
  whole_ = CalibrationOf(effect_);
  fit_.xSpeed = whole_.xSpeed;
  fit_.ySpeed = whole_.ySpeed;
  fit_.angleDeg = Normalize(whole_.angle / kDegree);
}

MotionFitter::Calibration MotionFitter::CalibrationOf(const Regression& e) const {
  Calibration c;
  c.xSpeed = std::hypot(e.cx[0], e.cy[0]);
  c.ySpeed = std::hypot(e.cx[1], e.cy[1]);
  const double aY = std::atan2(e.cx[1], -e.cy[1]);
  const double aX = fit_.reverseX ? std::atan2(e.cy[0], e.cx[0]) : std::atan2(-e.cy[0], -e.cx[0]);
  // Directions more than a right angle apart have no mean: one of them is not measured (a runaway
  // X leaves the Y pulses' direction to chance). The one nearer the host's own angle holds, else
  // the better measured.
  const auto apart = [](double p, double q) {
    return std::abs(std::remainder(p - q, 2.0 * std::numbers::pi));
  };
  if (apart(aX, aY) <= std::numbers::pi / 2.0) {
    c.angle = CircularMean(aY, wy_, aX, wx_);
  } else if (host_) {
    c.angle = apart(aX, host_->angle) <= apart(aY, host_->angle) ? aX : aY;
  } else {
    c.angle = wx_ >= wy_ ? aX : aY;
  }
  return c;
}

// How surely the X pulses pushed the stars further along the host's own X direction, where the
// host's law is known: a t statistic, positive where they did. Model-free, so it holds where the
// pulses' effect cannot be fitted (a run whose X ran away in its first cycles, lost its stars and
// sent no pulse after): each change of the offset along the host's X direction between two
// measured cycles against the X pulse between them, signed as the host meant it to correct. The
// pulses' answer to the measurement noise only pulls it towards correcting.
double MotionFitter::PushedAlongHostX() const {
  if (!host_) return 0.0;
  const double c = std::cos(host_->angle), s = std::sin(host_->angle);
  double ee = 0.0, ed = 0.0, dd = 0.0;
  int taken = 0;
  for (std::size_t i = 0; i + 1 < k_; ++i) {
    const double e = run_.rows[i].xtim * (host_->reverseX ? -1.0 : 1.0);
    if (e == 0.0 || lost_[i] || lost_[i + 1]) continue;
    const double d = (ox_[i + 1] - ox_[i]) * c + (oy_[i + 1] - oy_[i]) * s;
    ee += e * e;
    ed += e * d;
    dd += d * d;
    ++taken;
  }
  if (taken < 3 || !(ee > 0.0)) return 0.0;
  const double slope = ed / ee;
  const double left = std::max(0.0, dd - slope * ed) / (taken - 1);
  return slope / std::sqrt(std::max(left / ee, 1e-300));
}

// Standard errors by a delete-a-block jackknife: the effect measured again without each of
// kBlocks stretches of the run in turn. Unlike the regression's own errors these hold what the fit
// does not model (its changes overlap, the noise varies, the pulses answer the noise) and what the
// periodic error's fit leaves. The blocks hold equal numbers of measured cycles: a block of lost
// ones would change no fit, and counted as a replicate its zero departure would shrink the
// standard errors (a run whose X ran away in its first 73 cycles of 2,741 had them all in one block
// of twenty, and its Y speed 45 % off beyond two of them).
void MotionFitter::StandardErrors() {
  std::vector<std::size_t> measured;
  for (std::size_t i = 0; i < k_; ++i) {
    if (!lost_[i]) measured.push_back(i);
  }
  blocks_ = std::min<std::size_t>(kBlocks, measured.size() / (2 * lag_ + 2));
  blockStarts_ = {0};
  for (std::size_t b = 1; b < blocks_; ++b) {
    blockStarts_.push_back(measured[b * measured.size() / blocks_]);
  }
  blockStarts_.push_back(k_);
  std::vector<double> dx, dy, da;  // each replicate's departure from the whole run's figure
  // The same of every replicate, those that fell apart too (a speed doubled, gone or turned):
  // without the stretch a run's X ran away in, nothing is left to measure X with, and such a
  // replicate's 1e44 px/s is no spread of the figure but a fit that failed. It is left out of the
  // standard errors (as a stretch that leaves no fit at all is), and counts for whether the
  // calibration is measured at all.
  std::vector<double> allX, allY, allAngles;
  // And each pulse axis's own direction on the sensor: which way one axis's pulses acted is a
  // measure even where the other's is not (a runaway X leaves the Y pulses' to chance).
  std::vector<double> xTurns, yTurns;
  const auto turn = [](double x, double y, double wholeX, double wholeY) {
    return std::remainder(std::atan2(y, x) - std::atan2(wholeY, wholeX), 2.0 * std::numbers::pi);
  };
  for (std::size_t b = 0; b < blocks_; ++b) {
    const auto [from, to] = Block(b);
    const Regression e = EffectWithout(from, to);
    if (e.cx.size() < 2) continue;
    const Calibration c = CalibrationOf(e);
    allX.push_back(c.xSpeed - whole_.xSpeed);
    allY.push_back(c.ySpeed - whole_.ySpeed);
    allAngles.push_back(std::remainder(c.angle - whole_.angle, 2.0 * std::numbers::pi));
    xTurns.push_back(turn(e.cx[0], e.cy[0], effect_.cx[0], effect_.cy[0]));
    yTurns.push_back(turn(e.cx[1], e.cy[1], effect_.cx[1], effect_.cy[1]));
    if (!(std::abs(allX.back()) < whole_.xSpeed && std::abs(allY.back()) < whole_.ySpeed)) continue;
    replicates_.push_back({b, e});
    dx.push_back(allX.back());
    dy.push_back(allY.back());
    da.push_back(allAngles.back());
  }
  double seX = std::sqrt(varX_), seY = std::sqrt(varY_);
  fit_.angleErrorDeg = (wx_ + wy_) > 0.0 ? 1.0 / std::sqrt(wx_ + wy_) / kDegree : 180.0;
  if (replicates_.size() >= kFewestReplicates) {
    seX = JackknifeError(dx, blocks_);
    seY = JackknifeError(dy, blocks_);
    fit_.angleErrorDeg = JackknifeError(da, blocks_) / kDegree;
  }
  // The cycles a run like this one needs for the angle within 2 degrees and the speeds within
  // 5 % at two standard errors (the variances fall as one over the cycles).
  const double worst =
      std::max({fit_.angleErrorDeg / 1.0, seX / std::max(fit_.xSpeed, 1e-30) / 0.025,
                seY / std::max(fit_.ySpeed, 1e-30) / 0.025});
  const double needed = std::ceil(static_cast<double>(k_) * worst * worst);
  fit_.cyclesNeeded = std::isfinite(needed) && needed < std::numeric_limits<int>::max()
                          ? static_cast<int>(needed)
                          : std::numeric_limits<int>::max();
  // Where a replicate fell apart, the run's figures rest on the stretch it left out, whose own
  // spread no replicate shows: the model's limit stands for it (1 % of each speed and half a
  // degree, as the drift takes it; not in the cycles needed, which do not shrink it; on the
  // randomized nights such runaways' X speeds were 0.1-4 % off).
  if (replicates_.size() < allX.size()) {
    seX = std::hypot(seX, 0.01 * whole_.xSpeed);
    seY = std::hypot(seY, 0.01 * whole_.ySpeed);
    fit_.angleErrorDeg = std::hypot(fit_.angleErrorDeg, 0.5);
  }
  // What the noise's correction moved is known only so well: a third of it joins the errors (not
  // the cycles needed: more cycles do not shrink it). A timid loop's pulses answer the noise for
  // many cycles, the correction is large there, and what it leaves (up to a third of it on
  // randomized nights) no jackknife sees, since every stretch of the run shares it. (Half of it
  // made the speeds' standard errors too wide: Y's error over them had an RMS of 0.77.)
  if (effect_.rawX.size() == 2) {
    constexpr double share = 1.0 / 3.0;
    Regression raw;
    raw.cx = effect_.rawX;
    raw.cy = effect_.rawY;
    const Calibration r = CalibrationOf(raw);
    seX = std::hypot(seX, share * (r.xSpeed - whole_.xSpeed));
    seY = std::hypot(seY, share * (r.ySpeed - whole_.ySpeed));
    fit_.angleErrorDeg = std::hypot(
        fit_.angleErrorDeg,
        share * std::remainder(r.angle - whole_.angle, 2.0 * std::numbers::pi) / kDegree);
  }
  fit_.xSpeedError = seX;
  fit_.ySpeedError = seY;
  // Measured at all: judged on the replicates' typical departure, not on their spread, which one
  // stretch can blow up (a run whose X ran away leaves no fit without its first stretch, yet every
  // other replicate agrees with the whole run to a percent).
  double typicalX = seX, typicalY = seY, typicalAngle = fit_.angleErrorDeg;
  if (allX.size() >= kFewestReplicates) {
    typicalX = TypicalJackknifeError(allX, blocks_);
    typicalY = TypicalJackknifeError(allY, blocks_);
    typicalAngle = TypicalJackknifeError(allAngles, blocks_) / kDegree;
  }
  // The instruments' speeds are judged on their spread itself: a weak instrument's replicates
  // mostly agree while a few fly off, and on wandering mounts their typical departure took speeds
  // up to 30 times the truth for measured (within their wide errors), with the walk, the noise and
  // a periodic error read from them as far off.
  if (instrumented_) {
    typicalX = std::max(typicalX, seX);
    typicalY = std::max(typicalY, seY);
  }
  // From fewer than five replicates no spread is told, and the regression's own errors leave
  // out what the fit does not model (45 measured cycles of a runaway put Y 65 % off, beyond two
  // of them).
  fit_.calibrationMeasured = allX.size() >= kFewestReplicates && typicalX <= 0.5 * fit_.xSpeed &&
                             typicalY <= 0.5 * fit_.ySpeed && typicalAngle <= 30.0;
  // Where the calibration is not, an axis whose own speed and direction are (the same measure)
  // still says whether its pulses pushed the stars further: a timid loop whose X was reversed
  // wrong measured X to 0.1 % and 0.6 degrees, and Y not at all.
  const auto axisMeasured = [&](double typical, double speed, const std::vector<double>& turns) {
    return typical <= 0.5 * speed && turns.size() >= kFewestReplicates &&
           TypicalJackknifeError(turns, blocks_) / kDegree <= 30.0;
  };
  // And where X's is not either, the offsets along the host's own X direction may still tell it
  // (on randomized nights the statistic was 39 and more wherever X pushed the stars further, and
  // below -1 wherever it did not).
  if (!fit_.calibrationMeasured) {
    fit_.xCorrectsWrongWay =
        (fit_.xCorrectsWrongWay && axisMeasured(typicalX, fit_.xSpeed, xTurns)) ||
        PushedAlongHostX() > 10.0;
    fit_.yCorrectsWrongWay = fit_.yCorrectsWrongWay && axisMeasured(typicalY, fit_.ySpeed, yTurns);
  }
}

// A motion on the sensor in the mount's axes. The mount's axes on the sensor are the pulses' own
// directions (the host's when its calibration was used): a motion is taken apart along them, as
// the pulses that would cancel it, times each axis's speed. What the pulses' effect left of the
// mount's motion is that motion seen through the estimated effect, so taken apart along the same
// estimated directions an error of the angle cancels; only the speeds' errors remain. (Cut along
// one rotated frame instead, the column measured worse lets the Dec drift into RA.)
void MotionFitter::ToMountBy(const Regression& by, double px, double py, double& ra,
                             double& dec) const {
  const bool axesReversed =
      fit_.hostCalibrationUsed ? settings_.reverseX.value_or(false) : fit_.reverseX;
  const double b00 = by.cx[0], b01 = by.cx[1], b10 = by.cy[0], b11 = by.cy[1];
  const double d = b00 * b11 - b01 * b10;
  if (std::abs(d) < 1e-30) {
    ra = dec = 0.0;
    return;
  }
  const double pulseRa = (b11 * px - b01 * py) / d, pulseDec = (-b10 * px + b00 * py) / d;
  ra = (axesReversed ? 1.0 : -1.0) * std::hypot(b00, b10) * pulseRa;
  dec = -std::hypot(b01, b11) * pulseDec;
}

// The walk the mount's own motion holds, as the drift and the periodic error take it: told from
// what the pulses leave at the host's calibration where it is given, else at their measured effect
// (see MeasureEffect), and where that effect is no measure, not at all (a run whose pulses showed
// nothing read a 0.03"/s^0.5 wander as 2.2 px per s^0.5, its noise of the mean as 8.8 px).
void MotionFitter::TellWander() {
  if (fit_.hostCalibrationUsed) {
    double perCycle = 0.0, white = 0.0;
    bool told = MountWander(perCycle, &white, &hostOrEffect_) > kWanderSure;
    // Told only where it remains beside the period found with the host's calibration (see
    // UseHostCalibration), which the pulses' estimated effect may have hidden: of 1,560
    // randomized nights without a walk, nine with a 2-13" periodic error were told as wandering,
    // their periods found within 0.3 % but not printed. Its size is as before: beside a walk's
    // slow swings taken for a period, less of it is left.
    told = told && WalkBeside(bestPeriod_, &hostOrEffect_);
    wander_ = told ? std::max(0.0, perCycle) : 0.0;
    whiteBeside_ = white;
  } else if (!fit_.calibrationMeasured) {
    wander_ = 0.0;
  }
  fit_.wander = std::sqrt(wander_ * static_cast<double>(k_) / span_);
}

// The drift and its standard errors by the same jackknife: the mount's own motion fitted again
// without each stretch, after the pulses as measured without it (the host's calibration, when
// given, is taken as right). A very long run's fits take every stride-th cycle.
void MotionFitter::Drift() {
  ToMountBy(hostOrEffect_, motion_.cx[1] / span_, motion_.cy[1] / span_, fit_.driftRa,
            fit_.driftDec);
  std::vector<double> dra, ddec;
  const auto determinant = [](const Regression& r) {
    return r.cx[0] * r.cy[1] - r.cx[1] * r.cy[0];
  };
  for (const auto& [b, e] : replicates_) {
    const Regression& by = fit_.hostCalibrationUsed ? hostOrEffect_ : e;
    // Without the stretch the pulses' two directions may all but coincide: no axes to take the
    // drift apart along (its figure would be anything).
    if (!(std::abs(determinant(by)) > 1e-3 * std::abs(determinant(hostOrEffect_)))) continue;
    const auto [from, to] = Block(b);
    const Regression m = OwnMotionIn(by, bestPeriod_, fineStride_, 0, k_, from, to);
    if (m.cx.size() < 2) continue;
    double ra = 0.0, dec = 0.0;
    ToMountBy(by, m.cx[1] / span_, m.cy[1] / span_, ra, dec);
    dra.push_back(ra - fit_.driftRa);
    ddec.push_back(dec - fit_.driftDec);
  }
  // A random walk of q per cycle puts a line fitted over n cycles off by 6q/5n in slope (per
  // cycle, squared), which no jackknife of the run's stretches shows.
  const auto n = static_cast<double>(k_);
  const double walk = wander_ > 0.0 ? std::sqrt(6.0 * wander_ / (5.0 * n)) * n / span_ : 0.0;
  if (dra.size() >= kFewestReplicates) {
    fit_.driftRaError = JackknifeError(dra, blocks_);
    fit_.driftDecError = JackknifeError(ddec, blocks_);
    if (walk > 0.0) {
      fit_.driftRaError = std::hypot(fit_.driftRaError, walk);
      fit_.driftDecError = std::hypot(fit_.driftDecError, walk);
    }
  } else {
    fit_.driftRaError = fit_.driftDecError = std::numeric_limits<double>::infinity();
  }
  double floor = 0.0;  // pixels per time unit
  if (fit_.timeInSeconds) floor = (settings_.scale ? 0.03 / *settings_.scale : 0.02) / 60.0;
  const auto known = [floor](double drift, double error) {
    return std::isfinite(error) && 2.0 * error <= std::max(0.1 * std::abs(drift), floor);
  };
  // The drift is what remains once the pulses are taken out at their measured speed, so a speed
  // off by a part in a thousand makes the drift of a run whose pulses moved the stars a thousand
  // times as far off by all of it, though every stretch of the run agrees on it (a runaway X);
  // a guided run's pulses move about as far as the drift, and a speed off by a third makes the
  // drift off by a third. A drift is known only where two of the speed's standard errors, times
  // the motion the pulses caused along it, are within 10 % of it (at one, on randomized nights,
  // one printed drift in a hundred was off by more: 13 % where X was 2.3 standard errors off). No
  // speed is taken as known better than 1 %, the model's own limit (a 17,000-cycle run's X speed
  // was 1.7 % off at 0.5 % standard error; a runaway X's 0.05 % off made its RA drift 23 % off),
  // and the host's calibration no better: a runaway whose stars left the sensor after 78 cycles of
  // 2 s pulses had its RA drift 22 % off with the exact calibration given.
  const Calibration pulses = CalibrationOf(hostOrEffect_);
  const auto pulsesLeave = [&](double drift, double speed, double relative,
                               const std::vector<double>& cum) {
    const double moved = speed * std::abs(cum[k_ - 1] - cum[0]) / span_;
    return 2.0 * std::max(relative, 0.01) * moved <= std::max(0.1 * std::abs(drift), floor);
  };
  const bool host = fit_.hostCalibrationUsed;
  fit_.driftRaKnown =
      known(fit_.driftRa, fit_.driftRaError) &&
      pulsesLeave(fit_.driftRa, pulses.xSpeed, host ? 0.0 : fit_.xSpeedError / fit_.xSpeed, cumX_);
  fit_.driftDecKnown =
      known(fit_.driftDec, fit_.driftDecError) &&
      pulsesLeave(fit_.driftDec, pulses.ySpeed, host ? 0.0 : fit_.ySpeedError / fit_.ySpeed, cumY_);
  // The periodic error that passed for a walk is in what the speeds' instruments leave, and
  // their errors are too narrow for the drift (one such run put its Y speed 20 % off, beyond two
  // of its standard errors, and its Dec drift 13 % off).
  if (periodLeftOut_ && !host) fit_.driftRaKnown = fit_.driftDecKnown = false;
  fit_.driftHiddenByWander = walk > 0.0 && !(fit_.driftRaKnown && fit_.driftDecKnown) &&
                             (fit_.driftRaKnown || !known(fit_.driftRa, walk)) &&
                             (fit_.driftDecKnown || !known(fit_.driftDec, walk));
}

// What a fit of the cycles [from, to) left (`left`: X and Y of each cycle it took; it leaves out
// the lost cycles), cycle by cycle into `ux` and `uy` (0 at a lost cycle).
void MotionFitter::LeftByCycle(std::size_t from, std::size_t to, const std::vector<double>& left,
                               std::vector<double>& ux, std::vector<double>& uy) const {
  ux.assign(to - from, 0.0);
  uy.assign(to - from, 0.0);
  for (std::size_t i = from, row = 0; i < to && 2 * row + 1 < left.size(); ++i) {
    if (lost_[i]) continue;
    ux[i - from] = left[2 * row];
    uy[i - from] = left[2 * row + 1];
    ++row;
  }
}

// Adds the squared changes over `lag` cycles of what was left (LeftByCycle of the cycles from
// `from` on), per axis, from the cycles [begin, end) to `sum`, and their number to `count`.
void MotionFitter::SquaredChanges(const std::vector<double>& ux, const std::vector<double>& uy,
                                  std::size_t from, std::size_t begin, std::size_t end,
                                  std::size_t lag, double& sum, double& count) const {
  const std::size_t to = from + ux.size();
  for (std::size_t i = begin; i < end && i + lag < to; ++i) {
    if (lost_[i] || lost_[i + lag]) continue;
    const double dx = ux[i + lag - from] - ux[i - from];
    const double dy = uy[i + lag - from] - uy[i - from];
    sum += (dx * dx + dy * dy) / 2.0;
    count += 1.0;
  }
}

// The periodic error's peak to peak and harmonics, per segment of two periods at least (median)
// for the reason the effect is measured in segments, and the measurement noise: what the fit
// leaves.
void MotionFitter::PeriodicShape() {
  fit_.periodicPeriod = bestPeriod_;
  const auto peakToPeak = [&](const Regression& m, double& ppRa, double& ppDec) {
    double lowRa = 1e300, highRa = -1e300, lowDec = 1e300, highDec = -1e300;
    for (int step = 0; step < 400; ++step) {
      const double t = bestPeriod_ * step / 400.0;
      double px = 0.0, py = 0.0;
      for (int h = 1; h <= kHarmonics; ++h) {
        const double phase = 2.0 * std::numbers::pi * h * t / bestPeriod_;
        const std::size_t c = 2 + 2 * static_cast<std::size_t>(h - 1);
        px += m.cx[c] * std::cos(phase) + m.cx[c + 1] * std::sin(phase);
        py += m.cy[c] * std::cos(phase) + m.cy[c + 1] * std::sin(phase);
      }
      double ra = 0.0, dec = 0.0;
      ToMountBy(hostOrEffect_, px, py, ra, dec);
      lowRa = std::min(lowRa, ra);
      highRa = std::max(highRa, ra);
      lowDec = std::min(lowDec, dec);
      highDec = std::max(highDec, dec);
    }
    ppRa = highRa - lowRa;
    ppDec = highDec - lowDec;
  };
  const auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  double whiteNoiseFromSegments = -1.0;
  double changes = 0.0, pairs = 0.0;  // see below
  std::vector<double> ux, uy;
  if (bestPeriod_ > 0.0) {
    const double cycleTime = span_ / static_cast<double>(k_ - 1);
    const auto periods = Split(std::max<std::size_t>(
        400, static_cast<std::size_t>(2.0 * bestPeriod_ / std::max(cycleTime, 1e-9))));
    std::vector<double> ras, decs;
    std::vector<std::vector<double>> harmonicsRa(kHarmonics);  // each harmonic's RA amplitude
    double left = 0.0, rows = 0.0;  // what the segments' fits leave, over their cycles
    for (const auto& [from, to] : periods) {
      std::vector<double> leftOf;
      const Regression m = periods.size() > 1
                               ? OwnMotionIn(hostOrEffect_, bestPeriod_, 1, from, to, 0, 0, &leftOf)
                               : motion_;
      if (periods.size() > 1 && !m.cx.empty()) {
        LeftByCycle(from, to, leftOf, ux, uy);
        SquaredChanges(ux, uy, from, from, to, 1, changes, pairs);
      }
      if (m.cx.size() < 2 + 2 * static_cast<std::size_t>(kHarmonics)) continue;
      double ra = 0.0, dec = 0.0;
      peakToPeak(m, ra, dec);
      ras.push_back(ra);
      decs.push_back(dec);
      for (int h = 1; h <= kHarmonics; ++h) {
        const std::size_t c = 2 + 2 * static_cast<std::size_t>(h - 1);
        double cosRa = 0.0, sinRa = 0.0, unused = 0.0;
        ToMountBy(hostOrEffect_, m.cx[c], m.cy[c], cosRa, unused);
        ToMountBy(hostOrEffect_, m.cx[c + 1], m.cy[c + 1], sinRa, unused);
        harmonicsRa[static_cast<std::size_t>(h - 1)].push_back(std::hypot(cosRa, sinRa));
      }
      left += m.rss;
      rows += m.dof;
    }
    // The measurement noise, too, from the segments: over a long run the one fit above falls out
    // of phase with the periodic error, and what it leaves holds the periodic error.
    if (periods.size() > 1 && rows > 0.0) whiteNoiseFromSegments = std::sqrt(left / (2.0 * rows));
    if (!ras.empty()) {
      fit_.periodicPeakToPeakRa = median(ras);
      fit_.periodicPeakToPeakDec = median(decs);
      for (std::vector<double>& amplitudes : harmonicsRa) {
        fit_.periodicHarmonicsRa.push_back(median(amplitudes));
      }
    }
  }
  // Over the cycles the fits took, less their terms: a run whose stars were lost for most of its
  // cycles (one whose X ran away) read its noise a tenth of the truth over all of them.
  fit_.whiteNoise = whiteNoiseFromSegments >= 0.0
                        ? whiteNoiseFromSegments
                        : std::sqrt(motion_.rss / (2.0 * std::max(1.0, motion_.dof)));
  fit_.noiseMeasured = !(fit_.xCorrectsWrongWay || fit_.yCorrectsWrongWay);
  // What a fit leaves of a wandering mount's motion holds the walk besides the noise (at
  // 0.05"/s^0.5 a randomized night read 0.70 px where the seeing in its mean was 0.09 px): there
  // the noise is what the changes over a few cycles hold less the walk's share.
  if (wander_ > 0.0) fit_.whiteNoise = std::sqrt(whiteBeside_);
  fit_.leftNoise = fit_.whiteNoise;
  // What the fits leave changes from one measured cycle to the next by the noise alone, twice over
  // (the noise of two cycles), where a slow motion they do not follow, a periodic error missed or
  // a swing of no period, changes it little: on randomized nights without a wander, what the fit
  // left read the noise of the mean 11-78 % high on four nights (a missed 8" periodic error among
  // them), and the changes within 10 % on each. The noise is taken from the changes where what the
  // fits leave clearly holds more: beyond three times sqrt(3 / pairs), about four standard errors
  // of the changes' mean square (X and Y together; a change shares a cycle with the next).
  if (wander_ == 0.0 && pairs == 0.0) {
    std::vector<double> left;
    if (!OwnMotionIn(hostOrEffect_, bestPeriod_, 1, 0, k_, 0, 0, &left).cx.empty()) {
      LeftByCycle(0, k_, left, ux, uy);
      SquaredChanges(ux, uy, 0, 0, k_, 1, changes, pairs);
    }
  }
  const double fromChanges = pairs > 0.0 ? changes / (2.0 * pairs) : 0.0;
  if (wander_ == 0.0 && pairs > 0.0 &&
      fit_.whiteNoise * fit_.whiteNoise > fromChanges * (1.0 + 3.0 * std::sqrt(3.0 / pairs))) {
    fit_.whiteNoise = std::sqrt(fromChanges);
  }
  // Settled: no other period fits about as well (see Rivals), and the period's own sine is more
  // than a third of each of its harmonics. Otherwise it is no worm's: its harmonics stand for
  // components of other periods (a 224 s worm and a 290 s gear, equally strong, fitted best at
  // 600-660 s, its first harmonic a tenth of its second and third).
  const std::vector<double>& h = fit_.periodicHarmonicsRa;
  const bool settled =
      periodSettled_ && (h.empty() || h.front() * 3.0 > *std::max_element(h.begin(), h.end()));
  // Two periods of measured cycles at least: a run whose stars left the sensor after a few
  // minutes, and came back for a single cycle hours later, spans many periods and measures none
  // (on such runs 36 % and 52 % off).
  double measured = 0.0;
  for (std::size_t i = 0; i + 1 < k_; ++i) {
    if (!lost_[i] && !lost_[i + 1]) measured += time_[i + 1] - time_[i];
  }
  // Where the mount wandered, a periodic error no larger than three times the walk over one period
  // may be the walk's own: its slow swings fit a sine of any long period (a night with no periodic
  // error and a wander of 0.05"/s^0.5 printed one of 2,567 s): the run does not settle it.
  const double walk = std::sqrt(wander_ * bestPeriod_ * static_cast<double>(k_ - 1) / span_);
  const bool clear = std::max(fit_.periodicPeakToPeakRa, fit_.periodicPeakToPeakDec) > 3.0 * walk;
  fit_.periodicUnsettled = bestPeriod_ > 0.0 && !(settled && clear);
  fit_.periodicMeasured = bestPeriod_ > 0.0 && measured >= 2.0 * bestPeriod_ && settled && clear &&
                          (fit_.calibrationMeasured || fit_.hostCalibrationUsed);
}

}  // namespace

std::optional<HostCalibration> HostCalibrationOf(const guidelog::LogRun& run,
                                                 double aggressiveness) {
  const std::optional<HostLaw> law = HostLawOf(run);
  if (!law || !(law->xGain > 0.0) || !(law->yGain > 0.0) || !(aggressiveness > 0.0)) return {};
  return HostCalibration{Normalize(law->angle / kDegree), aggressiveness / 20.0 / law->xGain,
                         aggressiveness / 20.0 / law->yGain, law->reverseX};
}

MotionFit FitMotion(const guidelog::LogRun& run, const RunSettings& settings) {
  return MotionFitter(run, settings).Result();
}

RunFigures Analyse(const guidelog::LogRun& logged, const RunSettings& settings) {
  RunFigures f;
  f.cycles = static_cast<int>(logged.rows.size());
  f.stars = logged.stars;
  f.cutShort = logged.cutShort;
  // Every figure rests on the readable rows; the offsets' figures on the guided cycles only.
  const std::vector<CycleUse> uses = CycleUses(logged, settings);
  const guidelog::LogRun run = ReadableRows(logged, uses, &f.unreadableLines);
  std::vector<bool> guided;
  for (std::size_t i = 0; i < uses.size(); ++i) {
    if (uses[i] == CycleUse::Unreadable) continue;
    guided.push_back(uses[i] == CycleUse::Guided);
    if (uses[i] == CycleUse::Lost) {
      f.lostLines.push_back(i < logged.rowLines.size() ? logged.rowLines[i] : 0);
    }
  }
  if (!f.unreadableLines.empty()) {
    f.notes.push_back(LineRanges(f.unreadableLines) +
                      (f.unreadableLines.size() == 1 ? " holds" : " hold") +
                      " a value no guider writes (not a finite number, or beyond any "
                      "guider's range): left out of every figure");
  }
  std::vector<double> xs, ys;
  for (std::size_t i = 0; i < run.rows.size(); ++i) {
    const guidelog::LogRow& r = run.rows[i];
    if (guided[i]) {
      xs.push_back(r.xoff);
      ys.push_back(r.yoff);
    }
    if (r.xtim != 0.0) {
      ++f.xPulses;
      f.xMeanPulse += std::abs(r.xtim);
    }
    if (r.ytim != 0.0) {
      ++f.yPulses;
      f.yMeanPulse += std::abs(r.ytim);
    }
  }
  if (f.xPulses > 0) f.xMeanPulse /= f.xPulses;
  if (f.yPulses > 0) f.yMeanPulse /= f.yPulses;
  f.x = Figures(xs);
  f.y = Figures(ys);
  if (!f.lostLines.empty()) {
    f.notes.push_back(std::to_string(f.lostLines.size()) + " cycle" +
                      (f.lostLines.size() == 1 ? "" : "s") + " without enough stars to guide on (" +
                      LineRanges(f.lostLines) + "): left out of the offsets' RMS and peak to peak");
  }
  f.total = Total(xs, ys, f.x, f.y);
  if (!run.rows.empty()) {
    f.last = run.rows.back();
    f.lastLine = run.rowLines.back();
  }
  const double minSN = settings.minSN.value_or(3.0);
  if (!settings.minSN) f.notes.push_back("MinSN not given (--min-sn): 3 assumed");
  f.starFigures.assign(static_cast<std::size_t>(run.stars), {});
  for (std::size_t s = 0; s < f.starFigures.size(); ++s) {
    StarFigures& star = f.starFigures[s];
    star.lowestSN = 1e300;
    for (const guidelog::LogRow& r : run.rows) {
      const double sn = r.stars[s].sn;
      star.meanSN += sn;
      star.lowestSN = std::min(star.lowestSN, sn);
      if (sn < minSN) ++star.cyclesBelowMinSN;
    }
    if (!run.rows.empty()) star.meanSN /= static_cast<double>(run.rows.size());
    if (run.rows.empty()) star.lowestSN = 0.0;
  }
  if (settings.minStars) {
    f.cyclesTooFewStars = 0;
    const int required = std::min(*settings.minStars, run.stars);
    for (const guidelog::LogRow& r : run.rows) {
      int taking = 0;
      for (const guidelog::LogStar& s : r.stars) taking += s.sn >= minSN ? 1 : 0;
      if (taking < required) ++f.cyclesTooFewStars;
    }
  } else {
    f.notes.push_back("cycles with too few stars need MinStars (--min-stars)");
  }
  f.split = SplitStars(run, minSN, &f.starFigures);
  f.fit = FitMotion(run, settings);
  const auto times = CycleTimes(run, settings);
  if (!run.seconds.empty()) {
    // A record's times are when each frame arrived: the run lasted to the last one's pulses.
    const guidelog::LogRow& last = run.rows.back();
    f.seconds = run.seconds.back() + PolledSeconds(std::abs(last.xtim)) +
                PolledSeconds(std::abs(last.ytim));
  } else if (!times.empty()) {
    // The last cycle's length taken as the one before it.
    f.seconds = times.size() > 1 ? 2.0 * times.back() - times[times.size() - 2] : 0.0;
  } else {
    f.notes.push_back(
        "times, drift per minute and the periodic error's period in seconds "
        "need the guide exposure (--exposure, --download): given per cycle");
  }
  // The mount's axes: the host's angle when given, else the estimate.
  std::optional<double> angle = settings.angleDeg;
  bool reverse = settings.reverseX.value_or(f.fit.calibrationMeasured && f.fit.reverseX);
  if (!angle && f.fit.calibrationMeasured) {
    angle = f.fit.angleDeg;
    f.notes.push_back("RA/Dec figures use the estimated guider angle (--angle not given)");
  }
  if (angle) {
    f.axes = MountAxes{*angle, reverse, !settings.angleDeg};
    std::vector<double> ra, dec;
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
      if (!guided[i]) continue;
      const auto [r, d] = InMountAxes(run.rows[i].xoff, run.rows[i].yoff, *f.axes);
      ra.push_back(r);
      dec.push_back(d);
    }
    f.ra = Figures(ra);
    f.dec = Figures(dec);
  }
  if (!settings.scale) f.notes.push_back("arcseconds need the pixel scale (--scale)");
  // The host's calibration against how the pulses acted.
  if (f.fit.available && !f.fit.calibrationMeasured) {
    f.notes.push_back(
        "the run's pulses do not show how they acted (too few, too small, or their stars lost too "
        "often): no calibration from them, nor the mount's own motion they moved");
  }
  // Told whether the calibration is measured or only that axis is (see MotionFit).
  if (f.fit.xCorrectsWrongWay) {
    f.notes.push_back(
        "the X corrections pushed the stars further (growing corrections): "
        "GuiderReverseX is the wrong way round");
  }
  if (f.fit.yCorrectsWrongWay) {
    f.notes.push_back(
        "the Y corrections pushed the stars further: the Dec outputs act the "
        "wrong way round");
  }
  if (f.fit.calibrationMeasured) {
    if (f.fit.cyclesNeeded > f.cycles) {
      f.notes.push_back(
          "the pulses' effect is measured to angle +-" + Fixed(f.fit.angleErrorDeg, 1) +
          " deg, speeds +-" + Fixed(100.0 * f.fit.xSpeedError / std::max(f.fit.xSpeed, 1e-9), 0) +
          " % (X) and +-" + Fixed(100.0 * f.fit.ySpeedError / std::max(f.fit.ySpeed, 1e-9), 0) +
          " % (Y): a run guided like this needs " + std::to_string(f.fit.cyclesNeeded - f.cycles) +
          " more cycles for the angle within 2 deg and the speeds within 5 %");
    }
    if (settings.angleDeg) {
      const double diff = std::abs(std::remainder(*settings.angleDeg - f.fit.angleDeg, 360.0));
      if (diff > 5.0) {
        f.notes.push_back("the host's guider angle " + std::to_string(*settings.angleDeg) +
                          " disagrees with the pulses' " + std::to_string(f.fit.angleDeg));
      }
    }
    if (settings.reverseX && *settings.reverseX != f.fit.reverseX) {
      f.notes.push_back("the host's GuiderReverseX disagrees with how the X pulses acted");
    }
    const double cosDec = std::cos(settings.declinationDeg.value_or(0.0) * kDegree);
    if (settings.xSpeed && std::abs(f.fit.xSpeed / cosDec / *settings.xSpeed - 1.0) > 0.15) {
      f.notes.push_back("the host's X speed disagrees with the pulses' by more than 15 %");
    }
    if (settings.ySpeed && std::abs(f.fit.ySpeed / *settings.ySpeed - 1.0) > 0.15) {
      f.notes.push_back("the host's Y speed disagrees with the pulses' by more than 15 %");
    }
  }
  return f;
}

}  // namespace corvane::logtools
