// Finds the periodic components of a series (the mount's reconstructed RA motion): their
// frequencies, by a periodogram of the series binned on an even grid, each peak that stands out
// from the spectrum around it refined by least squares on the series itself. The work is split
// into steps of bounded cost, so that a search can run alongside guiding, a step per cycle.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include <unsupported/Eigen/FFT>

namespace corvane {

struct SeriesSample {
  double t = 0.0;  // seconds
  double u = 0.0;
};

class PeriodSearch {
 public:
  static constexpr std::size_t kMaxComponents = 8;

  PeriodSearch();

  // Starts a search of `samples` (time order) for components with periods from `minPeriod` to
  // `maxPeriod` seconds. Any search in progress is dropped.
  void Start(const std::vector<SeriesSample>& samples, double minPeriod, double maxPeriod);
  bool Busy() const { return stage_ != Stage::Idle && stage_ != Stage::Done; }
  // Does one step's work; true once the search has finished (then Frequencies() holds its result).
  bool Step();
  // The angular frequencies (radians per second) of the components found, strongest first.
  const std::vector<double>& Frequencies() const { return found_; }

 private:
  enum class Stage { Idle, Spectrum, Refine, Polish, Done };

  void Bin(const std::vector<SeriesSample>& samples);
  void FindCandidates();
  // The frequency near `omega` (within `halfWidth`) whose sine best fits `residual`, and the
  // amplitude and amplitude-to-standard-error ratio of that fit.
  struct Fit {
    double omega = 0.0;
    double cosine = 0.0, sine = 0.0;  // coefficients of cos(omega t), sin(omega t)
    double amplitude = 0.0;
    double significance = 0.0;
  };
  Fit Refine(const std::vector<double>& residual, double omega, double halfWidth) const;
  Fit FitAt(const std::vector<double>& residual, double omega) const;
  void Subtract(std::vector<double>& series, const Fit& fit, double sign) const;

  Stage stage_ = Stage::Idle;
  double minPeriod_ = 0.0, maxPeriod_ = 0.0;

  // The series on an even grid: bin width, each bin's mean and whether it holds any sample.
  double width_ = 1.0;
  std::vector<double> binned_;
  std::vector<bool> filled_;
  std::size_t filledCount_ = 0;

  Eigen::FFT<double> fft_;
  std::vector<double> padded_;
  std::vector<std::complex<double>> spectrum_;

  std::vector<double> candidates_;  // angular frequencies of the peaks, strongest first
  std::size_t next_ = 0;            // the candidate (Refine) or component (Polish) next in turn
  std::vector<double> residual_;    // binned series minus the components accepted so far
  std::vector<Fit> accepted_;
  std::vector<double> found_;
};

}  // namespace corvane
