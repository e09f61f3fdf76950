// The host's automation objects as the guiding run sees them: one method per host member, named
// after it, in host terms (seconds, pixels, degrees, true/false). Numbers come back as the host
// gave them (as double); the run does its own conversions to 16-bit integers and 32-bit floats.
// Every method raises a RunFailure of kind Host, carrying the host's description, when the host
// fails. The Windows shell implements these over IDispatch; the simulated observatory and the
// tests implement them directly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/RunFailure.h"

namespace corvane::host {

// A number handed to the host with a given automation type: the X pulse may be a double, the
// integer 0 or a 32-bit float, and GuiderMove takes some durations by reference.
struct HostNumber {
  enum class Type { Integer, Single, Double };
  Type type = Type::Double;
  double value = 0.0;
  bool byReference = false;
  // With byReference: the reference is to an automation value (a VARIANT) that holds the number
  // in its type, not to a variable of that type (the X pulse, whose type varies from cycle to
  // cycle).
  bool inAutomationValue = false;

  friend bool operator==(const HostNumber&, const HostNumber&) = default;
};

// An array returned by the host (PointInformation). Elements are addressed by their index value
// whatever the array's lower bound; an element that is not a number is held as nullopt.
struct HostArray {
  std::int32_t lowerBound = 0;
  std::vector<std::optional<double>> elements;

  // The element with this index value: SubscriptOutOfRange when the array has none there,
  // TypeMismatch when it is not a number.
  double At(std::int32_t index) const {
    const std::int64_t slot = static_cast<std::int64_t>(index) - lowerBound;
    if (slot < 0 || slot >= static_cast<std::int64_t>(elements.size())) RaiseSubscriptOutOfRange();
    const auto& element = elements[static_cast<std::size_t>(slot)];
    if (!element) RaiseTypeMismatch();
    return *element;
  }
};

// Indices of PointInformation's result that the run reads.
inline constexpr std::int32_t kCentroidX = 6;
inline constexpr std::int32_t kCentroidY = 7;
inline constexpr std::int32_t kSignalToNoise = 12;

// A document of the host (dispatch identifiers in brackets).
class Document {
 public:
  virtual ~Document() = default;
  virtual std::string DisplayName() = 0;  // by name; UTF-8
  virtual double PointerReady() = 0;      // [57]
  virtual bool PointerDown() = 0;         // [51]
  virtual double PointerX() = 0;          // [52]
  virtual double PointerY() = 0;          // [53]
  // [70] X by value, Y by reference (whatever the host writes back is ignored).
  virtual HostArray PointInformation(std::int16_t x, std::int16_t y) = 0;
};

// The application's document collection.
class DocumentCollection {
 public:
  virtual ~DocumentCollection() = default;
  virtual double Count() = 0;                                      // [2]
  virtual std::unique_ptr<Document> Item(std::int16_t index) = 0;  // [1], 1-based
};

// MaxIm.Application
class Application {
 public:
  virtual ~Application() = default;
  virtual void SetTelescopeConnected(bool value) = 0;
  virtual bool TelescopeConnected() = 0;
  virtual std::unique_ptr<DocumentCollection> Documents() = 0;
};

// MaxIm.CCDCamera
class Camera {
 public:
  virtual ~Camera() = default;
  virtual void SetLinkEnabled(bool value) = 0;
  virtual bool LinkEnabled() = 0;
  virtual void SetDisableAutoShutdown(bool value) = 0;
  virtual void SetEventMask(std::int32_t mask) = 0;
  virtual void GuiderExpose(float seconds) = 0;
  virtual bool GuiderRunning() = 0;  // an empty or null value reads as false
  virtual double GuiderXSize() = 0;
  virtual double GuiderYSize() = 0;
  virtual double GuiderAngle() = 0;        // degrees
  virtual double GuiderDeclination() = 0;  // degrees
  virtual bool GuiderReverseX() = 0;
  virtual double GuiderAggressiveness() = 0;
  virtual double GuiderXSpeed() = 0;  // pixels per second of pulse
  virtual double GuiderYSpeed() = 0;
  virtual double GuiderOutputEnables() = 0;  // bit mask, bit 2^direction
  virtual void GuiderMove(std::int16_t direction, const HostNumber& seconds) = 0;
  virtual bool GuiderMoving() = 0;
};

// Creates the two objects the run makes by ProgID (MaxIm.Application, MaxIm.CCDCamera).
class HostConnection {
 public:
  virtual ~HostConnection() = default;
  virtual std::unique_ptr<Application> CreateApplication() = 0;
  virtual std::unique_ptr<Camera> CreateCamera() = 0;
};

}  // namespace corvane::host
