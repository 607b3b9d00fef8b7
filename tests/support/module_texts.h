#pragma once

// Runs the module's texts through the translator in its collecting mode: a module instance is
// loaded, switched to a language, and its options dialog is opened and cancelled with the
// headless driver. What the translator could not translate is collected with the path of the
// object that shows it, as it writes them into its side file.

#include <memory>
#include <string>
#include <vector>

#include "engine/a_plugin.h"
#include "engine/config_dialog.h"
#include "framework/params_list.h"
#include "messages/translator.h"
#include "support/headless_driver.h"
#include "support/plugin_command.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor::testing {

// One collected text: the object path ("[TConfigg]Configg -> [TLabel]lblFolder.Caption") and
// the text as the language file writes it (control characters as %XX).
struct TModuleText {
    std::string Path;
    std::string Text;
};

// The one text that reaches the translator but is no user's words: the dialog caption, the
// module's name and version.
inline bool IsTranslatableText(const TModuleText &t) {
    return t.Path != "[TConfigg]Configg.Caption";
}

// Sends one command to the instance with "LANGUAGE" set to language.
inline std::int32_t CommandInLanguage(TaPlugin &plugin, const char *command,
                                      const std::string &iniFile, const std::string &language) {
    params::TParamsListPtr list(params::NewParamsList());
    params::AddItem(list.get(), "COMMAND", Variant(command));
    params::AddItem(list.get(), "INI-FILE", Variant(iniFile));
    params::AddItem(list.get(), "LANGUAGE", Variant(language));
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 1;
    rec.Params = list.get();
    rec.ModuleTypes = 1u << mttDataQuery;
    return plugin.ExecutePluginCommand(&rec);
}

// A module instance that reads its language file from a folder of its own: the given text is
// written there as brevor.lng.
class TranslatedModule {
public:
    explicit TranslatedModule(const std::string &languageFileText)
        : ini_(dir_.File("s.ini")), languageFile_(dir_.File("brevor.lng")) {
        dir_.Write("brevor.lng", languageFileText);
        RunPluginCommand(plugin_, "LOAD", ini_, &window_);
        plugin_->Translator()->SetLanguageFile(languageFile_);
    }
    ~TranslatedModule() {
        if (plugin_) RunPluginCommand(plugin_, "UNLOAD", ini_, &window_);
    }
    TranslatedModule(const TranslatedModule &) = delete;
    TranslatedModule &operator=(const TranslatedModule &) = delete;

    TaPlugin &Plugin() { return *plugin_; }
    THeadlessDriver &Driver() { return driver_; }
    // Receives the module log.
    host::TMessagesWindow &Window() { return window_; }
    const std::string &LanguageFile() const { return languageFile_; }
    const TempFolder &Folder() const { return dir_; }

    // The language the host asks for, as a command carries it.
    void SwitchTo(const std::string &language) {
        CommandInLanguage(*plugin_, "EVENTS-SUPPORT", ini_, language);
    }
    // Opens the options dialog and runs the driver's script in it (Cancel when it has none).
    int RunDialog() {
        TConfigg dialog(*plugin_);
        return dialog.Execute();
    }
    // Releases the instance: its translator writes the side file of collected texts.
    void Release() {
        RunPluginCommand(plugin_, "UNLOAD", ini_, &window_);
        plugin_.reset();
    }

private:
    TempFolder dir_;
    RegistryRoots registry_{dir_.Path() + "/hkcu", dir_.Path() + "/hklm"};
    std::string ini_;
    std::string languageFile_;
    THeadlessDriver driver_;
    host::TMessagesWindow window_;
    std::unique_ptr<TaPlugin> plugin_;
};

// The header lines that make the translator collect untranslated texts with their objects, and
// rewrite its side file rather than number a new one.
inline constexpr const char *kCollectHeader = "//saveuntrobj\r\n//filerewrite\r\n";

// Every text of the module that languageFileText has no translation into language for, in the
// order the translator met them.
inline std::vector<TModuleText> UntranslatedModuleTexts(const std::string &languageFileText,
                                                        const std::string &language) {
    TranslatedModule module(kCollectHeader + languageFileText);
    module.SwitchTo(language);
    module.Driver().Then(THeadlessDriver::Click("btnCancel"));
    module.RunDialog();
    std::vector<TModuleText> texts;
    for (const std::string &entry : module.Plugin().Translator()->CollectedTexts()) {
        // "path=text"; the path never holds "=", the text may.
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos)
            texts.push_back({"", entry});
        else
            texts.push_back({entry.substr(0, eq), entry.substr(eq + 1)});
    }
    return texts;
}

}  // namespace brevor::testing
