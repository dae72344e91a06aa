// Windows only: the IUnknown part that every wrapper around one of the game's COM objects shares.
// The wrapper answers for the interfaces it stands for (Derived::answers) and hands any other
// question to the object it wraps, which it holds one reference to until its own last release.
#pragma once

#ifdef _WIN32

#include <windows.h>

template <class Derived, class Interface>
class ComWrapper : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || Derived::answers(riid)) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        return inner_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            inner_->Release();
            delete static_cast<Derived*>(this);
        }
        return static_cast<ULONG>(left);
    }

protected:
    explicit ComWrapper(Interface* inner) : inner_(inner) {}
    ~ComWrapper() = default;

    Interface* inner_;

private:
    LONG references_ = 1;
};

#endif
