#include "diagnostics/crash_report.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <typeinfo>

#include "platform/platform.h"
#include "rtl/exceptions.h"

namespace brevor {

namespace {

// Between the parts of a log line: the exception and each frame.
const std::string kLogSeparator = " | ";
constexpr std::string_view kOwnNamespace = "brevor::";

std::string Demangle(const std::string &name) {
    int status = 0;
    char *out = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (out == nullptr) return name;
    std::string result(out);
    std::free(out);
    return result;
}

// One line per frame, separator between lines (none after the last).
std::string RenderFrames(const std::vector<void *> &frames, std::string_view separator) {
    std::string text;
    char line[96];
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
        const platform::TFrameDescription frame = platform::DescribeFrame(frames[i]);
        std::string where = "?";
        if (frame.known) {
            where = frame.module;
            if (frame.symbol) where += "!" + Demangle(*frame.symbol);
            if (frame.offset) {
                std::snprintf(line, sizeof line, "+0x%zx", static_cast<std::size_t>(*frame.offset));
                where += line;
            }
        }
        std::snprintf(line, sizeof line, "#%zu  0x%016zx  ", i, static_cast<std::size_t>(address));
        if (!text.empty()) text += separator;
        text += line;
        text += where;
    }
    return text;
}

}  // namespace

[[gnu::noinline]] std::vector<void *> CaptureStack(std::size_t skip) {
    return platform::CaptureStackFrames(skip + 1);
}

std::string RenderStack(const std::vector<void *> &frames) {
    return RenderFrames(frames, "\r\n");
}

std::string ExceptionStackText(const std::exception &e) {
    if (const auto *own = dynamic_cast<const Exception *>(&e); own && !own->StackFrames().empty())
        return RenderStack(own->StackFrames());
    return RenderStack(CaptureStack(1));
}

std::string ExceptionLogText(const std::exception &e) {
    std::string name = Demangle(typeid(e).name());
    if (name.rfind(kOwnNamespace, 0) == 0) name.erase(0, kOwnNamespace.size());
    std::string text = name + ": " + e.what();
    const auto *own = dynamic_cast<const Exception *>(&e);
    const std::string frames = own && !own->StackFrames().empty()
                                   ? RenderFrames(own->StackFrames(), kLogSeparator)
                                   : RenderFrames(CaptureStack(1), kLogSeparator);
    if (!frames.empty()) text += kLogSeparator + frames;
    return text;
}

std::string CurrentExceptionLogText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const std::exception &e) {
        return ExceptionLogText(e);
    } catch (...) {
        // Anything else thrown (not a std::exception): named as such, with the handler's stack.
        const std::string frames = RenderFrames(CaptureStack(1), kLogSeparator);
        return frames.empty() ? "unknown exception" : "unknown exception" + kLogSeparator + frames;
    }
}

}  // namespace brevor
