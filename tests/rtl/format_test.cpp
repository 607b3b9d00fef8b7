#include "rtl/format.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace brevor {
namespace {

TEST(Format, Table) {
    struct Case {
        const char *format;
        TFormatArgs args;
        const char *out;
    };
    const Case cases[] = {
        {"Data from the \"%s\" file have been sent successfully (bytes: %d)",
         {"/data/a.txt", std::int64_t{5000000000}},
         "Data from the \"/data/a.txt\" file have been sent successfully (bytes: 5000000000)"},
        {"%d|%5d|%-5d|%.3d|%x|%.4x|%u",
         {-7, 42, 42, 7, 255, 255, -1},
         "-7|   42|42   |007|FF|00FF|4294967295"},
        {"%1:s %0:s %s", {"a", "b"}, "b a b"},
        {"%*d|%-*s|%.*s", {4, 7, 3, "ab", 2, "xyz"}, "   7|ab |xy"},
        {"%f|%.1f|%n|%g|%g|%g|%e",
         {1.5, 2.25, 1234567.891, 1234.5, 1e20, 0.5, 1234.5},
         "1.50|2.2|1,234,567.89|1234.5|1E20|0.5|1.23450000000000E+003"},
        {"%m", {-1234.5}, "-$1,234.50"},
        {"100%% %S %D", {"x", 1}, "100% x 1"},
        {"no placeholders", {}, "no placeholders"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Format(c.format, c.args), c.out) << c.format;
    EXPECT_EQ(Format("%p", {static_cast<const void *>(nullptr)}),
              std::string(sizeof(void *) * 2, '0'));
}

TEST(Format, MismatchesRaise) {
    struct Case {
        const char *format;
        TFormatArgs args;
    };
    const Case cases[] = {
        {"%d", {"text"}},  {"%s", {1}},         {"%f", {1}}, {"%d", {}},
        {"%s %s", {"a"}},  {"%", {1}},          {"%q", {1}}, {"%5:s", {"a"}},
        {"%*d", {"a", 1}}, {"%99999999d", {1}}, {"%p", {1}},
    };
    for (const Case &c : cases)
        EXPECT_THROW(Format(c.format, c.args), EConvertError) << c.format;
}

}  // namespace
}  // namespace brevor
