#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/component.h"

namespace brevor {

// A minimal list of UTF-16 text lines with an update bracket: just what the translator's custom
// translator for wide string lists needs. Replace with the full class when the UI layer brings
// one; the translator only uses Count, Strings, SetStrings, BeginUpdate and EndUpdate.
class TWideStringList : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::u16string &Strings(int index) const;
    void SetStrings(int index, std::u16string_view text);
    int Add(std::u16string_view text);
    void Clear() { lines_.clear(); }

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate() {
        if (updateCount_ > 0) --updateCount_;
    }
    int UpdateCount() const { return updateCount_; }

private:
    std::vector<std::u16string> lines_;
    int updateCount_ = 0;
};

}  // namespace brevor
