#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "framework/command_result.h"
#include "framework/params_list.h"
#include "framework/plugin.h"
#include "host_module.h"
#include "platform/paths.h"

namespace brevor {
namespace {

struct Events {
    int loads = 0;
    int unloads = 0;
    int saves = 0;
    std::string iniAtSave;
};

// An instance with counting handlers; a call record with a fresh parameter list.
class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest() : list_(params::NewParamsList()), rec_(Rec()), plugin_(&rec_) {
        plugin_.OnLoad = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) {
            ++events_.loads;
        };
        plugin_.OnUnload = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) {
            ++events_.unloads;
        };
        plugin_.OnSaveSettingsNow = [this](TqelPlugin *p) {
            ++events_.saves;
            events_.iniAtSave = p->SettingsLocation().IniFile();
        };
    }
    TPluginCallRec Rec() {
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = 1;
        rec.HostContext = 0x1234;
        rec.Params = list_.get();
        return rec;
    }
    void Set(const char *name, const Variant &value) {
        params::SetValue(list_.get(), name, value, true);
    }
    void Load() {
        TPluginCallRec rec = Rec();
        plugin_.Load(&rec);
    }
    void Unload() {
        TPluginCallRec rec = Rec();
        plugin_.Unload(&rec);
    }

    params::TParamsListPtr list_;
    TPluginCallRec rec_;
    TqelPlugin plugin_;
    Events events_;
};

TEST_F(LifecycleTest, LoadCountsAndOnlyTheLastUnloadUnloads) {
    const std::int32_t icons = THostLink::IconCount();
    Set("HANDLE", Variant(static_cast<std::int64_t>(host::HostProgramHandle())));
    Set("INI-FILE", Variant("/tmp/a.ini"));
    Set("RegistryPath", Variant("\\Software\\Host"));
    Load();
    Load();
    EXPECT_EQ(events_.loads, 1);
    EXPECT_EQ(plugin_.LoadCount(), 2);
    EXPECT_EQ(plugin_.Host().HostContext(), 0x1234u);
    EXPECT_EQ(plugin_.SettingsLocation().IniFile(), "/tmp/a.ini");
    EXPECT_EQ(plugin_.SettingsLocation().RegistryPath(), "\\Software\\Host");
    EXPECT_NE(plugin_.Host().fSendData(), nullptr);
    EXPECT_NE(plugin_.DataRows(), nullptr);
    EXPECT_NE(plugin_.EventRows(), nullptr);
    EXPECT_EQ(THostLink::IconCount(), icons + 1);
    plugin_.SetModuleStates(ModuleTypeBit(mttFilter), true);
    plugin_.Host().SetMessagesProcessorHandle(5);

    Unload();  // still loaded
    EXPECT_EQ(events_.unloads, 0);
    EXPECT_FALSE(plugin_.Gate().Unloaded());
    EXPECT_TRUE(plugin_.IsStateActive(mttFilter));
    Unload();  // unloads
    EXPECT_EQ(events_.unloads, 1);
    EXPECT_TRUE(plugin_.Gate().Unloaded());
    EXPECT_FALSE(plugin_.IsStateActive(mttFilter));
    EXPECT_EQ(plugin_.DataRows(), nullptr);
    EXPECT_EQ(plugin_.Host().MessagesProcessorHandle(), 0u);
    EXPECT_EQ(plugin_.Host().HostModule(), 0u);
    EXPECT_NE(plugin_.Host().fSendData(), nullptr);  // the host function pointers keep their values
    Unload();  // nothing but the icon step; the count never goes below zero
    EXPECT_EQ(events_.unloads, 1);
    EXPECT_EQ(plugin_.LoadCount(), 0);
    EXPECT_GE(THostLink::IconCount(), 0);
    EXPECT_EQ(events_.saves, 0);  // same INI file at unload: no save
}

// The host context of the call record and the window handles of a command are pointer-sized:
// all their bits stay on 64-bit targets, the low 32 bits on 32-bit targets.
TEST_F(LifecycleTest, HostValuesKeepThePointerWidth) {
    constexpr std::uint64_t kWide = 0xFEDCBA9876543210u;
    const std::uint64_t expected = sizeof(void *) == 8 ? kWide : 0x76543210u;
    TPluginCallRec rec = Rec();
    rec.HostContext = static_cast<std::uintptr_t>(kWide);
    plugin_.Load(&rec);
    EXPECT_EQ(std::uint64_t{plugin_.Host().HostContext()}, expected);
    EXPECT_EQ(std::uint64_t{plugin_.Host().SendTarget(3).hostContext}, expected);
    EXPECT_EQ(std::uint64_t{plugin_.Host().LogDestination("t").HostContext}, expected);
    Unload();

    // A separate link: a descriptor made of the low bits must not be used as a messages window.
    THostLink link;
    Set("OWNERFORM", Variant(static_cast<std::int64_t>(kWide)));
    Set("MessagesProcessorHandle", Variant(static_cast<std::int64_t>(kWide ^ 0xFF)));
    link.FollowCommand(list_.get());
    EXPECT_EQ(std::uint64_t{link.OwnerWindow()}, expected);
    EXPECT_EQ(std::uint64_t{link.MessagesProcessorHandle()}, expected ^ 0xFF);
}

TEST_F(LifecycleTest, UnloadWithANewIniFileSavesOnceToIt) {
    Set("INI-FILE", Variant("/tmp/old.ini"));
    Load();
    Set("INI-FILE", Variant("/tmp/new.ini"));
    Unload();
    EXPECT_EQ(events_.saves, 1);
    EXPECT_EQ(events_.iniAtSave, "/tmp/new.ini");
}

// The two requests work in the INI file they name; the instance's own comes back afterwards,
// also when a handler raises. What LOAD-SETTINGS-NOW read is written to the own file.
TEST_F(LifecycleTest, SettingsRequestsUseTheirIniFileOnlyWhileTheyRun) {
    Set("INI-FILE", Variant("/tmp/own.ini"));
    Load();
    std::string iniAtLoad;
    plugin_.OnLoadSettingsNow = [&](TqelPlugin *p) { iniAtLoad = p->SettingsLocation().IniFile(); };
    Set("INI-FILE", Variant("/tmp/request.ini"));
    const struct {
        const char *command;
        bool raise;
        std::int32_t result;
        const char *iniAtLoad;
        const char *iniAtSave;
    } cases[] = {
        {"SAVE-SETTINGS-NOW", false, kCommandNotHandled, "", "/tmp/request.ini"},
        {"LOAD-SETTINGS-NOW", false, kCommandNotHandled, "/tmp/request.ini", "/tmp/own.ini"},
        {"SAVE-SETTINGS-NOW", true, kCommandFailed, "", "/tmp/request.ini"},
        {"LOAD-SETTINGS-NOW", true, kCommandFailed, "/tmp/request.ini", "/tmp/own.ini"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.raise ? " raising" : ""));
        iniAtLoad.clear();
        events_.iniAtSave.clear();
        plugin_.OnSaveSettingsNow = [&](TqelPlugin *p) {
            events_.iniAtSave = p->SettingsLocation().IniFile();
            if (c.raise) throw std::runtime_error("disk full");
        };
        Set("COMMAND", Variant(c.command));
        EXPECT_EQ(plugin_.ExecutePluginCommand(&rec_), c.result);
        EXPECT_EQ(iniAtLoad, c.iniAtLoad);
        EXPECT_EQ(events_.iniAtSave, c.iniAtSave);
        EXPECT_EQ(plugin_.SettingsLocation().IniFile(), "/tmp/own.ini");
    }
}

TEST_F(LifecycleTest, ApplicationNameOfAModuleThatIsNotLoaded) {
    Set("ApplicationName", Variant("no-such-host.so"));
    Load();
    EXPECT_EQ(plugin_.Host().HostModule(), 0u);
    EXPECT_EQ(plugin_.Host().fSendData(), nullptr);
    Unload();
}

TEST_F(LifecycleTest, ModuleFileAndDialogHelpers) {
    EXPECT_EQ(std::filesystem::path(plugin_.ModuleFileName()).stem(), "brevor_unit_tests");
    ASSERT_FALSE(plugin_.ModuleFolder().empty());
    EXPECT_TRUE(platform::IsPathSeparator(plugin_.ModuleFolder().back()));
    EXPECT_TRUE(std::filesystem::exists(plugin_.ModuleFolder() + plugin_.ModuleFileName()));
    EXPECT_EQ(plugin_.ModuleVersion().rfind("4.0.", 0), 0u);
    EXPECT_NE(plugin_.ModuleVersion().find(" build "), std::string::npos);

    const TRect form{10, 20, 110, 220};
    EXPECT_FALSE(plugin_.DialogBoundsChanged(form));  // no owner window
    // An owner handle that names no window on any system: 16-bit forms such as 42 may name a
    // live window on Windows (the system matches them by their low word), this one is past the
    // end of the window handle table.
    constexpr auto kNoWindow = ~std::uintptr_t{1};
    plugin_.Host().SetOwnerWindow(kNoWindow);
    EXPECT_FALSE(plugin_.DialogBoundsChanged(form));  // nothing remembered
    plugin_.SaveDialogBounds(form);
    EXPECT_FALSE(plugin_.DialogBoundsChanged(form));
    EXPECT_TRUE(plugin_.DialogBoundsChanged(TRect{11, 20, 111, 220}));
    TRect moved = form;
    EXPECT_FALSE(plugin_.CenterOverOwner(moved));  // no window whose rectangle can be read
    EXPECT_EQ(moved, form);
}

}  // namespace
}  // namespace brevor
