// Finds the periodic components of a series (the mount's reconstructed RA motion) and their
// frequencies: a periodogram of the series binned on an even grid gives the peaks that stand out
// from the spectrum around them; each that fits the series significantly is kept and taken out,
// and the periodogram of what is left gives the weaker ones; then all of them and a line are
// fitted to the series together by least squares, their frequencies included (Gauss-Newton). The
// work is split into steps of bounded cost, so that a search can run alongside guiding, a step per
// cycle.
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
  // `maxPeriod` seconds whose frequencies differ by at least `minSeparation` (radians per
  // second); of two closer ones the stronger is kept. Any search in progress is dropped.
  void Start(const std::vector<SeriesSample>& samples, double minPeriod, double maxPeriod,
             double minSeparation);
  bool Busy() const { return stage_ != Stage::Done; }
  // Does one step's work; true once the search has finished (then Frequencies() holds its result).
  bool Step();
  // The angular frequencies (radians per second) of the components found, strongest first.
  const std::vector<double>& Frequencies() const { return found_; }

 private:
  enum class Stage { Spectrum, Screen, Joint, Done };

  struct Component {
    double omega = 0.0;
    double cosine = 0.0, sine = 0.0;  // of cos(omega t), sin(omega t), t from the window's middle
  };

  void Bin(const std::vector<SeriesSample>& samples);
  void FindCandidates();
  void Screen();
  // One part of a pass of the joint fit over the bins; at the end of a pass, the next estimate.
  void JointStep();
  void Finish();
  // Least squares of a line and one sine of frequency `omega` on `series`.
  Component FitSine(const std::vector<double>& series, double omega, double* significance) const;
  void Subtract(std::vector<double>& series, const Component& c) const;
  double TimeOf(std::size_t bin) const;

  Stage stage_ = Stage::Done;
  double minPeriod_ = 0.0, maxPeriod_ = 0.0, minSeparation_ = 0.0;

  // The series on an even grid: bin width, each bin's mean less a straight line, and whether
  // it holds any sample.
  double width_ = 1.0;
  std::vector<double> binned_;
  std::vector<bool> filled_;
  std::size_t filledCount_ = 0;

  Eigen::FFT<double> fft_;
  std::vector<double> padded_;
  std::vector<std::complex<double>> spectrum_;
  std::vector<double> candidates_;  // angular frequencies of the peaks, strongest first
  std::size_t screened_ = 0;
  int rounds_ = 0;
  std::size_t foundInRound_ = 0;
  std::vector<double> residual_;
  std::vector<Component> components_;

  // The joint fit: parameters (line, then cosine, sine and frequency of each component), the
  // best so far with its sum of squares and step, and the sums of the pass under way.
  std::vector<double> parameters_, best_, bestStep_;
  double bestSquares_ = 0.0;
  double stepScale_ = 1.0;
  int passes_ = 0;
  std::size_t nextBin_ = 0;
  std::vector<double> normal_, gradient_;
  double squares_ = 0.0;
  std::vector<double> cosStep_, sinStep_, cosNow_, sinNow_, row_;

  std::vector<double> found_;
};

}  // namespace corvane
