#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_faults.h"

namespace brevor::testing {

// Makes chosen file operations fail while it is alive (installed for the whole process).
// A rule names the operation, a piece of the path it applies to, which of the matching calls
// fail (the first `skip` succeed, then `times` fail; times < 0: all that follow), and the
// system error code to fail with.
class ScopedFileFaults : public platform::TFileFaults {
public:
    struct Rule {
        platform::TFileCall call;
        std::string pathPart;
        int error;
        int skip = 0;
        int times = -1;
    };

    ScopedFileFaults() { previous_ = platform::SetFileFaults(this); }
    explicit ScopedFileFaults(std::vector<Rule> rules) : rules_(std::move(rules)) {
        previous_ = platform::SetFileFaults(this);
    }
    ~ScopedFileFaults() override { platform::SetFileFaults(previous_); }
    ScopedFileFaults(const ScopedFileFaults &) = delete;
    ScopedFileFaults &operator=(const ScopedFileFaults &) = delete;

    void Add(Rule rule) {
        std::lock_guard lock(mutex_);
        rules_.push_back(std::move(rule));
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        rules_.clear();
    }
    // How many calls were made to fail so far.
    int Injected() const { return injected_.load(); }

    int Fault(platform::TFileCall call, std::string_view path) override {
        std::lock_guard lock(mutex_);
        for (Rule &rule : rules_) {
            if (rule.call != call || path.find(rule.pathPart) == std::string_view::npos) continue;
            if (rule.skip > 0) {
                --rule.skip;
                continue;
            }
            if (rule.times == 0) continue;
            if (rule.times > 0) --rule.times;
            ++injected_;
            return rule.error;
        }
        return 0;
    }

private:
    std::mutex mutex_;
    std::vector<Rule> rules_;
    std::atomic<int> injected_{0};
    platform::TFileFaults *previous_ = nullptr;
};

}  // namespace brevor::testing
