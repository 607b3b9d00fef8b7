#include "rtl/string_list.h"

#include <stdexcept>

namespace brevor {

int TStringList::Add(std::string_view text, void *object) {
    lines_.push_back(Line{std::string(text), object});
    return Count() - 1;
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    lines_.erase(lines_.begin() + index);
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto &line : lines_) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text) {
    lines_.clear();
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            Add(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size()) Add(text.substr(start));
}

}  // namespace brevor
