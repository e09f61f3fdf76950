// QueryInterface and reference counting, written once for every COM object of ours: the plug-in,
// its class factory, and the simulated host's automation objects and class factories.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>
#include <tuple>

namespace corvane::win {

// An object implementing `Interfaces` (each an IUnknown). QueryInterface answers IUnknown through
// the first interface, each listed interface by its __uuidof, and whatever the class adds in
// OtherInterface (an interface a listed one derives from, or one known only at run time). The
// object starts with one reference, held by its creator; the last Release deletes it.
template <typename... Interfaces>
class ComObject : public Interfaces... {
  using Primary = std::tuple_element_t<0, std::tuple<Interfaces...>>;

 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = Find(interfaceId);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

  // The object's pointer for one more interface, or nullptr.
  virtual void* OtherInterface(REFIID) noexcept { return nullptr; }

 private:
  void* Find(REFIID interfaceId) noexcept {
    if (interfaceId == IID_IUnknown) return static_cast<Primary*>(this);
    void* found = nullptr;
    ((found == nullptr && interfaceId == __uuidof(Interfaces)
          ? found = static_cast<Interfaces*>(this)
          : found),
     ...);
    return found != nullptr ? found : OtherInterface(interfaceId);
  }

  std::atomic<ULONG> references_{1};
};

// An object that lives as long as the module (a static class object): references are not
// counted and it is never deleted; the module's own lock count keeps the module loaded.
template <typename Object>
class StaticComObject final : public Object {
 public:
  using Object::Object;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

}  // namespace corvane::win
