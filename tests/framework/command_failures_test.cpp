// Exceptions raised by the handlers a command runs: the command returns -3 and the host finds a
// level-0 line in the log that names the exception before its stack.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/params_list.h"
#include "framework/plugin.h"
#include "messages_window.h"
#include "params_builder.h"
#include "rtl/exceptions.h"

namespace brevor {
namespace {

using host::TParamsBuilder;

// Not inlined, so that the stack recorded by the module's own exception shows it.
[[gnu::noinline]] void RaiseConvertError() {
    throw EConvertError("boom");
}

[[noreturn]] void Boom() {
    throw std::runtime_error("boom");
}

// One instance whose log goes to a window of the test; queued lines are fetched from it.
class CommandFailuresTest : public ::testing::Test {
protected:
    CommandFailuresTest() { Renew(); }
    // A fresh instance: only the first LOAD of an instance raises OnLoad.
    void Renew() {
        plugin_ = std::make_unique<TqelPlugin>(nullptr);
        plugin_->LogTitle = "Brevor";
    }

    std::int32_t Run(const char *command) {
        TParamsBuilder params;
        params.Add("COMMAND", command)
            .Add("MessagesProcessorHandle", static_cast<std::int32_t>(window_.ModuleHandle()))
            .Add("ITEMS", "Caption|NAME")
            .Add("EVENT-TYPE", "LOG-MESSAGE")
            .Add("RESULT", static_cast<std::int32_t>(1));
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = 1;
        rec.ModuleTypes = 1;
        rec.Params = params.List();
        return plugin_->ExecutePluginCommand(&rec);
    }
    std::string QueuedText() {
        std::int64_t needed = 0;
        plugin_->Log().GetLogEx(nullptr, -1, needed);
        std::string text(static_cast<std::size_t>(needed), '\0');
        if (needed > 0)
            plugin_->Log().GetLogEx(text.data(), static_cast<std::int32_t>(needed), needed);
        return text;
    }

    host::TMessagesWindow window_;
    std::unique_ptr<TqelPlugin> plugin_;
};

TEST_F(CommandFailuresTest, FailingHandlerQueuesTheExceptionThenItsStack) {
    const std::function<void()> raise[] = {&Boom, &RaiseConvertError};
    const struct {
        const char *command;
        std::function<void(TqelPlugin &, std::function<void()>)> attach;
    } cases[] = {
        {"LOAD",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnLoad = [f](TqelPlugin *, TPluginCallRec *, std::int32_t &) { f(); };
         }},
        {"SET-STATE",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnStateChanged = [f](TqelPlugin *, TModuleTypes) { f(); };
         }},
        {"SET-ITEMS",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnSetParserItems = [f](TqelPlugin *) { f(); };
         }},
        {"ITEMS",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnBeforeGetParserItems = [f](TqelPlugin *) { f(); };
         }},
        {"SAVE-SETTINGS-NOW",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnSaveSettingsNow = [f](TqelPlugin *) { f(); };
         }},
        {"EVENT",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnEvent = [f](TqelPlugin *, const std::string &, TPluginCallRec *, std::int32_t &) {
                 f();
             };
         }},
        {"MY-COMMAND",
         [](TqelPlugin &p, std::function<void()> f) {
             p.OnExecuteCustomCommand = [f](TqelPlugin *, const std::string &, TPluginCallRec *,
                                            std::int32_t &) { f(); };
         }},
    };
    for (const auto &c : cases) {
        for (int k = 0; k < 2; ++k) {
            SCOPED_TRACE(std::string(c.command) + (k == 0 ? " runtime_error" : " EConvertError"));
            Renew();
            c.attach(*plugin_, raise[k]);
            EXPECT_EQ(Run(c.command), -3);
            const std::string text = QueuedText();
            // One line: level byte of an error, the title, the class and message, the frames.
            const std::string head = std::string("\x01") + "Brevor. " +
                                     (k == 0 ? "std::runtime_error" : "EConvertError") +
                                     ": boom | #0 ";
            EXPECT_EQ(text.rfind(head, 0), 0u) << text;
            EXPECT_NE(text.find(" | #1 "), std::string::npos) << text;
            EXPECT_EQ(text.find("\r\n"), text.size() - 2) << text;
            // The module's own exceptions show where they were raised; others where they were
            // caught, inside the command.
            EXPECT_NE(text.find(k == 0 ? "ExecutePluginCommand" : "RaiseConvertError"),
                      std::string::npos)
                << text;
        }
    }
}

TEST_F(CommandFailuresTest, ExceptionOfNoKnownClassIsStillLogged) {
    plugin_->OnStateChanged = [](TqelPlugin *, TModuleTypes) { throw 42; };
    EXPECT_EQ(Run("SET-STATE"), -3);
    const std::string text = QueuedText();
    EXPECT_EQ(text.rfind("\x01"
                         "Brevor. unknown exception | #0 ",
                         0),
              0u)
        << text;
}

}  // namespace
}  // namespace brevor
