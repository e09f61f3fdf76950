#include "hostkit/win/HostComObjects.h"

#include <winerror.h>

#include "base/RunFailure.h"
#include "hostkit/win/DispatchObject.h"

namespace corvane::hostcom {
namespace {

using Kind = Member::Kind;

Member Property(std::wstring name, DISPID dispid, bool byName,
                std::function<win::Variant(const Arguments&)> get,
                std::function<void(const Arguments&)> put = nullptr) {
  return Member{std::move(name), dispid, byName, Kind::Property, 0, std::move(get), std::move(put)};
}

Member Method(std::wstring name, DISPID dispid, bool byName, std::size_t arity,
              std::function<win::Variant(const Arguments&)> call) {
  return Member{std::move(name), dispid, byName, Kind::Method, arity, std::move(call), nullptr};
}

// Hands the object's one reference to the caller. (mingw-w64's ComPtr::Attach adds a reference
// of its own, so the pointer is placed directly.)
Microsoft::WRL::ComPtr<IDispatch> Adopt(DispatchObject* object) {
  Microsoft::WRL::ComPtr<IDispatch> pointer;
  *pointer.GetAddressOf() = object;
  return pointer;
}

// The SAFEARRAY of VARIANTs PointInformation returns, with the array's own lower bound.
win::Variant ToSafeArray(const host::HostArray& array) {
  win::SafeArray elements(SafeArrayCreateVector(VT_VARIANT, array.lowerBound,
                                                static_cast<ULONG>(array.elements.size())));
  if (!elements.Get()) throw RunFailure(FailureKind::Host, "Out of memory", E_OUTOFMEMORY);
  for (std::size_t i = 0; i < array.elements.size(); ++i) {
    LONG index = array.lowerBound + static_cast<LONG>(i);
    win::Variant element = array.elements[i] ? win::Variant::Double(*array.elements[i])
                                             : win::Variant::Text(kNotANumber);
    // Copies the element; takes it without const.
    SafeArrayPutElement(elements.Get(), &index, const_cast<VARIANT*>(&element.Get()));
  }
  win::Variant result;
  VARIANT* slot = result.Receive();
  V_VT(slot) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(slot) = elements.Release();
  return result;
}

// The objects own their backends for as long as the plug-in holds them.
template <typename Backend>
class BackedObject final : public DispatchObject {
 public:
  BackedObject(std::string name, std::unique_ptr<Backend> backend,
               std::shared_ptr<HostSession> session, const IID* extraIid,
               std::vector<Member> (*members)(Backend&, const std::shared_ptr<HostSession>&))
      // The members refer to the backend object itself, which the move below does not move.
      : DispatchObject(std::move(name), members(*backend, session), session, extraIid),
        backend_(std::move(backend)) {}

 private:
  std::unique_ptr<Backend> backend_;
};

std::vector<Member> ApplicationMembers(host::Application& app,
                                       const std::shared_ptr<HostSession>& session) {
  return {
      Property(
          L"TelescopeConnected", 1, true,
          [&app](const Arguments&) { return win::Variant::Bool(app.TelescopeConnected()); },
          [&app](const Arguments& a) { app.SetTelescopeConnected(a.Bool(0)); }),
      Property(L"Documents", 2, true,
               [&app, session](const Arguments&) {
                 return win::Variant::Dispatch(MakeDocuments(app.Documents(), session).Detach());
               }),
  };
}

std::vector<Member> CameraMembers(host::Camera& cam, const std::shared_ptr<HostSession>&) {
  auto number = [](double (host::Camera::*read)(), host::Camera& c) {
    return [read, &c](const Arguments&) { return win::Variant::Double((c.*read)()); };
  };
  return {
      Property(
          L"LinkEnabled", 1, true,
          [&cam](const Arguments&) { return win::Variant::Bool(cam.LinkEnabled()); },
          [&cam](const Arguments& a) { cam.SetLinkEnabled(a.Bool(0)); }),
      Property(
          L"DisableAutoShutdown", 2, true,
          [](const Arguments&) { return win::Variant::Bool(false); },
          [&cam](const Arguments& a) { cam.SetDisableAutoShutdown(a.Bool(0)); }),
      Property(
          L"EventMask", 3, true, [](const Arguments&) { return win::Variant::Int32(0); },
          [&cam](const Arguments& a) { cam.SetEventMask(a.Int32(0)); }),
      Method(L"GuiderExpose", 4, true, 1,
             [&cam](const Arguments& a) {
               cam.GuiderExpose(a.Single(0));
               return win::Variant::Bool(true);
             }),
      Property(L"GuiderRunning", 5, true,
               [&cam](const Arguments&) { return win::Variant::Bool(cam.GuiderRunning()); }),
      Property(L"GuiderXSize", 6, true, number(&host::Camera::GuiderXSize, cam)),
      Property(L"GuiderYSize", 7, true, number(&host::Camera::GuiderYSize, cam)),
      Property(L"GuiderAngle", 8, true, number(&host::Camera::GuiderAngle, cam)),
      Property(L"GuiderDeclination", 9, true, number(&host::Camera::GuiderDeclination, cam)),
      Property(L"GuiderReverseX", 10, true,
               [&cam](const Arguments&) { return win::Variant::Bool(cam.GuiderReverseX()); }),
      Property(L"GuiderAggressiveness", 11, true, number(&host::Camera::GuiderAggressiveness, cam)),
      Property(L"GuiderXSpeed", 12, true, number(&host::Camera::GuiderXSpeed, cam)),
      Property(L"GuiderYSpeed", 13, true, number(&host::Camera::GuiderYSpeed, cam)),
      Property(L"GuiderOutputEnables", 14, true, number(&host::Camera::GuiderOutputEnables, cam)),
      Method(L"GuiderMove", 15, true, 2,
             [&cam](const Arguments& a) {
               cam.GuiderMove(a.Int16(0), a.Number(1));
               return win::Variant::Bool(true);
             }),
      Property(L"GuiderMoving", 16, true,
               [&cam](const Arguments&) { return win::Variant::Bool(cam.GuiderMoving()); }),
  };
}

std::vector<Member> DocumentsMembers(host::DocumentCollection& documents,
                                     const std::shared_ptr<HostSession>& session) {
  return {
      Method(L"Item", kItemId, false, 1,
             [&documents, session](const Arguments& a) {
               std::unique_ptr<host::Document> document = documents.Item(a.Int16(0));
               if (!document) {
                 throw RunFailure(FailureKind::Host, "Invalid document index", DISP_E_BADINDEX);
               }
               return win::Variant::Dispatch(MakeDocument(std::move(document), session).Detach());
             }),
      Property(L"Count", kCountId, false,
               [&documents](const Arguments&) { return win::Variant::Double(documents.Count()); }),
  };
}

std::vector<Member> DocumentMembers(host::Document& doc, const std::shared_ptr<HostSession>&) {
  return {
      Property(
          L"DisplayName", kDisplayNameId, true,
          [&doc](const Arguments&) { return win::Variant::Text(win::Widen(doc.DisplayName())); }),
      Property(L"PointerDown", kPointerDownId, false,
               [&doc](const Arguments&) { return win::Variant::Bool(doc.PointerDown()); }),
      Property(L"PointerX", kPointerXId, false,
               [&doc](const Arguments&) { return win::Variant::Double(doc.PointerX()); }),
      Property(L"PointerY", kPointerYId, false,
               [&doc](const Arguments&) { return win::Variant::Double(doc.PointerY()); }),
      Property(L"PointerReady", kPointerReadyId, false,
               [&doc](const Arguments&) { return win::Variant::Double(doc.PointerReady()); }),
      // Y arrives by reference; the host leaves it as it is.
      Method(L"PointInformation", kPointInformationId, false, 2,
             [&doc](const Arguments& a) {
               return ToSafeArray(doc.PointInformation(a.Int16(0), a.Int16(1)));
             }),
  };
}

}  // namespace

Microsoft::WRL::ComPtr<IDispatch> MakeApplication(std::unique_ptr<host::Application> backend,
                                                  std::shared_ptr<HostSession> session) {
  return Adopt(new BackedObject<host::Application>(
      "Application", std::move(backend), std::move(session), nullptr, &ApplicationMembers));
}

Microsoft::WRL::ComPtr<IDispatch> MakeCamera(std::unique_ptr<host::Camera> backend,
                                             std::shared_ptr<HostSession> session) {
  return Adopt(new BackedObject<host::Camera>("Camera", std::move(backend), std::move(session),
                                              nullptr, &CameraMembers));
}

Microsoft::WRL::ComPtr<IDispatch> MakeDocuments(std::unique_ptr<host::DocumentCollection> backend,
                                                std::shared_ptr<HostSession> session) {
  return Adopt(new BackedObject<host::DocumentCollection>(
      "Documents", std::move(backend), std::move(session), &kDocumentsIid, &DocumentsMembers));
}

Microsoft::WRL::ComPtr<IDispatch> MakeDocument(std::unique_ptr<host::Document> backend,
                                               std::shared_ptr<HostSession> session) {
  return Adopt(new BackedObject<host::Document>("Document", std::move(backend), std::move(session),
                                                &kDocumentIid, &DocumentMembers));
}

}  // namespace corvane::hostcom
