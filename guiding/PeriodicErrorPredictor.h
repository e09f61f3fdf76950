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
//   cycle); a line and the sines of those periods are fitted by least squares with old cycles
//   weighing less and less, so the fit follows slow changes of amplitude and phase; the term is
//   the fit's change from this exposure to the next.
// - Safety: every cycle it checks the forecast it made for this cycle against the motion that
//   happened. Its term goes into the pulses only while that record shows the forecasts explain
//   the motion, and never more than a few times the motion seen per cycle. Cycles with too few
//   stars are gaps in time; a change of the guide angle, X reversal or declination starts the
//   learning afresh; an aggressiveness of 0 (the run ending) gets no term. Non-finite or absurd
//   input is left out.
//
// Pure: fed the run's clock readings, measurements and pulses, no clock or host inside, so a
// run's cycles replay to the same terms.
#pragma once

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
};

// What the predictor did in a cycle, for the record of a run.
struct PredictionStatus {
  bool active = false;        // its term went into the pulse
  double term = 0.0;          // pixels along the RA axis (0 when not active)
  double period = 0.0;        // seconds: the strongest periodic component found (0: none)
  int components = 0;         // periodic components in the fit
  double forecastGain = 0.0;  // the record: the share of the forecast the motion bore out
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
  // A line and sines of given frequencies fitted by least squares, each sample weighted by
  // exp(-age / tau).
  class Fit {
   public:
    void Reset(std::vector<double> omegas, double tau);
    bool Empty() const { return samples_ == 0; }
    int Samples() const { return samples_; }
    const std::vector<double>& Omegas() const { return omegas_; }
    void Add(double t, double u);
    // The fitted motion at t, and its change from `from` to `to`.
    double Value(double t) const;
    double Change(double from, double to) const;
    // Amplitude of each sine.
    double Amplitude(std::size_t component) const;

   private:
    void Regressors(double t, std::vector<double>& x) const;
    void Solve() const;

    std::vector<double> omegas_;
    double tau_ = 600.0;
    double reference_ = 0.0;  // time origin of the line
    double lastT_ = 0.0;
    int samples_ = 0;
    std::vector<double> normal_;  // d x d, row major
    std::vector<double> right_;
    mutable std::vector<double> theta_;
    mutable bool solved_ = false;
    mutable std::vector<double> x_;
  };

  // The forecasts checked against what happened, weighted towards the recent ones.
  struct Record {
    double ff = 0.0, fa = 0.0, aa = 0.0, n = 0.0;
    void Add(double forecast, double actual);
    double Gain() const;       // least-squares factor from forecast to actual motion
    double GainError() const;  // its standard error
    double ActualRms() const;  // of the motion per cycle
  };

  void Restart();
  void NoteTimes(const CycleTimes& times);
  void AddSample(double t, double u);
  const SeriesSample& Ring(std::uint64_t sequence) const;
  void StepSearch();
  double Term(const CycleTimes& times, double t, double raOffset,
              const CalibrationInEffect& calibration);
  double Seconds(std::int64_t ms) const;

  // The run's clock.
  std::optional<std::int64_t> originMs_;
  double overhead_ = 0.0;  // seconds from a correction to the next exposure, beyond the RA pulse
  bool haveOverhead_ = false;
  double cycleSeconds_ = 0.0;             // between measured exposures
  std::optional<double> lastCorrection_;  // seconds
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
  // A fit with the frequencies of the last search, caught up with the window before it
  // replaces the one in use.
  Fit fit_;
  Fit pending_;
  bool rebuilding_ = false;
  std::uint64_t rebuildNext_ = 0;  // the next sample (by count of samples added) to feed it

  Record record_;
  bool active_ = false;
  PredictionStatus status_;
};

}  // namespace corvane
