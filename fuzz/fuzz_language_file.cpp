// The language-file reader on arbitrary bytes: pairs are never empty, the count matches them and
// the settings stay within their ranges; the "[Languages]" reader copes with the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "messages/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    brevor::TLanguageFileSettings settings;
    int pairs = 0;
    const int count = brevor::ReadLanguageText(bytes, "EN", "DE", settings,
                                               [&](std::string_view src, std::string_view dst) {
                                                   if (src.empty() || dst.empty()) std::abort();
                                                   ++pairs;
                                               });
    if (count != pairs) std::abort();
    if (settings.Encoding < 0 || settings.Encoding > 3) std::abort();
    if (settings.BiDiMode < 0 || settings.BiDiMode > 3) std::abort();
    if (settings.SaveMode < 0 || settings.SaveMode > 4) std::abort();
    if (settings.FileMode < 0 || settings.FileMode > 2) std::abort();
    if (settings.Locale > 0x7FFFFFFFu) std::abort();
    for (const auto &kv : brevor::ReadIniSection(bytes, "Languages"))
        if (kv.Key.empty()) std::abort();
    return 0;
}
