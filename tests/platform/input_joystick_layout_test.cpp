// The exe's DirectInput pads as the mapping's readings (platform/windows/joystick_layout.h).
#include <gtest/gtest.h>

#include <climits>

#include "joystick_layout.h"

namespace {

using namespace joystick;
namespace button = gamepad::button;

constexpr std::uint8_t down = 0x80;

TEST(JoystickLayout, ADualShock4ReadsItsNativeRangesSticksTriggersHatAndButtons) {
    // The ranges such a pad reports when it will not take the ones asked for; it has no sliders.
    AxisRanges ranges{};
    for (const Axis axis : {axis_x, axis_y, axis_z, axis_rx, axis_ry, axis_rz}) ranges[axis] = {0, 255};
    const Layout layout = choose_layout(0x054C, 0x09CC, ranges);
    EXPECT_EQ(layout.name, "DualShock 4");
    EXPECT_EQ(find_unusable_axis(layout, ranges), no_axis);

    JoystickState state;
    state.axes[axis_x] = 0;      // left stick all the way left
    state.axes[axis_y] = 255;    // and down
    state.axes[axis_z] = 128;    // right stick about centred across
    state.axes[axis_rz] = 0;     // and up
    state.axes[axis_rx] = 0;     // L2 released
    state.axes[axis_ry] = 255;   // R2 pulled all the way
    state.pov = 13500;           // the d-pad down and right
    state.buttons[1] = state.buttons[9] = state.buttons[8] = down;  // Cross, Options, Share
    state.buttons[7] = down;     // R2's own button: the axis counts, not this
    const gamepad::PadReading reading = read_joystick(layout, ranges, state);
    EXPECT_EQ(reading.left_x, -32768);
    EXPECT_EQ(reading.left_y, 32767);
    EXPECT_LT(std::abs(reading.right_x), 300);
    EXPECT_EQ(reading.right_y, -32768);
    EXPECT_EQ(reading.left_trigger, 0);
    EXPECT_EQ(reading.right_trigger, 32767);
    EXPECT_EQ(reading.buttons, button::dpad_down | button::dpad_right | button::a | button::start | button::back);

    // The ranges it was asked for read back exactly, and a centred hat holds nothing.
    AxisRanges asked{};
    for (AxisRange& range : asked) range = {-32768, 32767};
    JoystickState at_rest;
    at_rest.axes[axis_x] = -32768;
    at_rest.axes[axis_rx] = -32768;
    at_rest.axes[axis_ry] = 0;
    const gamepad::PadReading rest = read_joystick(layout, asked, at_rest);
    EXPECT_EQ(rest.left_x, -32768);
    EXPECT_EQ(rest.left_trigger, 0);
    EXPECT_EQ(rest.right_trigger, 16384);  // half way
    EXPECT_EQ(rest.buttons, 0u);
}

TEST(JoystickLayout, AnUnknownPadTakesTheGenericLayoutOnTheAxesItHas) {
    AxisRanges ranges{};
    for (const Axis axis : {axis_x, axis_y, axis_rx, axis_ry}) ranges[axis] = {-100, 100};  // no Z, no Rz
    const Layout layout = choose_layout(0x1234, 0x5678, ranges);
    EXPECT_EQ(layout.name, "generic");
    EXPECT_EQ(find_unusable_axis(layout, ranges), no_axis);

    JoystickState state;
    state.axes[axis_rx] = 100;
    state.axes[axis_ry] = -100;
    state.buttons[2] = state.buttons[0] = down;  // bottom and top face buttons
    state.buttons[6] = down;                     // the left trigger, a button on these pads
    state.pov = 27000;
    const gamepad::PadReading reading = read_joystick(layout, ranges, state);
    EXPECT_EQ(reading.right_x, 32767);
    EXPECT_EQ(reading.right_y, -32768);
    EXPECT_EQ(reading.left_x, 0);
    EXPECT_EQ(reading.left_trigger, 32767);
    EXPECT_EQ(reading.right_trigger, 0);
    EXPECT_EQ(reading.buttons, button::a | button::y | button::dpad_left);

    // With Z and Rz, as most have, the right stick is there.
    ranges[axis_z] = ranges[axis_rz] = {0, 1000};
    EXPECT_EQ(choose_layout(0x1234, 0x5678, ranges).right_x, axis_z);
}

TEST(JoystickLayout, NonsenseRangesAndValuesReadAsAtRestAndXInputPadsAreKnownByTheirPath) {
    AxisRanges ranges{};
    for (AxisRange& range : ranges) range = {-32768, 32767};
    ranges[axis_rz] = {5, -5};          // the wrong way round
    ranges[axis_z] = {INT_MAX, INT_MAX};  // empty
    const Layout layout = choose_layout(0x054C, 0x0CE6, ranges);
    EXPECT_EQ(find_unusable_axis(layout, ranges), axis_z);
    ranges[axis_z] = {INT_MIN, INT_MAX};  // as wide as can be: fine
    EXPECT_EQ(find_unusable_axis(layout, ranges), axis_rz);
    EXPECT_EQ(name_axis(axis_rz), "Rz");

    JoystickState state;
    state.axes[axis_z] = INT_MAX;
    state.axes[axis_rz] = 3;
    state.axes[axis_x] = 40000;  // outside what the pad said: the device is not to be believed
    state.axes[axis_y] = 32767;
    state.axes[axis_rx] = state.axes[axis_ry] = -32768;
    state.pov = 36000;  // no direction
    gamepad::PadReading expected;
    expected.right_x = 32767;
    expected.left_y = 32767;
    EXPECT_EQ(read_joystick(layout, ranges, state), expected);

    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    EXPECT_TRUE(find_xinput_ids(R"(\\?\HID#VID_045E&PID_02FF&IG_00#8&2a2ac0d8&0&0000#{4d1e55b2})", vendor, product));
    EXPECT_EQ(vendor, 0x045E);
    EXPECT_EQ(product, 0x02FF);
    EXPECT_FALSE(find_xinput_ids(R"(\\?\HID#VID_054C&PID_09CC&MI_03#7&1f8a5b0&0&0000#{4d1e55b2})", vendor, product));
    EXPECT_FALSE(find_xinput_ids(R"(\\?\HID#IG_00&VID_04)", vendor, product));
}

}  // namespace
