// What every object the layer hands out shares with a COM object: a reference count that
// deletes it at zero, and QueryInterface answering for IUnknown and its own interfaces.
#pragma once

#include <atomic>
#include <initializer_list>

#include <windows.h>

namespace platform {

inline const GUID iid_unknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Answers a QueryInterface on `self` for IUnknown and for each identifier in `ids`.
template <typename Interface>
HRESULT answer_query(Interface* self, REFIID riid, void** object, std::initializer_list<const GUID*> ids = {}) {
    if (object == nullptr) return E_POINTER;
    bool known = riid == iid_unknown;
    for (const GUID* id : ids) known = known || riid == *id;
    if (!known) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    self->AddRef();
    *object = self;
    return S_OK;
}

// The count is atomic because the audio thread may hold a sound buffer while the game lets go.
template <typename Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    std::atomic<ULONG> references_{1};
};

}  // namespace platform
