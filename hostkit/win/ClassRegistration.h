// Serves a host class to the programs of this machine for the lifetime of one object: the class
// factory registered with COM and the ProgID key naming its CLSID. The plug-in's CoCreateInstance
// by ProgID then receives this program's own objects. An installed host's ProgID is never taken
// over; everything written is removed again by the destructor.
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/HostObjects.h"
#include "hostkit/win/HostSession.h"

namespace corvane::hostcom {

// CLSIDs of the classes served here (ours, not the host's).
inline constexpr CLSID kApplicationClsid = {
    0x5B7C3E21, 0x8F4A, 0x4C6D, {0x9A, 0x13, 0x2E, 0x6F, 0x41, 0xB8, 0x0C, 0x57}};
inline constexpr CLSID kCameraClsid = {
    0x5B7C3E22, 0x8F4A, 0x4C6D, {0x9A, 0x13, 0x2E, 0x6F, 0x41, 0xB8, 0x0C, 0x57}};

// The ProgID is owned by an installed host, or the registry could not be written.
class RegistrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ClassRegistration {
 public:
  using Create = std::function<Microsoft::WRL::ComPtr<IDispatch>()>;

  // Throws RegistrationError. COM must be initialised on this thread.
  ClassRegistration(const CLSID& clsid, std::wstring progId, Create create);
  ~ClassRegistration();
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;

 private:
  void RemoveProgId() noexcept;

  std::wstring progId_;
  DWORD cookie_ = 0;
  bool keyExisted_ = false;
  std::wstring previousClsid_;
};

// MaxIm.Application and MaxIm.CCDCamera, each object made by a callback.
class HostRegistration {
 public:
  using ApplicationFactory = std::function<std::unique_ptr<host::Application>()>;
  using CameraFactory = std::function<std::unique_ptr<host::Camera>()>;

  HostRegistration(std::shared_ptr<HostSession> session, ApplicationFactory application,
                   CameraFactory camera);

 private:
  ClassRegistration application_;
  ClassRegistration camera_;
};

// True when this program runs under Wine (whose HKCR does not include HKCU's classes).
bool RunningUnderWine();

}  // namespace corvane::hostcom
