#pragma once

// The translator: replaces the texts of live components (captions, hints, list lines, message
// table texts) with translations read from a plain-text language file, and optionally collects
// the texts that still need translating into a side file.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "messages/language_file.h"
#include "messages/string_hash_trie.h"
#include "rtl/component.h"
#include "rtl/strings.h"

namespace brevor {

class TWtransl;

// The loaded translations of one pair of languages. Both tables own their THashStringItem values.
class TWtranslLanguagesList : public TObject {
public:
    TWtranslLanguagesList();
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // Key: the source text exactly as in the file.
    TStringHashTrie ExactTexts;
    // Key: the source text with ASCII letters lowered; only when that differs from the source.
    TStringHashTrie LowerTexts;
};

// A timer that frees the translator's cache some time after the last pass. The translator only
// switches it on and off; whoever makes it calls the handler it was made with on its ticks, on
// the thread that created the translator.
class TTranslReleaseTimer {
public:
    virtual ~TTranslReleaseTimer() = default;
    virtual void SetEnabled(bool enabled) = 0;
};
using TTranslReleaseTimerFactory = std::function<std::unique_ptr<TTranslReleaseTimer>(
    std::uint32_t intervalMs, std::function<void()> onTimer)>;

// A translator for objects of one class (PropName not empty: runs for every translated object of
// that class) or for property objects of one class (PropName empty).
class TWtranslatorCustom {
public:
    TWtranslatorCustom() = default;
    virtual ~TWtranslatorCustom() = default;
    TWtranslatorCustom(const TWtranslatorCustom &) = delete;
    TWtranslatorCustom &operator=(const TWtranslatorCustom &) = delete;

    // The class served; null serves every class.
    const TClassInfo *ObjClass = nullptr;
    // Lower-case property name; empty for translators of property objects.
    std::string PropName;

    // True when handled. obj is the translated object (for property objects: the object that
    // owns the property); prop and propObject are set for property objects only.
    virtual bool Translate(TWtransl &translator, TObject *obj, TWtranslLanguagesList *resources,
                           const TPropInfo *prop, TObject *propObject);
};

// Translates every line of a TWideStringList property.
class TWtranslatorCustomWideStrings : public TWtranslatorCustom {
public:
    bool Translate(TWtransl &translator, TObject *obj, TWtranslLanguagesList *resources,
                   const TPropInfo *prop, TObject *propObject) override;
};

// Appends a custom translator to the process-wide list (searched in registration order).
void RegisterCustomTranslator(const TClassInfo *objClass, std::string_view propName,
                              std::unique_ptr<TWtranslatorCustom> translator);
// Registers the wide string list translator once; called at module start.
void RegisterStandardCustomTranslators();
// Frees every registered custom translator; called when the module unloads.
void FreeCustomTranslators();

class TWtransl : public TComponent {
public:
    using TBeforeTranslateComponentNotify = std::function<void(
        TWtransl *sender, TObject *comp, TWtranslLanguagesList *resources, bool &allow)>;
    using TPropertyTranslateNotify = std::function<void(
        TWtransl *sender, TObject *obj, const TPropInfo *pi, const std::u16string &oldValue,
        std::u16string &newValue, bool found, bool &doDefault)>;
    using TCustomTranslateNotify =
        std::function<void(TWtransl *sender, TObject *comp, TWtranslLanguagesList *resources)>;
    using TCustomObjectPropertyTranslateNotify = std::function<void(
        TWtransl *sender, const std::string &prop, TObject *obj, TWtranslLanguagesList *resources)>;
    using TTranslateNotify =
        std::function<void(TWtransl *sender, TWtranslLanguagesList *resources)>;

    // The cache is freed this long after the last translation pass.
    static constexpr std::uint32_t kReleaseIntervalMs = 20000;

    // Without a timer factory the cache stays until ReleaseCache() is called.
    explicit TWtransl(TComponent *owner = nullptr, const TTranslReleaseTimerFactory &timers = {});
    ~TWtransl() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // Property names translated on every object, in order (compared ignoring case).
    TStringList &ComponentProperties() { return componentProperties_; }
    std::string LanguageFile() const;
    // A new file drops the cached translations.
    void SetLanguageFile(std::string_view path);
    std::string DefaultLanguage() const;
    void SetDefaultLanguage(std::string_view language);

    // Translates component (and everything it owns), or else the text in place, or else every
    // form given by ApplicationForms, from source (DefaultLanguage when empty) into language.
    // True when a translation pass ran.
    bool TranslateComponent(std::string_view language, TObject *component, std::string *text,
                            std::string_view source);
    // Reads the "[Languages]" section of LanguageFile: the "Default" value, and when list is
    // given, "code,display name" for every "$code" key with a value.
    void GetLanguages(TStrings *list, std::string &defaultLanguage) const;
    // Frees the cached translations; the next pass reads the file again.
    void ReleaseCache();
    // Writes CollectedTexts to the side file beside LanguageFile (done at destruction too).
    void SaveCollected(std::string_view target, std::string_view source);

    // The translation of one text as a property value would get it: lookup, OnPropertyTranslate
    // and collecting. True when newValue should replace the old value.
    bool TranslateValue(TObject *obj, const TPropInfo *prop, const std::u16string &oldValue,
                        std::u16string &newValue);

    // State (read under the lock).
    int Encoding() const;
    int LanguageBiDiMode() const;
    int LanguageCharset() const;
    std::uint32_t LanguageLocale() const;
    int SaveMode() const;
    int FileMode() const;
    int LoadedCount() const;
    bool HasResources() const;
    std::string LastLanguage() const;
    std::string LastSourceLanguage() const;
    std::vector<std::string> CollectedTexts() const;

    TBeforeTranslateComponentNotify OnBeforeTranslateComponent;
    TPropertyTranslateNotify OnPropertyTranslate;
    TCustomTranslateNotify OnCustomTranslate;
    TCustomObjectPropertyTranslateNotify OnCustomObjectPropertyTranslate;
    TTranslateNotify OnAfterTranslate;
    // Fires at the start of every pass.
    TTranslateNotify OnBeforeTranslate;
    // The application's forms for a pass without component and text; none when unset.
    std::function<std::vector<TComponent *>()> ApplicationForms;

private:
    int LoadLanguage(const std::string &file, std::string_view source,
                     TWtranslLanguagesList &resources, std::string_view target);
    void TranslateOwned(TComponent &container);
    void TranslateObject(TObject &obj);
    void ApplyLanguageLook(TObject &obj);
    void TranslateProperty(TObject &obj, std::string_view name);
    std::u16string TranslateText(const std::u16string &text, bool &found) const;
    void CollectText(TObject *obj, bool found, const std::u16string &oldValue,
                     const TPropInfo *prop, bool &doDefault);
    void SetTimerEnabled(bool enabled);

    mutable std::recursive_mutex lock_;
    TStringList componentProperties_;
    std::string languageFile_ = "app.lng";
    std::string defaultLanguage_;
    std::string lastLanguage_;
    std::string lastSourceLanguage_;
    TLanguageFileSettings settings_;
    std::uint32_t initialLocale_ = 0;
    TStringList collectedTexts_;
    std::string cacheKey_;
    bool cacheKeySet_ = false;
    int loadedCount_ = 0;
    std::unique_ptr<TWtranslLanguagesList> resources_;
    std::unique_ptr<TTranslReleaseTimer> releaseTimer_;
};

}  // namespace brevor
