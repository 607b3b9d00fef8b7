#include "support/child_writer.h"

#include <cstdio>
#include <vector>

namespace brevor::testing {
namespace {

// args: path, "append" or "replace", first part, second part. The C library's open takes no lock
// and, on Windows, shares the file for reading and writing.
int WriterMain(const std::vector<std::string> &args) {
    std::FILE *file = std::fopen(args.at(0).c_str(), args.at(1) == "append" ? "ab" : "wb");
    if (file == nullptr) return 1;
    const std::string &first = args.at(2);
    const std::string &second = args.at(3);
    if (std::fwrite(first.data(), 1, first.size(), file) != first.size() || std::fflush(file) != 0)
        return 2;
    TellParent("written");
    if (HearFromParent() != "go") return 3;
    if (std::fwrite(second.data(), 1, second.size(), file) != second.size()) return 4;
    return std::fclose(file) == 0 ? 0 : 5;
}

const ChildRole writerRole("child_writer", &WriterMain);

}  // namespace

// Defined here, beside the role, so that a program using the writer always links the role in.
ChildWriter::ChildWriter(const std::string &path, bool append, const std::string &first,
                         const std::string &second)
    : child_("child_writer", {path, append ? "append" : "replace", first, second}) {
    started_ = child_.ReadLine() == "written";  // the first part is in the file
}

bool ChildWriter::Finish() {
    if (!started_) return false;
    started_ = false;
    return child_.WriteLine("go") && child_.Wait(kChildTimeout) == 0;
}

}  // namespace brevor::testing
