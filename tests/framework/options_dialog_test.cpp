#include <gtest/gtest.h>

#include "brevor/abi.h"
#include "framework/instance_registry.h"
#include "framework/params_list.h"

extern "C" void ShowOptionsDialog(TPluginCallRec *rec);

namespace brevor {
namespace {

// Instances whose dialog reports success, counting the reloads the dialog asks of siblings.
class DialogPlugin : public TqelPlugin {
public:
    explicit DialogPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
        OnLoadSettingsNow = [this](TqelPlugin *) { ++reloads; };
        OnShowOptionsDialog = [this](TqelPlugin *, TPluginCallRec *, bool &success) {
            ++dialogs;
            success = confirm;
        };
    }
    int reloads = 0;
    int dialogs = 0;
    bool confirm = true;
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
        p->RegistryPath = registryPath;
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
    EXPECT_EQ(a->IniFile, "/tmp/host.ini");
    EXPECT_EQ(a->OwnerWindow, 0x1234u);
    EXPECT_EQ(a->reloads, 0);  // the dialog's own instance is not asked
    EXPECT_EQ(b->reloads, 1);
    EXPECT_EQ(c->reloads, 0);  // another settings location

    b->confirm = false;  // closed without change: nobody reloads
    EXPECT_EQ(Show(2), 0);
    EXPECT_EQ(a->reloads, 0);
    EXPECT_EQ(c->dialogs, 0);
}

}  // namespace
}  // namespace brevor
