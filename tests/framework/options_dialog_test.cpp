#include <gtest/gtest.h>

#include "brevor/abi.h"
#include "framework/instance_registry.h"
#include "framework/params_list.h"
#include "messages_window.h"

#include <stdexcept>

extern "C" void BRV_CALL ShowOptionsDialog(TPluginCallRec *rec);

namespace brevor {
namespace {

// Instances whose dialog reports success, counting the reloads the dialog asks of siblings.
class DialogPlugin : public TqelPlugin {
public:
    explicit DialogPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
        OnLoadSettingsNow = [this](TqelPlugin *) {
            ++reloads;
            if (failReload) throw std::runtime_error("the store is gone");
        };
        OnShowOptionsDialog = [this](TqelPlugin *, TPluginCallRec *, bool &success) {
            ++dialogs;
            success = confirm;
        };
    }
    int reloads = 0;
    int dialogs = 0;
    bool confirm = true;
    bool failReload = false;
};

TqelPlugin *CreateDialogPlugin(const TPluginCallRec *rec) {
    auto *p = new DialogPlugin(rec);
    p->AfterConstruction();
    return p;
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLibrary();
        RegisterModuleClass(&CreateDialogPlugin);
    }
    void TearDown() override { FinalizeLibrary(); }
    DialogPlugin *Instance(std::int32_t id, const char *registryPath) {
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = id;
        TInstanceRef ref;
        EXPECT_TRUE(GetModuleInstance(&rec, ref));
        auto *p = static_cast<DialogPlugin *>(ref.get());
        params::TParamsListPtr location(params::NewParamsList());
        params::AddItem(location.get(), "RegistryPath", Variant(registryPath));
        p->SettingsLocation().ReadAtLoad(location.get());
        return p;
    }
    static std::intptr_t Show(std::int32_t id, TqelParamsList *params = nullptr) {
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = id;
        rec.Params = params;
        ShowOptionsDialog(&rec);
        return rec.ResultValue;
    }
};

TEST_F(OptionsDialogTest, ConfirmedDialogReloadsSiblingsOfTheSameRegistryPath) {
    DialogPlugin *a = Instance(1, "\\Software\\Host\\One");
    DialogPlugin *b = Instance(2, "\\Software\\Host\\One");
    DialogPlugin *c = Instance(3, "\\Software\\Host\\Two");
    params::TParamsListPtr list(params::NewParamsList());
    params::AddItem(list.get(), "INI-FILE", Variant("/tmp/host.ini"));
    params::AddItem(list.get(), "OWNERFORM", Variant(std::int64_t{0x1234}));
    EXPECT_EQ(Show(1, list.get()), 1);
    EXPECT_EQ(a->dialogs, 1);
    EXPECT_EQ(a->SettingsLocation().IniFile(), "/tmp/host.ini");
    EXPECT_EQ(a->Host().OwnerWindow(), 0x1234u);
    EXPECT_EQ(a->reloads, 0);  // the dialog's own instance is not asked
    EXPECT_EQ(b->reloads, 1);
    EXPECT_EQ(c->reloads, 0);  // another settings location

    b->confirm = false;  // closed without change: nobody reloads
    EXPECT_EQ(Show(2), 0);
    EXPECT_EQ(a->reloads, 0);
    EXPECT_EQ(c->dialogs, 0);
}

TEST_F(OptionsDialogTest, ASiblingsFailedReloadIsLoggedAndTheOthersStillReload) {
    Instance(1, "\\Software\\Host\\One");
    DialogPlugin *failing = Instance(2, "\\Software\\Host\\One");
    DialogPlugin *next = Instance(3, "\\Software\\Host\\One");
    host::TMessagesWindow window;
    failing->LogTitle = "Brevor";
    failing->Host().SetMessagesProcessorHandle(static_cast<std::uintptr_t>(window.ModuleHandle()));
    failing->failReload = true;
    EXPECT_EQ(Show(1), 1);
    EXPECT_EQ(failing->reloads, 1);
    EXPECT_EQ(next->reloads, 1);
    const auto lines = window.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Level, 0);
    EXPECT_NE(lines[0].Text.find("the store is gone"), std::string::npos);
}

}  // namespace
}  // namespace brevor
