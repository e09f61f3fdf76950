// Predictive guiding along the RA axis. A mount's periodic error (the worm's wobble, a motor's
// gear) is corrected by the proportional correction only once it has shown, one cycle late. The
// predictor learns it during the run and forecasts the motion until the next exposure, which
// the run corrects at once on top of the proportional correction.
//
// - What it learns from: the mount's uncorrected RA motion, reconstructed each cycle as the
//   measured offset along the RA axis plus every RA pulse sent so far, both in pixels of the
//   sensor (the pulses turned into pixels with the calibration in effect when each was sent).
//   So what is learned does not depend on how the run corrected, nor on the host's speeds.
// - How: the periods are found in a fixed window of that motion (PeriodSearch, a step per
//   cycle). A line and the sines of those periods are fitted by least squares with old cycles
//   weighing less and less, five times with memories of a quarter, a half, one, two and four of the
//   longest period, and three times tracking (a Kalman filter whose sines' coefficients walk by
//   3 %, 10 % or 30 % of their amplitude per period), so that a periodic error whose amplitude and
//   phase wander is followed as closely as its wander allows; the fit whose forecasts of the next
//   cycle have lately been best is used, a tracking one only once it has clearly beaten the
//   fits of fixed memory. The term is its change from this exposure to the next.
// - Safety: every cycle it checks the forecasts it made, a cycle and a dozen cycles earlier,
//   against the motion that happened. Its term goes into the pulses only while that record shows
//   the forecasts bear out, better than a straight line's would have, and never more than a few
//   times the motion seen per cycle. Cycles
//   with too few stars are gaps in time (no pulse goes out in them, as MinStars promises):
//   forecasts across a gap are not held against a fit (the judging starts again after it, the
//   learning goes on); a change of the guide angle, X reversal or declination
//   starts the learning afresh, and so does a jump of the motion; an aggressiveness of 0 (the
//   run ending) gets no term. Non-finite or absurd input is left out.
//
// Pure: fed the run's clock readings, measurements and pulses, no clock or host inside, so a
// run's cycles replay to the same terms. Memory is fixed (a window of the last 4096 cycles).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "guiding/CalibrationInEffect.h"
#include "guiding/PeriodSearch.h"

namespace corvane {

// When a cycle happened, by the run's monotonic clock.
struct CycleTimes {
  std::int64_t exposureStartMs = 0;  // just before the guide exposure was started
  double exposureSeconds = 0.0;
  std::int64_t correctionMs = 0;  // when the correction was computed, just before the pulses
  double maxPulseSeconds = 1e9;   // the longest pulse the run sends (its maximum move)
};

// What the predictor did in a cycle, for the record of a run.
struct PredictionStatus {
  bool active = false;        // its term went into the pulse
  double term = 0.0;          // pixels along the RA axis (0 when not active)
  double period = 0.0;        // seconds: the strongest periodic component found (0: none)
  int components = 0;         // periodic components in the fit
  double forecastGain = 0.0;  // the record: how much of the forecast motion happened (1: all)
  double memory = 0.0;        // seconds: the memory of the fit in use (0: a tracking fit)
  double wander = 0.0;        // the wander per period a tracking fit in use follows
};

class PeriodicErrorPredictor {
 public:
  PeriodicErrorPredictor();

  // A cycle whose stars were measured. `raOffset` is the offset along the mount's RA axis in
  // pixels as the correction takes it (the mean offset turned by the guide angle, its sign
  // changed with GuiderReverseX). Returns the term to correct now: the predicted motion along
  // that axis (pixels) from this exposure to the next, 0 while there is none to trust.
  double Measured(const CycleTimes& times, double raOffset, const CalibrationInEffect& calibration);
  // A cycle without a measurement (too few stars): no correction.
  void Missed(const CycleTimes& times);
  // The RA pulse sent after the last cycle, signed as Xtim (seconds; 0 when none went out).
  void PulsesSent(double raSeconds);

  PredictionStatus Status() const { return status_; }

 private:
  static constexpr std::size_t kMaxTerms = 2 + 2 * PeriodSearch::kMaxComponents;

  // The fitted motion frozen at one moment, to be checked later.
  struct Forecast {
    std::array<double, PeriodSearch::kMaxComponents> omegas{};
    std::array<double, kMaxTerms> theta{};
    std::size_t components = 0;
    double reference = 0.0, tau = 1.0;
    double t = 0.0, u = 0.0;  // the sample it was made at
    double Value(double at) const;
  };

  // A line and sines of given frequencies fitted by least squares, each sample weighted by
  // exp(-age / memory). Or, tracking: the same model whose sines' coefficients walk at random by
  // `wander` of their amplitude (1 sigma) per period of each, followed by a Kalman filter; the
  // noise of the samples is taken from its own innovations. Where the periodic error's
  // amplitude and phase wander, the tracking fit follows each component as fast as it moves,
  // the long memory of its shape kept.
  class Fit {
   public:
    void Reset(const std::vector<double>& omegas, double memory);
    void Track(const std::vector<double>& omegas, double wander);
    int Samples() const { return samples_; }
    double Memory() const { return tracking_ ? 0.0 : tau_; }
    double Wander() const { return tracking_ ? wander_ : 0.0; }
    const std::vector<double>& Omegas() const { return omegas_; }
    void Add(double t, double u);
    double Value(double t) const;
    double Change(double from, double to) const { return Value(to) - Value(from); }
    double Amplitude(std::size_t component) const;
    Forecast Freeze(double t, double u) const;

   private:
    void Solve() const;
    void Filter(double t, double u);

    std::vector<double> omegas_;
    double tau_ = 600.0;
    bool tracking_ = false;
    double wander_ = 0.0;
    std::vector<double> covariance_;  // d x d, of the tracked coefficients
    double noise_ = 0.0;              // variance of a sample about the model
    double reference_ = 0.0;          // time origin of the line
    int samples_ = 0;
    std::vector<double> normal_;  // d x d, row major
    std::vector<double> right_;
    mutable std::vector<double> theta_;
    mutable bool solved_ = false;
    mutable std::vector<double> x_;
  };

  // Forecasts checked against what happened, weighted towards the recent ones.
  struct Record {
    double keep = 0.99;
    double ff = 0.0, fa = 0.0, aa = 0.0, ee = 0.0, n = 0.0;
    void Add(double forecast, double actual);
    double Gain() const;       // least-squares factor from forecast to actual motion
    double GainError() const;  // its standard error
    double ActualRms() const;  // of the motion
  };

  // Which of two forecasters erred less: the mean difference of their squared errors in
  // standard errors (positive: the second).
  struct Comparison {
    double keep = 0.98;
    double sum = 0.0, squares = 0.0, n = 0.0;
    void Add(double errorA, double errorB);
    double Score() const;
  };

  // Fits of fixed memories, then tracking ones.
  static constexpr std::size_t kMemoryFits = 5;
  static constexpr std::size_t kFits = kMemoryFits + 3;

  void Restart();
  void NoteTimes(const CycleTimes& times);
  void Check(double t, double u);
  void AddSample(double t, double u);
  const SeriesSample& Ring(std::uint64_t sequence) const;
  void StepSearch();
  void StartRebuild(const std::vector<double>& omegas);
  void Decide(double aggressiveness);
  double Term(const CycleTimes& times, double t, double raOffset, double aggressiveness);
  double Seconds(std::int64_t ms) const;
  const Fit& InUse() const { return fits_[inUse_]; }

  // The run's clock.
  std::optional<std::int64_t> originMs_;
  double overhead_ = 0.0;  // seconds from a correction to the next exposure, beyond the RA pulse
  bool haveOverhead_ = false;
  double cycleSeconds_ = 0.0;  // between measured exposures
  std::optional<double> lastCorrection_;
  double lastRaSeconds_ = 0.0;

  // The reconstruction.
  std::optional<CalibrationInEffect> calibration_;
  double pixelsPerRaSecond_ = 0.0;  // of the last cycle's calibration
  double sent_ = 0.0;               // every RA pulse sent, in pixels
  std::optional<SeriesSample> last_;
  double typicalInnovation_ = 0.0;
  int outliersInARow_ = 0;

  // The window the periods are searched in: a ring of the last samples.
  std::vector<SeriesSample> ring_;
  std::size_t ringStart_ = 0;
  std::size_t ringCount_ = 0;
  std::uint64_t added_ = 0;           // samples ever added
  std::vector<SeriesSample> window_;  // the ring in time order, for a search

  PeriodSearch search_;
  int cyclesUntilSearch_ = 0;
  // The fits in use, and new ones with the frequencies of the last search catching up with the
  // window before they replace them.
  std::array<Fit, kFits> fits_;
  std::array<Fit, kFits> pending_;
  std::array<Record, kFits> fitRecords_;
  // Each fit's forecasts of the next cycle against each other's: the best tracking fit is used
  // only once it has erred less than the best fit of fixed memory by more than chance would.
  std::array<std::array<Comparison, kFits>, kFits> fitComparisons_;
  std::array<Forecast, kFits> frozen_;  // each fit's forecast from the last sample
  std::size_t frozenInUse_ = 0;
  std::size_t inUse_ = 0;
  bool rebuilding_ = false;
  std::uint64_t rebuildNext_ = 0;  // the next sample (by count of samples added) to feed them

  // The records of the forecasts of the fit in use: a cycle ahead, and a dozen cycles ahead
  // (frozen forecasts waiting for their sample).
  Record nextCycle_;
  Record ahead_;
  std::vector<Forecast> waiting_;
  // A straight line fitted alike: the periodic fit is used only while it forecasts better.
  Fit line_;
  std::vector<Forecast> waitingLine_;
  Comparison lineBeaten_;
  std::size_t waitingNext_ = 0;
  // Forecasts frozen before this count were made before a gap: they are not checked.
  std::size_t staleBefore_ = 0;
  bool active_ = false;
  PredictionStatus status_;
};

}  // namespace corvane
