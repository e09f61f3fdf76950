// The settings and records of the simulated observatory: a guide camera on a mount under a sky,
// in virtual time, standing in for the host so that Corvane can be run, shown and measured
// anywhere.
//
// Frames and signs. The mount's error is held per axis in arcseconds: the RA axis error as an
// angle of the axis (as a worm's periodic error is quoted), the Dec error on the sky. On the sky
// the RA error moves a star by (RA axis error) x cos(declination), and a pointing error e moves
// the stars by -e. The camera sees that sky motion rotated by its angle against the mount's axes
// (and mirrored when the optics mirror it), divided by the pixel scale.
//
// Guide outputs: direction 0 drives the RA axis forward at the guide rate and direction 1 back,
// direction 2 drives Dec forward and direction 3 back; an output pair wired the other way round
// (raOutputsSwapped, decOutputsSwapped) turns that around. A pulse of t seconds on direction 0 thus
// moves the stars by guideRate x t x cos(declination) arcsec on the sky.
//
// What the host reports as its guider settings is what a calibration at the equator would leave:
// see GuiderCalibration and CalibrationFor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hostkit/GuiderSettings.h"

namespace corvane::sim {

struct Vec2 {
  double x = 0.0;
  double y = 0.0;
};

struct CameraSettings {
  int width = 752;              // GuiderXSize, pixels
  int height = 582;             // GuiderYSize, pixels
  double pixelScale = 1.5;      // arcsec per pixel
  double rotationDeg = 25.0;    // angle of the sensor's X axis against the mount's RA axis
  bool mirrored = false;        // optics that mirror the image (e.g. an odd number of mirrors)
  double readNoise = 8.0;       // electrons RMS per pixel
  double skyBackground = 30.0;  // electrons per second per pixel
  double downloadSeconds = 0.3;
};

// A star of the field: where it sits on the sensor when the mount is exactly on target.
struct FieldStar {
  Vec2 position;
  double flux = 0.0;  // electrons per second
};

struct SkySettings {
  std::vector<FieldStar> stars;  // the field as given, brightest first; empty: a random field
  int fieldStars = 14;           // stars on the sensor; the brightest come first
  double brightestFlux = 30000;  // electrons per second
  double faintestFlux = 400;
  double seeingFwhm = 2.5;  // arcsec: the blur of a star image
  // Seeing moves each star's centroid in every exposure: RMS per axis in arcsec for a 1 s
  // exposure, falling with the square root of the exposure time. commonFraction is the share of
  // that variance that all stars have in common (1: they move together; 0: independently).
  double seeingJitter = 0.35;
  double seeingCommonFraction = 0.5;
  double detectionSN = 3.0;    // a star fainter than this is lost in the noise
  double searchRadius = 12.0;  // pixels around the given point PointInformation looks at
};

// A periodic component of the RA axis besides the worm's harmonics, e.g. a motor's gear.
struct PeriodicComponent {
  double period = 0.0;      // seconds
  double peakToPeak = 0.0;  // arcsec of the RA axis
};

struct MountSettings {
  double declinationDeg = 30.0;
  double guideRate = 7.5;         // arcsec per second of pulse, at the equator (0.5 sidereal)
  double periodicErrorPP = 10.0;  // arcsec peak to peak of the RA axis
  double wormPeriod = 480.0;      // seconds
  std::vector<double> harmonics = {1.0, 0.35, 0.15};  // relative amplitudes, fundamental first
  std::vector<PeriodicComponent> extraPeriodic;       // pure sines, each with a random phase
  // How much each periodic component (each harmonic of the worm and each extra component)
  // wanders: its amplitude changes by this fraction and its phase by this many radians per
  // period of the component (1 sigma of a random walk). 0: the periodic error repeats exactly.
  double periodicWander = 0.0;
  double raDrift = 0.5;      // arcsec per minute of the RA axis
  double decDrift = 1.0;     // arcsec per minute on the sky
  double wander = 0.0;       // arcsec per sqrt(second): a random walk in each axis
  double decBacklash = 0.0;  // arcsec of play in the Dec gear
  bool raOutputsSwapped = false;
  bool decOutputsSwapped = false;
  bool respondsToPulses = true;  // false: an unguided mount (outputs not connected)
};

// The host's guider settings: what a calibration leaves (see CalibrationFor).
using GuiderCalibration = hostkit::GuiderSettings;

// The calibration a host would have measured for this camera and mount.
GuiderCalibration CalibrationFor(const CameraSettings& camera, const MountSettings& mount,
                                 double aggressiveness);

// Something that happens during a run, at a time or once a number of guide cycles is reached.
struct ScriptedEvent {
  enum class Kind {
    Stop,                // the camera reports event 15
    AggressivenessZero,  // the user sets the guider aggressiveness to 0
    LinkDrop,            // the camera link drops
    ImageClosed,         // the guider image window is closed
    Cloud,               // some stars dim for a while
  };
  Kind kind = Kind::Stop;
  double atSeconds = -1.0;  // simulated time, when >= 0
  // Otherwise: cycles that complete normally before the event shows (Stop, AggressivenessZero
  // and LinkDrop take effect during the last of them, ImageClosed during the one after).
  int afterCycles = -1;
  double durationSeconds = 60.0;  // Cloud
  double transmission = 0.05;     // Cloud: the share of the light that gets through
  std::vector<int> stars;         // Cloud: stars by brightness rank, 0 the brightest
};

// The person at the telescope: clicks the brightest stars, a little off.
struct UserSettings {
  bool scripted = true;       // false: a person clicks (SetManualPointer)
  double clickErrorPx = 1.5;  // RMS per axis
  double secondsBetweenClicks = 1.5;
  double pressSeconds = 0.2;
  double dialogSeconds = 4.0;  // time to fill in a dialog
};

struct ObservatorySettings {
  CameraSettings camera;
  SkySettings sky;
  MountSettings mount;
  UserSettings user;
  double aggressiveness = 14.0;
  std::optional<GuiderCalibration> calibration;  // overrides CalibrationFor
  std::vector<ScriptedEvent> events;
  std::uint64_t seed = 1;
  // Simulated time that passes at each read of GuiderRunning / GuiderMoving and of PointerDown.
  // 0 natively (the run's 100 ms sleeps advance the clock); more when the run's sleeps are real.
  double secondsPerPoll = 0.0;
  double secondsPerPointerRead = 0.02;
  // The error's statistics also from this simulated time on (Observatory::WindowSummary), e.g.
  // over the second hour of a run; negative: none.
  double windowFromSeconds = -1.0;
};

// One star in one frame, as measured.
struct StarImage {
  Vec2 centroid;
  double signal = 0.0;  // electrons collected
  double sn = 0.0;
  bool detected = false;
};

// A guide pulse as the host received it.
struct Pulse {
  int direction = 0;
  double seconds = 0.0;
  double start = 0.0;
};

// The truth of one guide cycle (one guide exposure).
struct CycleTruth {
  int cycle = 0;       // 1 for the first guide exposure
  double start = 0.0;  // simulated seconds
  double end = 0.0;
  double raError = 0.0;  // arcsec on the sky, mean over the exposure, from the selection frame
  double decError = 0.0;
  Vec2 shiftPx;  // the stars' mean displacement on the sensor, from the selection frame
  std::vector<Pulse> pulses;   // issued after this exposure
  std::vector<double> starSN;  // each field star's SN in this frame, brightest first
};

// RMS (about the mean) and peak to peak of the true error over the guided part of a run,
// sampled continuously in simulated time.
struct ErrorSummary {
  double seconds = 0.0;
  double raRms = 0.0, decRms = 0.0, totalRms = 0.0;
  double raPeakToPeak = 0.0, decPeakToPeak = 0.0;
};

}  // namespace corvane::sim
