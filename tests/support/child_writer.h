#pragma once

#include <string>

#include "support/child_process.h"

namespace brevor::testing {

// A writer in another process that takes no lock: opens the file (appending or not), writes
// the first part, and keeps the file open until Finish() lets it write the second part and close.
class ChildWriter {
public:
    ChildWriter(const std::string &path, bool append, const std::string &first,
                const std::string &second);
    ~ChildWriter() { Finish(); }
    ChildWriter(const ChildWriter &) = delete;
    ChildWriter &operator=(const ChildWriter &) = delete;
    // Lets the child write its second part and close; true when it did so.
    bool Finish();
    bool Started() const { return started_; }

private:
    ChildProcess child_;
    bool started_ = false;
};

}  // namespace brevor::testing
