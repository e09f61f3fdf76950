// The owners of Windows resources and of COM objects: each resource is freed exactly once, and a
// COM object answers its interfaces and lives until its last reference goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <vector>

#include "win/ComObject.h"
#include "win/UniqueResource.h"

namespace corvane::win {
namespace {

std::vector<int> closed;  // what the counting traits closed, in order

struct CountingTraits {
  using Type = int;
  static Type Empty() noexcept { return 0; }
  static void Close(Type value) noexcept { closed.push_back(value); }
};
using UniqueCounted = UniqueResource<CountingTraits>;

TEST(UniqueResource, EachValueIsClosedOnceWhateverHandsItOn) {
  closed.clear();
  {
    UniqueCounted first(1);
    UniqueCounted second(std::move(first));  // moved: only the new owner closes
    EXPECT_FALSE(first);
    *second.Receive() = 2;  // a call returning a new value: the old one is closed first
    EXPECT_EQ(closed, std::vector<int>{1});
    second.Reset(3);
    const int released = UniqueCounted(4).Release();  // handed over: never closed here
    EXPECT_EQ(released, 4);
    UniqueCounted third(5);
    third = std::move(second);  // the target's own value is closed
  }
  EXPECT_EQ(closed, (std::vector<int>{1, 2, 5, 3}));
}

TEST(UniqueResource, AWindowDcIsReleasedToItsWindow) {
  UniqueWindowDc screen = GetWindowDc(nullptr);
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen.Get().window, nullptr);
  EXPECT_GT(GetDeviceCaps(screen.Get().dc, LOGPIXELSX), 0);
  screen.Reset();
  EXPECT_FALSE(screen);
}

int liveObjects = 0;

class Object final : public ComObject<IDispatch, ISupportErrorInfo> {
 public:
  Object() { ++liveObjects; }
  ~Object() override { --liveObjects; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

 private:
  void* OtherInterface(REFIID id) noexcept override {
    return id == IID_IClassFactory ? static_cast<IDispatch*>(this) : nullptr;  // any other IID
  }
};

TEST(ComObject, AnswersItsInterfacesAndLivesUntilTheLastRelease) {
  liveObjects = 0;
  Microsoft::WRL::ComPtr<IDispatch> dispatch;
  // Takes over the creator's reference (mingw-w64's ComPtr::Attach would add one).
  *dispatch.ReleaseAndGetAddressOf() = new Object;
  Microsoft::WRL::ComPtr<IUnknown> unknown, again;
  Microsoft::WRL::ComPtr<ISupportErrorInfo> errors;
  ASSERT_EQ(dispatch.As(&unknown), S_OK);
  ASSERT_EQ(dispatch.As(&errors), S_OK);
  ASSERT_EQ(errors.As(&again), S_OK);
  EXPECT_EQ(unknown.Get(), again.Get());  // one identity from every interface
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
  void* other = nullptr;
  EXPECT_EQ(dispatch->QueryInterface(IID_IClassFactory, &other), S_OK);
  EXPECT_EQ(other, dispatch.Get());
  dispatch->Release();  // the reference the query added
  void* none = &other;
  EXPECT_EQ(dispatch->QueryInterface(IID_IStream, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(dispatch->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

  dispatch.Reset();
  unknown.Reset();
  again.Reset();
  EXPECT_EQ(liveObjects, 1);
  errors.Reset();
  EXPECT_EQ(liveObjects, 0);
}

}  // namespace
}  // namespace corvane::win
