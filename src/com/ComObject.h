// The base of every reference-counted object of the library. An object
// implements exactly one interface of the boundary (`Itf`, with its chain of
// bases) and the error-information query:
//
//   class CGafThing : public ComObject<IKroThing> { ... overrides of IKroThing ... };
//
// - AddRef and Release return the new count; Release deletes the object when
//   the count reaches 0. Objects are apartment-threaded: the count is plain.
// - QueryInterface answers IID_IUnknown and every interface of Itf's chain
//   with one and the same pointer (the object's identity), and
//   IID_ISupportErrorInfo; anything else gives E_NOINTERFACE with *ppv null.
// - InterfaceSupportsErrorInfo is S_OK for Itf's own identifier only; no
//   error-information object is ever produced.
// - Each live object holds one module lock (ModuleLock.h).
//
// A new object starts with a count of 0: the creator takes the first
// reference (ComCreate.h does this for you).
#ifndef KRO_COM_COMOBJECT_H
#define KRO_COM_COMOBJECT_H

#include "com/InterfaceTraits.h"
#include "com/ModuleLock.h"

namespace kro {

template <class Itf>
class ComObject : public Itf, public ISupportErrorInfo {
 public:
  using Interface = Itf;

  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (InterfaceChainContains<Itf>(riid)) {
      *ppv = static_cast<Itf*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  ULONG AddRef() override { return ++references_; }

  ULONG Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IidOf<Itf>() ? S_OK : S_FALSE;
  }

  // The object as its own interface, without touching the count.
  Itf* AsInterface() { return this; }

 protected:
  ComObject() { LockModule(); }
  // Virtual so that Release deletes the most derived object; the slot comes
  // after the interface's own slots and so leaves their order alone.
  virtual ~ComObject() { UnlockModule(); }

 private:
  ULONG references_ = 0;
};

}  // namespace kro

#endif
