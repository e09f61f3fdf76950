// What a guide run's log says: the offsets' statistics, the split of the stars' motion into the
// independent noise of each star and the motion they share, the calibration as the pulses really
// acted, and the mount's own motion (drift and periodic error) once the pulses are taken out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "guidelog/LogFile.h"

namespace corvane::logtools {

// The run's settings that the log does not hold, as the user gives them.
struct RunSettings {
  std::optional<double> exposure;  // guide exposure, seconds
  double download = 0.0;           // seconds per frame besides the exposure
  std::optional<double> aggressiveness, minMove, maxMove;
  std::optional<double> xSpeed, ySpeed;  // the host's calibration, pixels per second
  std::optional<double> angleDeg;        // the host's GuiderAngle
  std::optional<bool> reverseX;          // the host's GuiderReverseX
  std::optional<double> declinationDeg;
  std::optional<double> scale;  // arcsec per pixel
  std::optional<double> minSN;
  std::optional<int> minStars;
  std::optional<bool> predictPeriodicError;  // "Predict periodic error" ticked (a record says)
};

struct AxisFigures {
  double mean = 0.0, rms = 0.0, peakToPeak = 0.0;  // rms about the mean
  double peak = 0.0;                               // the largest distance from the mean
};

// The mean offset's size whatever the axes: the RMS and the largest distance from the mean point.
struct TotalFigures {
  double rms = 0.0, peak = 0.0;
};

// The mount's axes on the sensor that the RA/Dec figures are taken in.
struct MountAxes {
  double angleDeg = 0.0;  // the guider angle (given, or estimated from the pulses)
  bool reverseX = false;
  bool estimated = false;  // not given: as the pulses acted
};

// A mean offset on the sensor in the mount's axes: {RA, Dec}, pixels.
std::pair<double, double> InMountAxes(double xoff, double yoff, const MountAxes& axes);

// An axis's figures built value by value: the running mean and sum of squared deviations
// (Welford's), the extremes and the largest magnitude, so a program that follows a run as it is
// written keeps no values. Every figure of a run's offsets comes from these sums.
class AxisAccumulator {
 public:
  void Add(double value);
  AxisFigures Figures() const;
  std::size_t Count() const { return count_; }
  double LargestMagnitude() const { return largest_; }  // 0 without values

 private:
  std::size_t count_ = 0;
  double mean_ = 0.0, squares_ = 0.0, low_ = 0.0, high_ = 0.0, largest_ = 0.0;
};

// An offset in the mount's axes, from the sensor's with the host's GuiderAngle and
// GuiderReverseX: RA along the rotated X axis (its sign flipped by the reversal), Dec along Y.
struct MountOffset {
  double ra = 0.0, dec = 0.0;
};
MountOffset ToMountAxes(double xoff, double yoff, double angleDeg, bool reverseX);

struct StarFigures {
  double meanSN = 0.0, lowestSN = 0.0;
  int cyclesBelowMinSN = 0;
  double noiseX = 0.0, noiseY = 0.0;  // independent noise, pixels RMS per axis
};

// The stars' motion split: the independent noise (seeing of each star and centroid noise) and
// the motion common to all stars (mount and common seeing).
struct StarSplit {
  bool available = false;  // two stars or more in enough cycles
  int cyclesUsed = 0;
  double oneStar = 0.0;  // independent noise of one star, pixels RMS per axis (over stars)
  double meanOfN = 0.0;  // independent noise left in the mean of the run's N stars
  double common = 0.0;   // common motion of the mean offset, pixels RMS per axis
  int noisiest = 0;      // 1-based
  int worthStars = 0;    // stars beyond which one more improves the mean's RMS by < 5 %
};

// How the pulses acted: the image displacement per second of pulse, fitted together with the
// mount's own motion (a drift line and a periodic error) over the run.
struct MotionFit {
  bool available = false;
  double b[2][2] = {{0, 0}, {0, 0}};  // pixels per second: column 0 X pulses, column 1 Y pulses
  double angleDeg = 0.0;              // GuiderAngle that matches how the pulses acted
  double xSpeed = 0.0;                // pixels per second of X pulse as it acts (at the run's dec)
  double ySpeed = 0.0;
  double xSpeedError = 0.0, ySpeedError = 0.0, angleErrorDeg = 0.0;  // standard errors
  // The calibration above is a measure: typically (the jackknife's median replicate) each speed
  // to half of itself and the angle to 30 degrees at one standard error. Otherwise the run's pulses
  // do not show their effect (too few, too small, or their stars lost too often), and none of the
  // figures above is printed; which way an axis's pulses acted only where that axis's own speed
  // and direction are measured.
  bool calibrationMeasured = false;
  // Cycles a run guided like this one needs for the angle within 2 degrees and the speeds within
  // 5 % (two standard errors).
  int cyclesNeeded = 0;
  bool reverseX = false;           // the GuiderReverseX that matches (relative to the angle above)
  bool xCorrectsWrongWay = false;  // X pulses pushed the stars further: growing corrections
  bool yCorrectsWrongWay = false;
  // The mount's own motion in its axes (RA along the guider X axis, Dec along Y), pixels.
  double driftRa = 0.0,
         driftDec = 0.0;  // pixels per time unit (second with an exposure, else cycle)
  double driftRaError = 0.0, driftDecError = 0.0;  // standard errors, the same units
  // Known well enough to print: within 10 % at two standard errors, or, where the drift is
  // smaller, within 0.03"/min (0.02 px/min without a scale; without times, 10 % alone).
  bool driftRaKnown = false, driftDecKnown = false;
  // What the mount's wander alone puts on the drift (see wander) keeps every drift not known from
  // being known: no calibration would tell it.
  bool driftHiddenByWander = false;
  double periodicPeriod = 0.0;  // time units
  // The run spans two of the period at least: the period and the size above are a measure
  // (over less, the fit's periodic terms take up whatever the run holds and are not printed).
  // Like the measurement noise below, it is what the offsets leave once the pulses' effect is
  // taken out: measured only where that effect is (calibrationMeasured or the host's used).
  bool periodicMeasured = false;
  // Another period, no harmonic of this one, fits the run about as well, or the mount wandered as
  // far over one period (see wander): not measured either.
  bool periodicUnsettled = false;
  double periodicPeakToPeakRa = 0.0, periodicPeakToPeakDec = 0.0;  // pixels
  std::vector<double>
      periodicHarmonicsRa;  // pixels: each harmonic's amplitude in RA, the first first
  double whiteNoise = 0.0;  // the mean's measurement noise, pixels per axis
  // RMS per axis of what the fitted motion (with a wander told, its walk) leaves of the mean: the
  // measurement noise and any slower motion the fit does not follow, which a model of the run
  // must hold besides the motion fitted.
  double leftNoise = 0.0;
  // Not where an axis's corrections pushed the stars further: the few cycles such a run found its
  // stars in leave what no fit of a mount's motion follows (up to 160 times the truth).
  bool noiseMeasured = false;
  // The mount wandered at random, by this many pixels per square root of the time unit (per
  // axis); 0 where no wander was told. The calibration is then measured by instruments (less
  // precise) and the drift's errors hold the walk.
  double wander = 0.0;
  bool timeInSeconds = false;
  bool hostCalibrationUsed = false;  // the motion above is after the host's calibrated pulses
};

struct RunFigures {
  int cycles = 0, stars = 0;
  bool cutShort = false;
  AxisFigures x, y;                    // the mean offset on the sensor, pixels
  std::optional<AxisFigures> ra, dec;  // in the mount's axes (angle given or estimated)
  std::optional<MountAxes> axes;       // those axes
  TotalFigures total;
  std::vector<StarFigures> starFigures;
  int cyclesTooFewStars = -1;  // -1: MinSN or MinStars unknown
  int xPulses = 0, yPulses = 0;
  double xMeanPulse = 0.0, yMeanPulse = 0.0;  // seconds, over the issued pulses
  guidelog::LogRow last;
  int lastLine = 0;
  StarSplit split;
  MotionFit fit;
  double seconds = 0.0;  // run time with the exposure given (0: unknown)
  // Rows holding a value no guider writes (left out of every figure), and the cycles lost for
  // want of stars (left out of the offsets' figures), by line.
  std::vector<int> unreadableLines, lostLines;
  std::vector<std::string> notes;  // what a missing setting left out, disagreements
};

// What a cycle's row can stand for. A cycle in which fewer stars than MinStars (at most the run's
// stars) had an SN of at least MinSN issued no guide command, and its positions are not a
// measurement of the mount (a cloud, lost stars): it is lost. A row holding a value that is not a
// finite number of a size a guider could report is unreadable. Neither enters a figure; both are
// counted and shown where they happened.
enum class CycleUse { Guided, Lost, Unreadable };
// The offsets' figures (RMS, peaks, in either axes) are taken over the guided cycles.
inline bool EntersFigures(CycleUse use) {
  return use == CycleUse::Guided;
}

// MinSN and MinStars as given, else the dialog's defaults (3 and 4). A cycle that issued a pulse
// was guided whatever MinSN and MinStars are taken to be.
std::vector<CycleUse> CycleUses(const guidelog::LogRun& run, const RunSettings& settings);
// The same for one row of a run of `stars` stars, for a reader that takes a run row by row.
CycleUse CycleUseOf(const guidelog::LogRow& row, int stars, const RunSettings& settings);

// The run without its unreadable rows, which no figure can use; their line numbers in *lines.
guidelog::LogRun ReadableRows(const guidelog::LogRun& run, const std::vector<CycleUse>& uses,
                              std::vector<int>* lines = nullptr);

// Line numbers for people: "line 7", "lines 41-70, 95 and 120", at most `most` ranges and then
// "and N more".
std::string LineRanges(const std::vector<int>& lines, std::size_t most = 6);

// How much wider than a known standard error one counted from `replicates` replicates (a
// jackknife's) is made, so that two of it hold the truth as often (95 %) as two of a known one:
// Student's t at 97.5 % with replicates - 1 degrees of freedom over the normal's 1.96 (twenty
// replicates 7 % wider, five 42 %). Fewer than five count as five.
double FewReplicatesWidening(std::size_t replicates);

// How long the run waits for something that takes `seconds`: it polls every 100 ms, so a whole
// number of polls.
double PolledSeconds(double seconds);

// The seconds each cycle started at (exposure + download + its pulses); empty without exposure.
// A run read from a record has its measured times (when each frame arrived) instead.
std::vector<double> CycleTimes(const guidelog::LogRun& run, const RunSettings& settings);

StarSplit SplitStars(const guidelog::LogRun& run, double minSN,
                     std::vector<StarFigures>* stars = nullptr);
// The cycles with every star found that the split needs, for a run of `stars` stars (two or more).
std::size_t SplitCyclesNeeded(int stars);
// The host's calibration as its own pulses show it, where the aggressiveness it guided with is
// known: the pulses below the largest follow the host's law exactly, so they give its
// GuiderAngle, its speeds (X as it acts at the run's declination) and its GuiderReverseX. None
// where the pulses follow no such law. (Whether that calibration was right, the fit tells.)
struct HostCalibration {
  double angleDeg = 0.0;
  double xSpeed = 0.0, ySpeed = 0.0;  // pixels per second of pulse
  bool reverseX = false;
};
std::optional<HostCalibration> HostCalibrationOf(const guidelog::LogRun& run,
                                                 double aggressiveness);
MotionFit FitMotion(const guidelog::LogRun& run, const RunSettings& settings);
RunFigures Analyse(const guidelog::LogRun& run, const RunSettings& settings);

}  // namespace corvane::logtools
