#include "I2cLibrary.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(I2cLibraryTest, BindsAllSixEntryPointsOfACompleteLibrary)
{
    I2cLibrary = SI2cLibrary();
    ASSERT_EQ(LoadI2cLibraryFrom(FAKE_ADAPTER_FULL), 1);
    EXPECT_EQ(I2cLibrary.i2c_connect(7), 1);
    EXPECT_EQ(I2cLibrary.i2c_connect(1), 0);
    EXPECT_EQ(I2cLibrary.i2c_start(), 1);
    EXPECT_EQ(I2cLibrary.i2c_stop(), 2);
    EXPECT_EQ(I2cLibrary.i2c_write(0x101), 1);
    EXPECT_EQ(I2cLibrary.i2c_read(1), 0x5A);
    I2cLibrary.i2c_disconnect();
    EXPECT_STREQ(I2cLastError(), "fake reason");
}

TEST(I2cLibraryTest, RefusesAMissingLibraryOrOneLackingANameWhereverItIsNamed)
{
    EXPECT_EQ(LoadI2cLibraryFrom("libi2cadapter-that-does-not-exist.so"), 0);
    ::setenv(kI2cLibraryVariable, FAKE_ADAPTER_PARTIAL, 1);
    EXPECT_EQ(LoadI2cLibrary(), 0);
    ::setenv(kI2cLibraryVariable, FAKE_ADAPTER_FULL, 1);
    EXPECT_EQ(LoadI2cLibrary(), 1);
    ::unsetenv(kI2cLibraryVariable);
}

} // namespace
