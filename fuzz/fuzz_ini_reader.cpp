// The INI reader on arbitrary bytes: never crashes, and what it writes reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/big_ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    brevor::TBigIniFile ini("");
    ini.LoadFromText(bytes);
    const std::string text = ini.ToText();
    brevor::TBigIniFile again("");
    again.LoadFromText(text);
    if (again.ToText() != text) std::abort();
    brevor::TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count(); ++i) {
        brevor::TStringList keys;
        ini.ReadSection(sections[i], keys);
        for (int k = 0; k < keys.Count(); ++k) {
            (void)ini.ReadInteger(sections[i], keys[k], 0);
            (void)ini.ReadFloat(sections[i], keys[k], 0);
            try {
                ini.WriteString(sections[i], keys[k], "x");
            } catch (const brevor::EIniFileException &) {
            }
        }
    }
    return 0;
}
