#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/data_exchange.h"

namespace brevor {
namespace {

std::vector<std::string> Rendered(std::string_view text) {
    std::vector<std::string> out;
    for (const TConfigDataSource &s : ParseDataSources(text))
        out.push_back(std::to_string(s.Id) + "|" + s.Name + "|" + s.FullName);
    return out;
}

TEST(DataSources, LinesFieldsAndSkippedIds) {
    const struct {
        const char *text;
        std::vector<std::string> sources;
    } cases[] = {
        {"1;A;Alpha\r\nx;B;Beta", {"1|A|Alpha"}},
        {"7;B\n8\r9;;", {"7|B|", "8||", "9||"}},  // missing fields are empty; LF and CR end lines
        {" 3 ;  Name \t; Full name ;extra;more", {"3|Name|Full name"}},
        {"-1;A;B\r\n;A;B\r\n+5;A\r\n0x10;A\r\n99999999999;A\r\n-2;A", {"-2|A|"}},
        {"\r\n\r\n4;A;B\r\n", {"4|A|B"}},
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Rendered(c.text), c.sources) << c.text;
}

}  // namespace
}  // namespace brevor
