#pragma once

// An instance driven through its command entry point on a settings file in a fresh folder, and
// what its log says about that file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/a_plugin.h"
#include "messages_window.h"
#include "support/plugin_command.h"
#include "support/temp_folder.h"

namespace brevor::testing {

class SettingsFaultsTest : public ::testing::Test {
protected:
    ~SettingsFaultsTest() override { plugin_.reset(); }

    std::int32_t Command(const char *name, std::int32_t result = -1) {
        return testing::RunPluginCommand(plugin_, name, ini_, &window_, result);
    }
    // Error lines that name the settings file: sent to the window, or queued for the host to
    // fetch (a failing command queues its line). Fetching empties the queue.
    std::vector<std::string> FileErrors() const {
        std::vector<std::string> out;
        const std::string quoted = "\"" + ini_ + "\"";
        for (const auto &line : window_.Lines())
            if (line.Level == 0 && line.Text.find(quoted) != std::string::npos)
                out.push_back(line.Text);
        std::int64_t needed = 0;
        plugin_->Log().GetLogEx(nullptr, -1, needed);
        std::string queued(static_cast<std::size_t>(needed), '\0');
        if (needed > 0)
            plugin_->Log().GetLogEx(queued.data(), static_cast<std::int32_t>(needed), needed);
        for (std::size_t at = 0; at < queued.size();) {
            const std::size_t end = std::min(queued.find("\r\n", at), queued.size());
            const std::string line = queued.substr(at, end - at);
            if (line.rfind("\x01", 0) == 0 && line.find(quoted) != std::string::npos)
                out.push_back(line);
            at = end + 2;
        }
        return out;
    }
    // Everything in the folder besides the settings file (temporary files left behind).
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> out;
        for (const auto &entry : std::filesystem::directory_iterator(dir_.Path()))
            if (entry.path().filename() != std::filesystem::path(ini_).filename())
                out.push_back(entry.path().string());
        return out;
    }

    testing::TempFolder dir_;
    std::string ini_ = dir_.File("host.ini");
    host::TMessagesWindow window_;
    std::unique_ptr<TaPlugin> plugin_;
};

}  // namespace brevor::testing
