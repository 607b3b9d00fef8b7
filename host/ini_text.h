#pragma once

// A small INI writer for the host: it prepares the settings file the module reads. Sections and
// keys compare ignoring ASCII case; other lines stay as they are.

#include <string>
#include <string_view>
#include <vector>

namespace brevor::host {

class TIniText {
public:
    // Reads the file when it exists; a missing file is an empty INI.
    explicit TIniText(std::string path);
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Writes every line with CR LF; false when the file cannot be written.
    bool Save() const;

    // The module's text escaping: "%" doubled, control characters and "+" as "%XX", leading
    // and trailing blanks as "+".
    static std::string Escape(std::string_view text);

private:
    std::string path_;
    std::vector<std::string> lines_;
};

}  // namespace brevor::host
