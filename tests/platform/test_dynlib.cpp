#include "platform/dynlib.h"

#include <gtest/gtest.h>

namespace {

TEST(Dynlib, LoadsALibraryAndResolvesItsFunctionsByName)
{
    void *z = dynlib_open("libz.so.1");
    ASSERT_NE(z, nullptr) << dynlib_last_error();
    using VersionFn = const char *(*)();
    auto version = reinterpret_cast<VersionFn>(dynlib_symbol(z, "zlibVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version()[0], '1');
    EXPECT_TRUE(dynlib_last_error().empty());
    EXPECT_EQ(dynlib_close(z), 1);
}

TEST(Dynlib, FailuresReturnNullWithAReason)
{
    struct Case {
        const char *what;
        bool failed;
    };
    void *z = dynlib_open("libz.so.1");
    ASSERT_NE(z, nullptr);
    Case cases[] = {
        {"missing library", dynlib_open("/nonexistent/libnothing.so") == nullptr},
        {"empty name", dynlib_open("") == nullptr},
        {"missing symbol", dynlib_symbol(z, "no_such_function_here") == nullptr},
        {"null library", dynlib_symbol(nullptr, "zlibVersion") == nullptr},
        {"empty symbol", dynlib_symbol(z, "") == nullptr},
        {"close null", dynlib_close(nullptr) == 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(c.failed);
    }
    EXPECT_EQ(dynlib_open("/nonexistent/libnothing.so"), nullptr);
    EXPECT_FALSE(dynlib_last_error().empty());
    dynlib_close(z);
}

} // namespace
