// Windows only, linked into the exe alone: DirectInput game controllers that XInput does not read
// (PlayStation, Switch Pro and generic pads), as the readings the XInput pads give
// (joystick_layout.h), for gamepad.cpp to step the same mapping with.
//
// DirectInput is asked only when no XInput pad plays, and looked at for a new pad at most every
// two seconds; even then the devices are listed again only when the system's count of input
// devices changed or the last pad went away, as listing them can take milliseconds.
#ifdef _WIN32

#include <windows.h>

#include <dinput.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "joystick_layout.h"
#include "joysticks.h"

namespace {

using CreateFunction = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

constexpr ULONGLONG look_interval_ms = 2000;
constexpr int xinput_id_capacity = 16;

struct Ids {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

struct Joysticks {
    bool created = false;
    IDirectInput8A* input = nullptr;
    IDirectInputDevice8A* device = nullptr;  // the pad that plays, null for none
    joystick::Layout layout;
    joystick::AxisRanges ranges{};
    bool looked = false;
    ULONGLONG last_look = 0;
    UINT device_count = 0;  // the system's input devices when the pads were last listed
    bool list_again = true;
    GUID told{};  // the last pad whose ranges were said to be unusable
};
Joysticks joysticks;

void create_input() {
    joysticks.created = true;
    // The real DirectInput's own entry: the exe's import of it is the game's, wrapped.
    HMODULE module = GetModuleHandleA("dinput8.dll");
    const auto create = module == nullptr ? nullptr
                                          : reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(
                                                GetProcAddress(module, "DirectInput8Create")));
    void* input = nullptr;
    if (create != nullptr &&
        SUCCEEDED(create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A, &input, nullptr))) {
        joysticks.input = static_cast<IDirectInput8A*>(input);
        return;
    }
    std::fputs("zorvalen: no DirectInput for pads: only XInput pads play\n", stderr);
    std::fflush(stderr);
}

// The ids of the devices XInput reads, so DirectInput's view of the same pads is passed over.
int list_xinput_ids(Ids (&ids)[xinput_id_capacity]) {
    UINT count = 0;
    if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0 || count == 0) return 0;
    std::vector<RAWINPUTDEVICELIST> devices(count);
    const UINT listed = GetRawInputDeviceList(devices.data(), &count, sizeof(RAWINPUTDEVICELIST));
    if (listed == static_cast<UINT>(-1)) return 0;
    int found = 0;
    for (UINT i = 0; i < listed && found < xinput_id_capacity; ++i) {
        if (devices[i].dwType != RIM_TYPEHID) continue;
        char name[512];
        UINT size = sizeof name;
        const UINT length = GetRawInputDeviceInfoA(devices[i].hDevice, RIDI_DEVICENAME, name, &size);
        if (length == static_cast<UINT>(-1) || length == 0 || length > sizeof name) continue;
        Ids& id = ids[found];
        if (joystick::find_xinput_ids(std::string_view(name, strnlen(name, length)), id.vendor, id.product)) ++found;
    }
    return found;
}

struct Candidate {
    const Ids* xinput = nullptr;
    int xinput_count = 0;
    bool found = false;
    GUID instance{};
    Ids ids;
    char name[MAX_PATH] = {};
};

BOOL CALLBACK take_first(const DIDEVICEINSTANCEA* instance, void* context) {
    Candidate& candidate = *static_cast<Candidate*>(context);
    // DirectInput's product guid starts with the vendor and product ids.
    const Ids ids{LOWORD(instance->guidProduct.Data1), HIWORD(instance->guidProduct.Data1)};
    for (int i = 0; i < candidate.xinput_count; ++i)
        if (candidate.xinput[i].vendor == ids.vendor && candidate.xinput[i].product == ids.product) return DIENUM_CONTINUE;
    candidate.found = true;
    candidate.instance = instance->guidInstance;
    candidate.ids = ids;
    std::memcpy(candidate.name, instance->tszProductName, sizeof candidate.name);
    candidate.name[sizeof candidate.name - 1] = '\0';
    return DIENUM_STOP;
}

void open_device(const Candidate& candidate, HWND window) {
    IDirectInputDevice8A* device = nullptr;
    if (FAILED(joysticks.input->CreateDevice(candidate.instance, &device, nullptr))) return;
    if (FAILED(device->SetDataFormat(&c_dfDIJoystick2)) ||
        FAILED(device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND))) {
        device->Release();
        return;
    }
    constexpr DWORD offsets[joystick::axis_count] = {DIJOFS_X,  DIJOFS_Y,  DIJOFS_Z,         DIJOFS_RX,
                                                     DIJOFS_RY, DIJOFS_RZ, DIJOFS_SLIDER(0), DIJOFS_SLIDER(1)};
    for (int axis = 0; axis < joystick::axis_count; ++axis) {
        DIPROPRANGE range{};
        range.diph.dwSize = sizeof range;
        range.diph.dwHeaderSize = sizeof range.diph;
        range.diph.dwObj = offsets[axis];
        range.diph.dwHow = DIPH_BYOFFSET;
        range.lMin = -32768;
        range.lMax = 32767;
        // A device may keep a range of its own: what it reads back is what counts.
        device->SetProperty(DIPROP_RANGE, &range.diph);
        joystick::AxisRange& kept = joysticks.ranges[axis];
        kept = {};
        if (SUCCEEDED(device->GetProperty(DIPROP_RANGE, &range.diph))) kept = {range.lMin, range.lMax};
    }
    joysticks.layout = joystick::choose_layout(candidate.ids.vendor, candidate.ids.product, joysticks.ranges);
    const joystick::Axis unusable = joystick::find_unusable_axis(joysticks.layout, joysticks.ranges);
    if (unusable != joystick::no_axis && !IsEqualGUID(joysticks.told, candidate.instance)) {
        joysticks.told = candidate.instance;
        const std::string_view axis = joystick::name_axis(unusable);
        std::fprintf(stderr, "zorvalen: the pad \"%s\" gives its %.*s axis the range %ld..%ld: that axis reads as at rest\n",
                     candidate.name, static_cast<int>(axis.size()), axis.data(),
                     static_cast<long>(joysticks.ranges[unusable].low), static_cast<long>(joysticks.ranges[unusable].high));
        std::fflush(stderr);
    }
    device->Acquire();
    joysticks.device = device;
}

// Opens the first DirectInput pad XInput does not read, when it is time to look for one.
bool find_device(HWND window) {
    const ULONGLONG now = GetTickCount64();
    if (joysticks.looked && now - joysticks.last_look < look_interval_ms) return false;
    joysticks.looked = true;
    joysticks.last_look = now;
    if (!joysticks.created) create_input();
    if (joysticks.input == nullptr) return false;
    UINT count = 0;
    GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST));
    if (!joysticks.list_again && count == joysticks.device_count) return false;
    joysticks.list_again = false;
    joysticks.device_count = count;
    Ids xinput[xinput_id_capacity];
    Candidate candidate;
    candidate.xinput = xinput;
    candidate.xinput_count = list_xinput_ids(xinput);
    if (FAILED(joysticks.input->EnumDevices(DI8DEVCLASS_GAMECTRL, take_first, &candidate, DIEDFL_ATTACHEDONLY)) ||
        !candidate.found)
        return false;
    open_device(candidate, window);
    return joysticks.device != nullptr;
}

void drop_device() {
    joysticks.device->Unacquire();
    joysticks.device->Release();
    joysticks.device = nullptr;
    // Listed again at the next look, whatever the count, for another pad or this one back.
    joysticks.list_again = true;
    joysticks.looked = true;
    joysticks.last_look = GetTickCount64();
}

}  // namespace

namespace windows_joysticks {

bool read_joystick(HWND window, gamepad::PadReading& reading) {
    if (joysticks.device == nullptr && !find_device(window)) return false;
    IDirectInputDevice8A* device = joysticks.device;
    DIJOYSTATE2 state;
    device->Poll();
    HRESULT result = device->GetDeviceState(sizeof state, &state);
    if ((result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) && SUCCEEDED(device->Acquire())) {
        device->Poll();
        result = device->GetDeviceState(sizeof state, &state);
    }
    if (FAILED(result)) {
        drop_device();
        return false;
    }
    joystick::JoystickState values;
    const LONG axes[joystick::axis_count] = {state.lX,  state.lY,  state.lZ,           state.lRx,
                                             state.lRy, state.lRz, state.rglSlider[0], state.rglSlider[1]};
    for (int axis = 0; axis < joystick::axis_count; ++axis) values.axes[axis] = axes[axis];
    values.pov = state.rgdwPOV[0];
    std::memcpy(values.buttons, state.rgbButtons, sizeof values.buttons);
    reading = joystick::read_joystick(joysticks.layout, joysticks.ranges, values);
    return true;
}

}  // namespace windows_joysticks

#endif
