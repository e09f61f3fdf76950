// The host's automation objects over IDispatch. The application and the camera are created by
// ProgID and called by member name; the document collection and the documents are called by
// their dispatch identifiers (DisplayName by name).
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <memory>

#include "host/HostObjects.h"

namespace corvane::win {

// Creates MaxIm.Application and MaxIm.CCDCamera with CLSCTX_SERVER, so the host's running
// objects (in its own process or in ours) are reached.
class WinHostConnection final : public host::HostConnection {
 public:
  std::unique_ptr<host::Application> CreateApplication() override;
  std::unique_ptr<host::Camera> CreateCamera() override;
};

// The adapters over objects already at hand.
std::unique_ptr<host::Application> ApplicationOver(Microsoft::WRL::ComPtr<IDispatch> object);
std::unique_ptr<host::Camera> CameraOver(Microsoft::WRL::ComPtr<IDispatch> object);
std::unique_ptr<host::DocumentCollection> DocumentsOver(Microsoft::WRL::ComPtr<IDispatch> object);
std::unique_ptr<host::Document> DocumentOver(Microsoft::WRL::ComPtr<IDispatch> object);

}  // namespace corvane::win
