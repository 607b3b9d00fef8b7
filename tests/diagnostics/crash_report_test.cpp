#include "diagnostics/crash_report.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace brevor {
namespace {

// Not inlined, so that it has a frame of its own in the recorded stack.
[[gnu::noinline]] void RaiseFromHelper() {
    throw EAssertionFailed("Assertion failure");
}

TEST(CrashReport, OwnExceptionsCarryTheStackWhereTheyWereRaised) {
    try {
        RaiseFromHelper();
        FAIL();
    } catch (const std::exception &e) {
        const std::string text = ExceptionStackText(e);
        EXPECT_NE(text.find("RaiseFromHelper"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("#0 ", 0), 0u) << text;
        EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos);
    }
    try {
        throw std::runtime_error("foreign");
    } catch (const std::exception &e) {
        // The handler's stack stands in for exceptions that did not record one.
        EXPECT_NE(ExceptionStackText(e).find("CrashReport"), std::string::npos)
            << ExceptionStackText(e);
    }
}

}  // namespace
}  // namespace brevor
