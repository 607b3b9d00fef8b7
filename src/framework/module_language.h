#pragma once

// The language an instance shows its texts in, and the translator that reads them from the
// language file beside the module.

#include <functional>
#include <memory>
#include <string>

#include "messages/translator.h"

namespace brevor {

class TModuleLanguage {
public:
    // languageFile: the module's language file (.lng); its default language is taken when the
    // file exists, "EN" otherwise (and then nothing is translated from a file).
    explicit TModuleLanguage(const std::string &languageFile);
    TModuleLanguage(const TModuleLanguage &) = delete;
    TModuleLanguage &operator=(const TModuleLanguage &) = delete;

    const std::string &Language() const { return language_; }
    // Null once the instance is being destroyed.
    TWtransl *Translator() const { return translator_.get(); }
    void ReleaseTranslator() { translator_.reset(); }

    // The host names a language: true when it differs from the current one (both not empty),
    // which then needs applying.
    bool Follow(const std::string &language);
    // Runs translate once for the current language: not again until the language changes,
    // also when it raised. Nothing without a language.
    void ApplyOnce(const std::function<void()> &translate);
    // Translates a component (and its children) into the language ("NONE" when there is none).
    void Translate(TComponent *component);

private:
    std::string language_;
    bool applied_ = false;
    std::unique_ptr<TWtransl> translator_;
};

}  // namespace brevor
