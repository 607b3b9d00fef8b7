#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brevor {

// Ordered list of 8-bit text lines, each with an optional object pointer (not owned).
class TStringList {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string &Strings(int index) const { return lines_.at(index).text; }
    void *Objects(int index) const { return lines_.at(index).object; }

    int Add(std::string_view text, void *object = nullptr);
    void Delete(int index);
    void Clear() { lines_.clear(); }

    // All lines, each followed by CR LF.
    std::string Text() const;
    // Replaces the content by the lines of text; lines end at CR, LF or CR LF.
    void SetText(std::string_view text);

private:
    struct Line {
        std::string text;
        void *object = nullptr;
    };
    std::vector<Line> lines_;
};

}  // namespace brevor
