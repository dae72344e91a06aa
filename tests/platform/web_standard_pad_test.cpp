// The browser's pads of the standard layout as the desktop mapping's readings
// (platform/web/standard_pad.h).
#include <gtest/gtest.h>

#include <limits>

#include "standard_pad.h"

namespace {

TEST(WebStandardPad, AxesSpanAWholeStickAndOddValuesReadAsRestOrTheEnd) {
    EXPECT_EQ(web::stick_value(-1.0), -32768);
    EXPECT_EQ(web::stick_value(1.0), 32767);
    EXPECT_EQ(web::stick_value(0.0), 0);
    // What the tests' fake pad hands over for a script's value comes back exactly.
    for (int value : {-32768, -23170, -1, 1, 8192, 23170, 32767})
        EXPECT_EQ(web::stick_value(value < 0 ? value / 32768.0 : value / 32767.0), value);
    EXPECT_EQ(web::stick_value(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(web::stick_value(7.5), 32767);
    EXPECT_EQ(web::stick_value(-std::numeric_limits<double>::infinity()), -32768);
    EXPECT_EQ(web::trigger_value(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(web::trigger_value(-0.5), 0);
    EXPECT_EQ(web::trigger_value(0.5), 16384);
    EXPECT_EQ(web::trigger_value(2.0), 32767);
}

TEST(WebStandardPad, TheLayoutsPlacesGiveTheMappingsSticksTriggersAndButtons) {
    web::StandardPadValues pad;
    pad.axes[web::standard::left_x] = -1;
    pad.axes[web::standard::right_y] = 1;
    pad.buttons[web::standard::right_trigger] = 1;
    pad.pressed[web::standard::start] = pad.pressed[web::standard::dpad_left] = true;
    pad.pressed[0] = pad.pressed[11] = true;  // A and the right stick pressed in: bound to nothing by default
    const gamepad::PadReading reading = web::read_standard_pad(pad);
    EXPECT_EQ(reading.left_x, -32768);
    EXPECT_EQ(reading.right_y, 32767);
    EXPECT_EQ(reading.right_trigger, 32767);
    EXPECT_EQ(reading.left_trigger, 0);
    EXPECT_EQ(reading.buttons, gamepad::button::start | gamepad::button::dpad_left | gamepad::button::a |
                                   gamepad::button::right_stick);
}

}  // namespace
