// The host's automation objects as COM objects over the C++ host interfaces: MaxIm.Application
// and MaxIm.CCDCamera answer their members by name; the document collection and the documents
// answer the dispatch identifiers the host gives them (DisplayName by name).
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>

#include "host/HostObjects.h"
#include "hostkit/win/HostSession.h"

namespace corvane::hostcom {

// The host's dispatch interfaces of the document collection and of a document.
inline constexpr IID kDocumentsIid = {
    0x6995C963, 0x5416, 0x11D4, {0x91, 0x31, 0x00, 0x60, 0x67, 0x66, 0x44, 0xC1}};
inline constexpr IID kDocumentIid = {
    0xB4955EC8, 0xF7F2, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Dispatch identifiers of the collection and the document.
inline constexpr DISPID kItemId = 1;
inline constexpr DISPID kCountId = 2;
inline constexpr DISPID kPointerDownId = 51;
inline constexpr DISPID kPointerXId = 52;
inline constexpr DISPID kPointerYId = 53;
inline constexpr DISPID kPointerReadyId = 57;
inline constexpr DISPID kPointInformationId = 70;
inline constexpr DISPID kDisplayNameId = 1000;

// What an element of PointInformation's result that is not a number holds.
inline constexpr const wchar_t* kNotANumber = L"n/a";

Microsoft::WRL::ComPtr<IDispatch> MakeApplication(std::unique_ptr<host::Application> backend,
                                                  std::shared_ptr<HostSession> session);
Microsoft::WRL::ComPtr<IDispatch> MakeCamera(std::unique_ptr<host::Camera> backend,
                                             std::shared_ptr<HostSession> session);
Microsoft::WRL::ComPtr<IDispatch> MakeDocuments(std::unique_ptr<host::DocumentCollection> backend,
                                                std::shared_ptr<HostSession> session);
Microsoft::WRL::ComPtr<IDispatch> MakeDocument(std::unique_ptr<host::Document> backend,
                                               std::shared_ptr<HostSession> session);

}  // namespace corvane::hostcom
