// The "DATA-SOURCES-IN-CFG" lines on arbitrary input. Besides never crashing: no source has the
// id -1, every name is trimmed and free of ";" and line breaks, and the sources written back as
// "Id;Name;FullName" lines parse to the same sources.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data_exchange.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool CleanField(std::string_view s) {
    if (s.find_first_of(";\r\n") != std::string_view::npos) return false;
    return s.empty() || (static_cast<unsigned char>(s.front()) > 0x20 &&
                         static_cast<unsigned char>(s.back()) > 0x20);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace brevor;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::vector<TConfigDataSource> sources = ParseDataSources(text);
    std::string written;
    for (const TConfigDataSource &s : sources) {
        Check(s.Id != -1);
        Check(CleanField(s.Name) && CleanField(s.FullName));
        written += std::to_string(s.Id) + ";" + s.Name + ";" + s.FullName + "\r\n";
    }
    const std::vector<TConfigDataSource> again = ParseDataSources(written);
    Check(again.size() == sources.size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        Check(again[i].Id == sources[i].Id && again[i].Name == sources[i].Name &&
              again[i].FullName == sources[i].FullName);
    }
    return 0;
}
