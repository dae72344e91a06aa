#include <gtest/gtest.h>

#include "world/world.h"

TEST(SharedRandom, DrawsTheFixedSequenceFromItsStart) {
    zv::set_rand_state(1);
    EXPECT_EQ(zv::rand(), 41);
    EXPECT_EQ(zv::rand(), 18467);
    EXPECT_EQ(zv::rand(), 6334);
    EXPECT_EQ(zv::rand(), 26500);
    EXPECT_EQ(zv::rand(), 19169);
}

TEST(SharedRandom, StaysInRangeAndWrapsItsState) {
    zv::set_rand_state(0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        const int32_t value = zv::rand();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}
