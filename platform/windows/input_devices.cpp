// Windows only, linked into the exe alone: the DirectInput devices the game makes, wrapped, so
// that every keyboard and mouse read the game takes passes replays/device_reads.h, as it does in
// our layer on Linux and in the browser: there it is translated (the settings' key remapping),
// recorded for the replay, or answered by a replay being watched.
//
// The game calls DirectInput8Create through the exe's import table; before WinMain runs, that
// one entry is pointed here. The real DirectInput makes the object, and each device it makes is
// handed out inside a wrapper that passes every call on unchanged, but for GetDeviceState.
#ifdef _WIN32

#include <windows.h>

#include <dinput.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "com_wrapper.h"
#include "replays/device_reads.h"

namespace {

using CreateFunction = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
CreateFunction real_create = nullptr;

enum class Kind { other, keyboard, mouse };

// The device the game holds. Only GetDeviceState does more than pass the call on.
class Device final : public ComWrapper<Device, IDirectInputDevice8A> {
public:
    Device(IDirectInputDevice8A* real, Kind kind) : ComWrapper(real), kind_(kind) {}

    static bool answers(REFIID riid) { return riid == IID_IDirectInputDevice8A; }

    HRESULT WINAPI GetDeviceState(DWORD size, LPVOID data) override {
        const HRESULT result = inner_->GetDeviceState(size, data);
        if (data == nullptr || kind_ == Kind::other) return result;
        const bool read = SUCCEEDED(result);
        bool ok = read;
        if (kind_ == Kind::keyboard && size == 256) {
            // A failed read counts as nothing held, as the game takes it.
            if (!read) std::memset(data, 0, size);
            ok = device_reads::pass_keyboard_read(static_cast<std::uint8_t*>(data), read);
        } else if (kind_ == Kind::mouse && size == sizeof(DIMOUSESTATE)) {
            DIMOUSESTATE& state = *static_cast<DIMOUSESTATE*>(data);
            if (!read) std::memset(data, 0, size);
            ok = device_reads::pass_mouse_state(state, read);
        } else {
            return result;
        }
        // A read a replay answered succeeds, so the game will not ask for the device back
        // after losing the focus as it would after a failed read: ask here.
        if (ok && !read) inner_->Acquire();
        return ok ? DI_OK : result;
    }

    // Everything else, as it is.
    HRESULT WINAPI GetCapabilities(LPDIDEVCAPS caps) override { return inner_->GetCapabilities(caps); }
    HRESULT WINAPI EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID ref, DWORD flags) override {
        return inner_->EnumObjects(callback, ref, flags);
    }
    HRESULT WINAPI GetProperty(REFGUID property, LPDIPROPHEADER header) override {
        return inner_->GetProperty(property, header);
    }
    HRESULT WINAPI SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        return inner_->SetProperty(property, header);
    }
    HRESULT WINAPI Acquire() override { return inner_->Acquire(); }
    HRESULT WINAPI Unacquire() override { return inner_->Unacquire(); }
    HRESULT WINAPI GetDeviceData(DWORD size, LPDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags) override {
        return inner_->GetDeviceData(size, data, count, flags);
    }
    HRESULT WINAPI SetDataFormat(LPCDIDATAFORMAT format) override { return inner_->SetDataFormat(format); }
    HRESULT WINAPI SetEventNotification(HANDLE event) override { return inner_->SetEventNotification(event); }
    HRESULT WINAPI SetCooperativeLevel(HWND window, DWORD flags) override {
        return inner_->SetCooperativeLevel(window, flags);
    }
    HRESULT WINAPI GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA info, DWORD object, DWORD how) override {
        return inner_->GetObjectInfo(info, object, how);
    }
    HRESULT WINAPI GetDeviceInfo(LPDIDEVICEINSTANCEA info) override { return inner_->GetDeviceInfo(info); }
    HRESULT WINAPI RunControlPanel(HWND owner, DWORD flags) override { return inner_->RunControlPanel(owner, flags); }
    HRESULT WINAPI Initialize(HINSTANCE instance, DWORD version, REFGUID guid) override {
        return inner_->Initialize(instance, version, guid);
    }
    HRESULT WINAPI CreateEffect(REFGUID guid, LPCDIEFFECT effect, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) override {
        return inner_->CreateEffect(guid, effect, out, outer);
    }
    HRESULT WINAPI EnumEffects(LPDIENUMEFFECTSCALLBACKA callback, LPVOID ref, DWORD type) override {
        return inner_->EnumEffects(callback, ref, type);
    }
    HRESULT WINAPI GetEffectInfo(LPDIEFFECTINFOA info, REFGUID guid) override { return inner_->GetEffectInfo(info, guid); }
    HRESULT WINAPI GetForceFeedbackState(LPDWORD out) override { return inner_->GetForceFeedbackState(out); }
    HRESULT WINAPI SendForceFeedbackCommand(DWORD flags) override { return inner_->SendForceFeedbackCommand(flags); }
    HRESULT WINAPI EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK callback, LPVOID ref,
                                            DWORD flags) override {
        return inner_->EnumCreatedEffectObjects(callback, ref, flags);
    }
    HRESULT WINAPI Escape(LPDIEFFESCAPE escape) override { return inner_->Escape(escape); }
    HRESULT WINAPI Poll() override { return inner_->Poll(); }
    HRESULT WINAPI SendDeviceData(DWORD size, LPCDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags) override {
        return inner_->SendDeviceData(size, data, count, flags);
    }
    HRESULT WINAPI EnumEffectsInFile(LPCSTR file, LPDIENUMEFFECTSINFILECALLBACK callback, LPVOID ref,
                                     DWORD flags) override {
        return inner_->EnumEffectsInFile(file, callback, ref, flags);
    }
    HRESULT WINAPI WriteEffectToFile(LPCSTR file, DWORD entries, LPDIFILEEFFECT effects, DWORD flags) override {
        return inner_->WriteEffectToFile(file, entries, effects, flags);
    }
    HRESULT WINAPI BuildActionMap(LPDIACTIONFORMATA format, LPCSTR user, DWORD flags) override {
        return inner_->BuildActionMap(format, user, flags);
    }
    HRESULT WINAPI SetActionMap(LPDIACTIONFORMATA format, LPCSTR user, DWORD flags) override {
        return inner_->SetActionMap(format, user, flags);
    }
    HRESULT WINAPI GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA header) override { return inner_->GetImageInfo(header); }

private:
    Kind kind_;
};

// The DirectInput object the game holds: its devices come out wrapped.
class Input final : public ComWrapper<Input, IDirectInput8A> {
public:
    explicit Input(IDirectInput8A* real) : ComWrapper(real) {}

    static bool answers(REFIID riid) { return riid == IID_IDirectInput8A; }

    HRESULT WINAPI CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        const HRESULT result = inner_->CreateDevice(guid, device, outer);
        if (FAILED(result) || device == nullptr || *device == nullptr) return result;
        const Kind kind = guid == GUID_SysKeyboard ? Kind::keyboard : guid == GUID_SysMouse ? Kind::mouse : Kind::other;
        Device* wrapped = new (std::nothrow) Device(*device, kind);
        if (wrapped == nullptr) {
            (*device)->Release();
            *device = nullptr;
            return E_OUTOFMEMORY;
        }
        *device = wrapped;
        return result;
    }
    HRESULT WINAPI EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref, DWORD flags) override {
        return inner_->EnumDevices(type, callback, ref, flags);
    }
    HRESULT WINAPI GetDeviceStatus(REFGUID guid) override { return inner_->GetDeviceStatus(guid); }
    HRESULT WINAPI RunControlPanel(HWND owner, DWORD flags) override { return inner_->RunControlPanel(owner, flags); }
    HRESULT WINAPI Initialize(HINSTANCE instance, DWORD version) override { return inner_->Initialize(instance, version); }
    HRESULT WINAPI FindDevice(REFGUID guid, LPCSTR name, LPGUID instance) override {
        return inner_->FindDevice(guid, name, instance);
    }
    HRESULT WINAPI EnumDevicesBySemantics(LPCSTR user, LPDIACTIONFORMATA format, LPDIENUMDEVICESBYSEMANTICSCBA callback,
                                          LPVOID ref, DWORD flags) override {
        return inner_->EnumDevicesBySemantics(user, format, callback, ref, flags);
    }
    HRESULT WINAPI ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK callback, LPDICONFIGUREDEVICESPARAMSA params,
                                    DWORD flags, LPVOID ref) override {
        return inner_->ConfigureDevices(callback, params, flags, ref);
    }
};

HRESULT WINAPI create_wrapped(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    const HRESULT result = real_create(instance, version, riid, out, outer);
    if (FAILED(result) || out == nullptr || *out == nullptr || riid != IID_IDirectInput8A) return result;
    Input* wrapped = new (std::nothrow) Input(static_cast<IDirectInput8A*>(*out));
    if (wrapped == nullptr) {
        static_cast<IUnknown*>(*out)->Release();
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    *out = static_cast<IDirectInput8A*>(wrapped);
    return result;
}

// Points the exe's import of `function` from `dll` at `replacement`; the old target goes into
// `original`. False when the exe does not import it.
bool redirect_import(const char* dll, const char* function, void* replacement, void** original) {
    auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return false;
    for (auto* imports = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         imports->Name != 0; ++imports) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imports->Name), dll) != 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (imports->OriginalFirstThunk != 0 ? imports->OriginalFirstThunk : imports->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imports->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(name->Name), function) != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection)) return false;
            *original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

// Before WinMain, with the program's static data.
const bool wrapped = [] {
    void* original = nullptr;
    if (!redirect_import("dinput8.dll", "DirectInput8Create", reinterpret_cast<void*>(create_wrapped), &original))
        return false;
    real_create = reinterpret_cast<CreateFunction>(original);
    return true;
}();

}  // namespace

#endif
