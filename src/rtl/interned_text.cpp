#include "rtl/interned_text.h"

#include <mutex>
#include <set>
#include <string>

namespace brevor {

const char *InternText(std::string_view text) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> texts;
    std::lock_guard lock(mutex);
    auto it = texts.find(text);
    if (it == texts.end()) it = texts.emplace(text).first;
    return it->c_str();
}

}  // namespace brevor
