#include "messages/wide_string_list.h"

#include "rtl/exceptions.h"

namespace brevor {

const TClassInfo &TWideStringList::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TWideStringList>("TWideStringList", &TPersistent::StaticClassInfo()).Build();
    return info;
}

const TClassInfo &TWideStringList::ClassInfo() const {
    return StaticClassInfo();
}

const std::u16string &TWideStringList::Strings(int index) const {
    if (index < 0 || index >= Count()) throw Exception("List index out of bounds");
    return lines_[static_cast<std::size_t>(index)];
}

void TWideStringList::SetStrings(int index, std::u16string_view text) {
    if (index < 0 || index >= Count()) throw Exception("List index out of bounds");
    lines_[static_cast<std::size_t>(index)].assign(text);
}

int TWideStringList::Add(std::u16string_view text) {
    lines_.emplace_back(text);
    return Count() - 1;
}

}  // namespace brevor
