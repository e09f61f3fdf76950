// The mount: its error as a function of simulated time (periodic error, drift, wander) plus what
// the guide pulses have moved, with the play of the Dec gear.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "sim/ObservatorySettings.h"

namespace corvane::sim {

class Mount {
 public:
  Mount(MountSettings settings, std::uint64_t seed);

  struct Error {
    double ra = 0.0;   // arcsec of the RA axis
    double dec = 0.0;  // arcsec on the sky
  };
  Error ErrorAt(double t) const;
  // The error on the sky (arcsec, RA and Dec): the RA axis error shrinks with cos(declination).
  Vec2 SkyErrorAt(double t) const;

  // Moves the axes by the pulse running from t0 for dt seconds, the Dec axis following its
  // motor through the backlash.
  void Integrate(double t0, double dt);
  void StartPulse(int direction, double seconds, double now);
  double PulseEnd() const { return pulseEnd_; }
  int PulsesIssued() const { return pulsesIssued_; }

 private:
  // A random walk on a fixed time grid, so that it is the same function of time whatever the
  // run does (the guided and unguided runs of one seed see the same walk).
  struct Walk {
    double grid = 1.0;   // seconds between its points
    double sigma = 0.0;  // of each step
    std::vector<double> points;
    std::mt19937_64 rng;
    double At(double t);
  };
  // A sine of the periodic error: the worm's harmonics and the extra components.
  struct Component {
    double period = 0.0;
    double amplitude = 0.0;
    double phase = 0.0;
    Walk logAmplitude, phaseWander;  // used when the periodic error wanders
  };

  double PeriodicError(double t) const;
  double WanderingPeriodicError(double t) const;
  double Wander(std::vector<double>& track, std::mt19937_64& rng, double t) const;

  MountSettings settings_;
  std::vector<double> harmonicAmplitudes_;
  std::vector<double> harmonicPhases_;
  mutable std::vector<Component> components_;  // every sine, when extras or wander are set
  double cosDec_ = 1.0;
  double guideRa_ = 0.0;   // arcsec of the RA axis moved by pulses
  double decMotor_ = 0.0;  // arcsec of the Dec motor moved by pulses
  double decAxis_ = 0.0;   // where the Dec axis follows it, through the backlash
  double pulseEnd_ = 0.0;
  double pulseRate_ = 0.0;  // arcsec per second on the axis the pulse drives
  bool pulseOnRa_ = true;
  int pulsesIssued_ = 0;
  mutable std::vector<double> wanderRa_, wanderDec_;
  mutable std::mt19937_64 wanderRaRng_, wanderDecRng_;
};

}  // namespace corvane::sim
