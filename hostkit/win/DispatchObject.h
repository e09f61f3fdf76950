// IDispatch written by hand over a table of members, without a type library: the way the host's
// automation objects are reached by the plug-in (by name, or by dispatch identifier). Every call
// is recorded in the session's log before it runs; a backend failure (corvane::RunFailure)
// becomes DISP_E_EXCEPTION with the failure's description in EXCEPINFO.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostObjects.h"
#include "hostkit/win/HostSession.h"
#include "win/AutomationValues.h"
#include "win/ComObject.h"

namespace corvane::hostcom {

// The arguments of one call in call order, converted on request to the type the member takes
// from whatever VARIANT type arrived (by-reference values are read through the reference).
class Arguments {
 public:
  explicit Arguments(std::vector<const VARIANT*> values) : values_(std::move(values)) {}

  std::size_t Count() const { return values_.size(); }
  VARTYPE Type(std::size_t index) const { return V_VT(values_.at(index)); }
  std::int16_t Int16(std::size_t index) const;
  std::int32_t Int32(std::size_t index) const;
  float Single(std::size_t index) const;
  double Double(std::size_t index) const;
  bool Bool(std::size_t index) const;
  // The number with the automation type it came in: the X pulse may be a double, the integer 0
  // or a 32-bit float, and some durations arrive by reference.
  host::HostNumber Number(std::size_t index) const;

 private:
  win::Variant Converted(std::size_t index, VARTYPE type) const;
  std::vector<const VARIANT*> values_;
};

struct Member {
  enum class Kind { Property, Method };
  std::wstring name;  // the host's name of the member
  DISPID dispid;
  bool byName;  // GetIDsOfNames answers the name; otherwise reached by identifier only
  Kind kind;
  std::size_t arity = 0;                              // arguments of a method or of a property get
  std::function<win::Variant(const Arguments&)> get;  // property read, or the method call
  std::function<void(const Arguments&)> put;          // property write (the value is argument 0)
};

class DispatchObject : public win::ComObject<IDispatch> {
 public:
  // extraIid: one more dispatch interface the object answers QueryInterface for.
  DispatchObject(std::string objectName, std::vector<Member> members,
                 std::shared_ptr<HostSession> session, const IID* extraIid = nullptr);
  ~DispatchObject() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 protected:
  const std::shared_ptr<HostSession>& Session() const { return session_; }

 private:
  const Member* Find(DISPID dispid) const;
  void* OtherInterface(REFIID riid) noexcept override;

  std::string objectName_;
  std::vector<Member> members_;
  std::shared_ptr<HostSession> session_;
  const IID* extraIid_;
};

}  // namespace corvane::hostcom
