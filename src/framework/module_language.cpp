#include "framework/module_language.h"

#include "platform/files.h"

namespace brevor {

TModuleLanguage::TModuleLanguage(const std::string &languageFile)
    : language_("EN"), translator_(std::make_unique<TWtransl>(nullptr)) {
    translator_->SetLanguageFile(languageFile);
    translator_->SetDefaultLanguage("EN");
    if (platform::FileExists(languageFile)) {
        std::string selected;
        translator_->GetLanguages(nullptr, selected);
        if (!selected.empty()) language_ = selected;
    } else {
        translator_->SetLanguageFile("");
    }
}

bool TModuleLanguage::Follow(const std::string &language) {
    if (language.empty() || language_.empty() || language == language_) return false;
    language_ = language;
    applied_ = false;
    return true;
}

void TModuleLanguage::ApplyOnce(const std::function<void()> &translate) {
    if (applied_ || language_.empty()) return;
    struct TMarkApplied {
        bool &flag;
        ~TMarkApplied() { flag = true; }  // also when the translation raised
    } mark{applied_};
    translate();
}

void TModuleLanguage::Translate(TComponent *component) {
    if (language_.empty()) language_ = "NONE";
    if (translator_) translator_->TranslateComponent(language_, component, nullptr, "EN");
}

}  // namespace brevor
