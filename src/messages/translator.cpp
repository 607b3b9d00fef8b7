#include "messages/translator.h"

#include <algorithm>

#include "messages/wide_string_list.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "rtl/ansi.h"
#include "rtl/hex.h"

namespace brevor {
namespace {

// Tags with a meaning to the translator.
constexpr std::intptr_t kTagSkipTree = 9999;
constexpr std::intptr_t kTagSkipSelf = 9998;
constexpr std::intptr_t kTagCustomOnly = 9997;
constexpr std::intptr_t kTagSkipFlagsFirst = 10000;
constexpr std::intptr_t kTagSkipFlagsLast = 10015;

// Class names by which the translator recognises kinds of controls.
constexpr std::string_view kFormClass = "TCustomForm";
constexpr std::string_view kWinControlClass = "TWinControl";
constexpr std::string_view kEditClass = "TCustomEdit";
constexpr std::string_view kComboBoxClass = "TCustomComboBox";
constexpr std::string_view kComboClass = "TCustomCombo";
constexpr std::string_view kVirtualFontClass = "TVirtualFont";
constexpr int kSymbolCharset = 2;

bool IsComboControl(const TObject &obj) {
    return obj.InheritsFrom(kComboBoxClass) || obj.InheritsFrom(kComboClass);
}

std::u16string TrimControls16(const std::u16string &s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] <= 32)
        ++b;
    while (e > b && s[e - 1] <= 32)
        --e;
    return s.substr(b, e - b);
}

// Control characters as "%" and two upper-case hex digits; "&" removed when dropAmpersands.
std::u16string EscapeText(const std::u16string &s, bool dropAmpersands) {
    std::u16string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        if (c < 32) {
            AppendHexEscape(out, u'%', c);
        } else if (!(dropAmpersands && c == u'&')) {
            out += c;
        }
    }
    return out;
}

std::u16string UnescapeText(const std::u16string &s, bool decodeEscapes, bool keepAmpersands) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        const int unit =
            decodeEscapes && c == u'%' && i + 2 < s.size() ? HexPairValue(s[i + 1], s[i + 2]) : -1;
        if (unit >= 0) {
            out += static_cast<char16_t>(unit);
            i += 2;
        } else if (keepAmpersands || c != u'&') {
            out += c;
        }
    }
    return out;
}

// UTF-8 to UTF-16; a byte that does not start a valid sequence is taken as Windows-1252.
std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int len = b0 < 0x80         ? 1
                  : (b0 >> 5) == 6  ? 2
                  : (b0 >> 4) == 14 ? 3
                  : (b0 >> 3) == 30 ? 4
                                    : 0;
        char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (b & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out += AnsiToUtf16(s.substr(i, 1));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(len);
    }
    return out;
}

bool HasLetter(const std::u16string &s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) {
        return !(c <= 64 || (c >= 91 && c <= 96) || (c >= 123 && c <= 127));
    });
}

bool ReadFileBytes(const std::string &path, std::string &bytes) {
    int error = 0;
    return platform::ReadWholeFile(path, bytes, error);
}

// ---------------------------------------------------------------- custom translator list

struct TCustomTranslators {
    std::mutex Lock;
    std::vector<std::unique_ptr<TWtranslatorCustom>> Items;
};

TCustomTranslators &CustomTranslators() {
    // Made when the library starts (the standard translators are registered then), so it is
    // destroyed only after the library's shutdown has freed the instances that use it.
    static TCustomTranslators list;
    return list;
}

// The first translator of the kind asked for whose class fits cls.
TWtranslatorCustom *FindCustomTranslator(const TClassInfo &cls, bool forPropertyObjects) {
    auto &list = CustomTranslators();
    std::lock_guard guard(list.Lock);
    for (auto &t : list.Items) {
        if (t->PropName.empty() != forPropertyObjects) continue;
        if (forPropertyObjects ? (t->ObjClass && cls.InheritsFrom(*t->ObjClass))
                               : (!t->ObjClass || cls.InheritsFrom(*t->ObjClass)))
            return t.get();
    }
    return nullptr;
}

// The path of an object for collected texts: "[Class]Name" from the outermost owner down,
// joined by " -> ", or the class name of an object that is no component.
std::string ObjectPath(const TObject *obj, const TPropInfo *prop) {
    std::string path;
    if (auto *comp = dynamic_cast<const TComponent *>(obj)) {
        std::vector<const TComponent *> chain;
        for (const TComponent *c = comp; c; c = c->Owner())
            chain.push_back(c);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!path.empty()) path += " -> ";
            path += "[" + (*it)->ClassName() + "]" + (*it)->Name();
        }
    } else if (obj) {
        path = obj->ClassName();
    }
    if (prop) path += "." + prop->Name;
    return path;
}

bool IsTextKind(TTypeKind kind) {
    switch (kind) {
        case tkChar:
        case tkString:
        case tkWChar:
        case tkLString:
        case tkWString:
        case tkVariant:
            return true;
        default:
            return false;
    }
}

// The value of a text property as a wide text; false when the property cannot be read as text.
bool ReadText(TObject &obj, const TPropInfo &prop, std::u16string &value) {
    if (prop.GetStr) {
        value = AnsiToUtf16(prop.GetStr(obj));
        return true;
    }
    if ((prop.Kind == tkChar || prop.Kind == tkWChar) && prop.GetOrd) {
        const std::int64_t c = prop.GetOrd(obj);
        if (prop.Kind == tkChar)
            value = AnsiToUtf16(std::string(1, static_cast<char>(c)));
        else
            value = std::u16string(1, static_cast<char16_t>(c));
        return true;
    }
    return false;
}

void WriteText(TObject &obj, const TPropInfo &prop, const std::u16string &value) {
    if (prop.SetStr) {
        prop.SetStr(obj, Utf16ToAnsi(value));
    } else if ((prop.Kind == tkChar || prop.Kind == tkWChar) && prop.SetOrd) {
        if (prop.Kind == tkChar) {
            const std::string a = Utf16ToAnsi(value);
            prop.SetOrd(obj, a.empty() ? 0 : static_cast<unsigned char>(a[0]));
        } else {
            prop.SetOrd(obj, value.empty() ? 0 : value[0]);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- custom translators

bool TWtranslatorCustom::Translate(TWtransl &, TObject *, TWtranslLanguagesList *,
                                   const TPropInfo *, TObject *) {
    return false;
}

bool TWtranslatorCustomWideStrings::Translate(TWtransl &translator, TObject *obj,
                                              TWtranslLanguagesList *, const TPropInfo *prop,
                                              TObject *propObject) {
    auto *list = dynamic_cast<TWideStringList *>(propObject);
    if (!list) return false;
    list->BeginUpdate();
    try {
        for (int i = 0; i < list->Count(); ++i) {
            const std::u16string old = list->Strings(i);
            std::u16string translated;
            if (translator.TranslateValue(obj, prop, old, translated) && translated != old)
                list->SetStrings(i, translated);
        }
    } catch (...) {
        list->EndUpdate();
        throw;
    }
    list->EndUpdate();
    return true;
}

void RegisterCustomTranslator(const TClassInfo *objClass, std::string_view propName,
                              std::unique_ptr<TWtranslatorCustom> translator) {
    if (!translator) return;
    translator->ObjClass = objClass;
    translator->PropName = AsciiLowerCase(propName);
    auto &list = CustomTranslators();
    std::lock_guard guard(list.Lock);
    list.Items.push_back(std::move(translator));
}

void RegisterStandardCustomTranslators() {
    auto &list = CustomTranslators();
    {
        std::lock_guard guard(list.Lock);
        for (auto &t : list.Items)
            if (dynamic_cast<TWtranslatorCustomWideStrings *>(t.get())) return;
    }
    RegisterCustomTranslator(&TWideStringList::StaticClassInfo(), "",
                             std::make_unique<TWtranslatorCustomWideStrings>());
}

void FreeCustomTranslators() {
    auto &list = CustomTranslators();
    std::lock_guard guard(list.Lock);
    list.Items.clear();
}

// ---------------------------------------------------------------- TWtranslLanguagesList

TWtranslLanguagesList::TWtranslLanguagesList() {
    ExactTexts.CaseSensitive = true;
    ExactTexts.AutoFreeObjects = true;
    LowerTexts.CaseSensitive = true;
    LowerTexts.AutoFreeObjects = true;
}

const TClassInfo &TWtranslLanguagesList::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TWtranslLanguagesList>("TWtranslLanguagesList", &TObject::StaticClassInfo())
            .Build();
    return info;
}

const TClassInfo &TWtranslLanguagesList::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- TWtransl

TWtransl::TWtransl(TComponent *owner, const TTranslReleaseTimerFactory &timers)
    : TComponent(owner) {
    for (const char *name : {"CAPTION", "HINT", "TEXT", "TITLE", "CAPTIONS"})
        componentProperties_.Add(name);
    collectedTexts_.CaseSensitive = true;
    settings_.Locale = initialLocale_;
    if (timers) {
        releaseTimer_ = timers(kReleaseIntervalMs, [this] { ReleaseCache(); });
        if (releaseTimer_) releaseTimer_->SetEnabled(false);
    }
}

TWtransl::~TWtransl() {
    try {
        SaveCollected(LastLanguage(), LastSourceLanguage());
    } catch (...) {
    }
    std::lock_guard guard(lock_);
    if (releaseTimer_) {
        try {
            releaseTimer_->SetEnabled(false);
        } catch (...) {
        }
        releaseTimer_.reset();
    }
    resources_.reset();
}

const TClassInfo &TWtransl::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TWtransl>("TWtransl", &TComponent::StaticClassInfo())
            .Object("ComponentProperties", [](TWtransl &t) { return &t.componentProperties_; })
            .String("LanguageFile", &TWtransl::LanguageFile, &TWtransl::SetLanguageFile)
            .Build();
    return info;
}

const TClassInfo &TWtransl::ClassInfo() const {
    return StaticClassInfo();
}

std::string TWtransl::LanguageFile() const {
    std::lock_guard guard(lock_);
    return languageFile_;
}

void TWtransl::SetLanguageFile(std::string_view path) {
    std::lock_guard guard(lock_);
    if (languageFile_ == path) return;
    languageFile_.assign(path);
    cacheKeySet_ = false;
    cacheKey_.clear();
    loadedCount_ = 0;
}

std::string TWtransl::DefaultLanguage() const {
    std::lock_guard guard(lock_);
    return defaultLanguage_;
}

void TWtransl::SetDefaultLanguage(std::string_view language) {
    std::lock_guard guard(lock_);
    defaultLanguage_.assign(language);
}

int TWtransl::Encoding() const {
    std::lock_guard guard(lock_);
    return settings_.Encoding;
}
int TWtransl::LanguageBiDiMode() const {
    std::lock_guard guard(lock_);
    return settings_.BiDiMode;
}
int TWtransl::LanguageCharset() const {
    std::lock_guard guard(lock_);
    return settings_.Charset;
}
std::uint32_t TWtransl::LanguageLocale() const {
    std::lock_guard guard(lock_);
    return settings_.Locale;
}
int TWtransl::SaveMode() const {
    std::lock_guard guard(lock_);
    return settings_.SaveMode;
}
int TWtransl::FileMode() const {
    std::lock_guard guard(lock_);
    return settings_.FileMode;
}
int TWtransl::LoadedCount() const {
    std::lock_guard guard(lock_);
    return loadedCount_;
}
bool TWtransl::HasResources() const {
    std::lock_guard guard(lock_);
    return resources_ != nullptr;
}
std::string TWtransl::LastLanguage() const {
    std::lock_guard guard(lock_);
    return lastLanguage_;
}
std::string TWtransl::LastSourceLanguage() const {
    std::lock_guard guard(lock_);
    return lastSourceLanguage_;
}
std::vector<std::string> TWtransl::CollectedTexts() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> out;
    for (int i = 0; i < collectedTexts_.Count(); ++i)
        out.push_back(collectedTexts_[i]);
    return out;
}

void TWtransl::SetTimerEnabled(bool enabled) {
    if (!releaseTimer_) return;
    try {
        releaseTimer_->SetEnabled(enabled);
    } catch (...) {
    }
}

bool TWtransl::TranslateComponent(std::string_view language, TObject *component, std::string *text,
                                  std::string_view source) {
    std::unique_lock guard(lock_);
    const std::string sourceLanguage(source.empty() ? std::string_view(defaultLanguage_) : source);
    lastLanguage_.assign(language);
    lastSourceLanguage_ = sourceLanguage;
    SetTimerEnabled(false);

    if (!resources_) {
        resources_ = std::make_unique<TWtranslLanguagesList>();
        cacheKey_.clear();
        cacheKeySet_ = false;
        loadedCount_ = 0;
    }
    // The two codes are kept apart so that no other pair of codes gives the same key.
    const std::string key = sourceLanguage + '\n' + std::string(language);
    if (!cacheKeySet_ || key != cacheKey_) {
        cacheKey_ = key;
        cacheKeySet_ = true;
        loadedCount_ = LoadLanguage(languageFile_, sourceLanguage, *resources_, language);
    }

    bool result = false;
    if (settings_.SaveMode != 0 || loadedCount_ > 0) {
        result = true;
        if (OnBeforeTranslate) OnBeforeTranslate(this, resources_.get());
        if (component) {
            auto *comp = dynamic_cast<TComponent *>(component);
            if (!(comp && comp->Tag() == kTagSkipSelf)) TranslateObject(*component);
            if (comp) TranslateOwned(*comp);
        } else if (text) {
            const std::u16string old = AnsiToUtf16(*text);
            std::u16string translated;
            if (TranslateValue(nullptr, nullptr, old, translated)) *text = Utf16ToAnsi(translated);
        } else {
            std::vector<TComponent *> forms;
            if (ApplicationForms) forms = ApplicationForms();
            for (TComponent *form : forms) {
                if (!form || form->Tag() == kTagSkipTree) continue;
                if (form->Tag() != kTagSkipSelf) TranslateObject(*form);
                TranslateOwned(*form);
            }
            defaultLanguage_.assign(language);
        }
        if (OnAfterTranslate) OnAfterTranslate(this, resources_.get());
    }
    if (result) SetTimerEnabled(true);
    return result;
}

void TWtransl::ReleaseCache() {
    SetTimerEnabled(false);
    std::lock_guard guard(lock_);
    loadedCount_ = 0;
    cacheKey_.clear();
    cacheKeySet_ = false;
    resources_.reset();
}

int TWtransl::LoadLanguage(const std::string &file, std::string_view source,
                           TWtranslLanguagesList &resources, std::string_view target) {
    if (file.empty() || !platform::FileExists(file)) return -1;
    resources.ExactTexts.Clear();
    resources.LowerTexts.Clear();
    settings_.Encoding = 0;
    settings_.Charset = 1;
    settings_.Locale = initialLocale_;
    settings_.LocaleChanged = false;
    settings_.BiDiMode = 0;
    std::string bytes;
    if (!ReadFileBytes(file, bytes)) return -1;
    return ReadLanguageText(bytes, source, target, settings_,
                            [&](std::string_view src, std::string_view dst) {
                                resources.ExactTexts.AddString(src, dst);
                                const std::string lower = AsciiLowerCase(src);
                                if (lower != src) resources.LowerTexts.AddString(lower, dst);
                                if (settings_.SaveMode == 3) collectedTexts_.Add(src);
                            });
}

void TWtransl::TranslateOwned(TComponent &container) {
    if (container.InheritsFrom(kFormClass)) {
        try {
            if (TObject *font = GetObjectProp(container, "Font"))
                if (GetPropInfo(*font, "Charset")) SetOrdProp(*font, "Charset", settings_.Charset);
            if (GetPropInfo(container, "BiDiMode"))
                SetOrdProp(container, "BiDiMode", settings_.BiDiMode);
        } catch (...) {
        }
    }
    // Components may be added or removed by handlers; walk by index and re-check the count.
    for (int i = 0; i < container.ComponentCount(); ++i) {
        TComponent *c = container.Components(i);
        if (!c) continue;
        if (c->Tag() == kTagSkipTree || c->Name().starts_with("__")) continue;
        if (c->InheritsFrom(kWinControlClass) && GetPropInfo(*c, "HelpContext")) {
            std::int64_t help = 0;
            try {
                help = GetOrdProp(*c, "HelpContext");
            } catch (...) {
            }
            if (help == -1 || help == 9999) continue;
        }
        if (c->Tag() == kTagCustomOnly) {
            if (OnCustomTranslate) OnCustomTranslate(this, c, resources_.get());
        } else if (c->Tag() != kTagSkipSelf) {
            TranslateObject(*c);
        }
        if (c->Name().starts_with("_")) continue;
        if (c->ComponentCount() > 0) TranslateOwned(*c);
        if (c->Tag() != kTagCustomOnly && c->InheritsFrom(kComboBoxClass)) {
            try {
                TranslateProperty(*c, "Items");
            } catch (...) {
            }
        }
    }
}

void TWtransl::TranslateObject(TObject &obj) {
    bool allow = true;
    if (OnBeforeTranslateComponent) OnBeforeTranslateComponent(this, &obj, resources_.get(), allow);
    if (!allow) return;
    ApplyLanguageLook(obj);

    const bool combo = IsComboControl(obj) && GetPropInfo(obj, "ItemIndex");
    std::int64_t itemIndex = -1;
    if (combo) {
        try {
            itemIndex = GetOrdProp(obj, "ItemIndex");
        } catch (...) {
        }
    }

    unsigned skip = 0;
    auto *comp = dynamic_cast<TComponent *>(&obj);
    if (comp && comp->Tag() >= kTagSkipFlagsFirst && comp->Tag() <= kTagSkipFlagsLast)
        skip = static_cast<unsigned>(comp->Tag() - kTagSkipFlagsFirst);
    const bool isEdit = obj.InheritsFrom(kEditClass);

    // A copy: a handler may change the list while it is walked.
    std::vector<std::string> names;
    for (int i = 0; i < componentProperties_.Count(); ++i)
        names.push_back(componentProperties_[i]);
    for (const std::string &name : names) {
        if (((skip & 1) && AnsiSameText(name, "hint")) ||
            ((skip & 2) && AnsiSameText(name, "caption")) ||
            ((skip & 4) && AnsiSameText(name, "items")) ||
            ((skip & 8) && AnsiSameText(name, "strings")))
            continue;
        if (isEdit && AnsiSameText(name, "text")) continue;
        try {
            TranslateProperty(obj, name);
        } catch (...) {
            // One failing property does not stop the others.
        }
    }

    if (TWtranslatorCustom *custom = FindCustomTranslator(obj.ClassInfo(), false))
        custom->Translate(*this, &obj, resources_.get(), nullptr, nullptr);

    if (combo) {
        try {
            if (GetOrdProp(obj, "ItemIndex") != itemIndex) SetOrdProp(obj, "ItemIndex", itemIndex);
        } catch (...) {
        }
    }
    if (OnCustomTranslate) OnCustomTranslate(this, &obj, resources_.get());
}

void TWtransl::ApplyLanguageLook(TObject &obj) {
    try {
        if (settings_.BiDiMode != 0) {
            const TPropInfo *p = GetPropInfo(obj, "BiDiMode");
            if (p && p->SetOrd) p->SetOrd(obj, settings_.BiDiMode);
        }
        for (const char *fontProp : {"FocusFont", "Font"}) {
            const TPropInfo *p = GetPropInfo(obj, fontProp);
            if (!p || p->Kind != tkClass || !p->ReadObject) continue;
            TObject *font = p->ReadObject(obj);
            // Fonts have no system handle to create here; a virtual font is left as it is.
            if (!font || AnsiSameText(font->ClassName(), kVirtualFontClass)) continue;
            const TPropInfo *cs = GetPropInfo(*font, "Charset");
            if (cs && cs->GetOrd && cs->SetOrd && cs->GetOrd(*font) != kSymbolCharset)
                cs->SetOrd(*font, settings_.Charset);
        }
    } catch (...) {
    }
}

void TWtransl::TranslateProperty(TObject &obj, std::string_view name) {
    const TPropInfo *prop = GetPropInfo(obj, name);
    if (!prop) return;
    if (IsTextKind(prop->Kind)) {
        std::u16string old;
        if (!ReadText(obj, *prop, old)) return;
        std::u16string translated;
        if (TranslateValue(&obj, prop, old, translated) && translated != old && prop->Writable())
            WriteText(obj, *prop, translated);
        return;
    }
    if (prop->Kind != tkClass || !prop->ReadObject) return;
    TObject *value = prop->ReadObject(obj);
    if (!value) return;
    if (auto *items = dynamic_cast<TTranslatableItems *>(value)) {
        for (int i = 0; i < items->TranslatableItemCount(); ++i)
            if (TObject *item = items->TranslatableItem(i)) TranslateObject(*item);
        return;
    }
    if (auto *strings = dynamic_cast<TStrings *>(value)) {
        strings->BeginUpdate();
        try {
            for (int i = 0; i < strings->Count(); ++i) {
                const std::u16string old = AnsiToUtf16(strings->Strings(i));
                std::u16string translated;
                if (TranslateValue(&obj, prop, old, translated) && translated != old)
                    strings->SetStrings(i, Utf16ToAnsi(translated));
            }
        } catch (...) {
            strings->EndUpdate();
            throw;
        }
        strings->EndUpdate();
        return;
    }
    TWtranslatorCustom *custom = FindCustomTranslator(value->ClassInfo(), true);
    if (!(custom && custom->Translate(*this, &obj, resources_.get(), prop, value)) &&
        OnCustomObjectPropertyTranslate)
        OnCustomObjectPropertyTranslate(this, prop->Name, value, resources_.get());
}

bool TWtransl::TranslateValue(TObject *obj, const TPropInfo *prop, const std::u16string &oldValue,
                              std::u16string &newValue) {
    std::lock_guard guard(lock_);
    bool found = false;
    newValue = TranslateText(oldValue, found);
    bool doDefault = true;
    if (OnPropertyTranslate)
        OnPropertyTranslate(this, obj, prop, oldValue, newValue, found, doDefault);
    if (settings_.SaveMode != 0) CollectText(obj, found, oldValue, prop, doDefault);
    return doDefault;
}

std::u16string TWtransl::TranslateText(const std::u16string &text, bool &found) const {
    found = false;
    if (!resources_) return text;
    const std::u16string t = TrimControls16(text);
    if (t.empty()) return text;
    const bool hasAmpersand = t.find(u'&') != std::u16string::npos;
    const bool hasControl = std::any_of(t.begin(), t.end(), [](char16_t c) { return c < 32; });
    const std::string key = Utf16ToAnsi(t);
    std::string stored;
    bool hit = resources_->ExactTexts.FindString(key, stored);
    if (!hit && hasControl)
        hit = resources_->ExactTexts.FindString(Utf16ToAnsi(EscapeText(t, false)), stored);
    if (!hit && hasAmpersand)
        hit = resources_->ExactTexts.FindString(Utf16ToAnsi(EscapeText(t, true)), stored);
    if (!hit) hit = resources_->LowerTexts.FindString(AsciiLowerCase(key), stored);
    if (!hit) return text;
    found = true;
    const std::u16string decoded =
        settings_.Encoding == 1 ? Utf8ToUtf16(stored) : AnsiToUtf16(stored);
    return UnescapeText(decoded, hasControl, hasAmpersand);
}

void TWtransl::CollectText(TObject *obj, bool found, const std::u16string &oldValue,
                           const TPropInfo *prop, bool &doDefault) {
    doDefault = false;
    if (oldValue.empty() || !HasLetter(oldValue)) return;
    // Trimmed as the lookup trims it, so that a collected text matches when written back.
    const std::string e1 = Utf16ToAnsi(EscapeText(TrimControls16(oldValue), false));
    switch (settings_.SaveMode) {
        case 1:
            if (!found && collectedTexts_.IndexOf(e1) < 0) collectedTexts_.Add(e1);
            break;
        case 4: {
            if (found) break;
            const std::string path = ObjectPath(obj, prop);
            const std::string entry = path.empty() ? e1 : path + "=" + e1;
            if (collectedTexts_.IndexOf(entry) < 0) collectedTexts_.Add(entry);
            break;
        }
        case 3: {
            if (collectedTexts_.Count() == 0) collectedTexts_.Add("");
            const int at = collectedTexts_.IndexOf(e1);
            if (at >= 0) collectedTexts_.Delete(at);
            break;
        }
        default:
            break;
    }
}

void TWtransl::SaveCollected(std::string_view target, std::string_view source) {
    std::lock_guard guard(lock_);
    if (settings_.SaveMode == 0 || collectedTexts_.Count() == 0) return;
    const std::string ext = settings_.SaveMode == 3 ? ".unused" : ".new";
    std::string name = languageFile_ + ext;
    if (settings_.FileMode == 0) {
        for (int n = 1; platform::FileExists(name); ++n)
            name = languageFile_ + "." + std::to_string(n) + ext;
    }
    const bool append = settings_.FileMode == 2 && platform::FileExists(name);
    // The side file is replaced whole, also when appending, so it is never left half written.
    std::string text;
    if (append && !ReadFileBytes(name, text)) return;
    const std::string src(source), dst(target);
    if (!append)
        text += "[Languages]\r\n$" + src + " = #1\r\n$" + dst +
                " = #2 (Default)\r\nDefault = " + dst + "\r\n\r\n";
    std::vector<std::string> texts = CollectedTexts();
    std::sort(texts.begin(), texts.end());
    for (const std::string &s : texts)
        if (!s.empty()) text += src + ":>" + s + "\r\n" + dst + ":>" + s + "\r\n\r\n";
    text += "\r\n";
    int error = 0;
    // A side file that cannot be written is not worth more than the texts it would collect.
    platform::WriteFileAtomic(name, text, error);
}

void TWtransl::GetLanguages(TStrings *list, std::string &defaultLanguage) const {
    defaultLanguage.clear();
    if (list) list->Clear();
    const std::string file = LanguageFile();
    std::string bytes;
    if (file.empty() || !platform::FileExists(file) || !ReadFileBytes(file, bytes)) return;
    for (const TIniKeyValue &kv : ReadIniSection(bytes, "Languages")) {
        if (AnsiSameText(kv.Key, "Default") && defaultLanguage.empty()) {
            defaultLanguage = kv.Value;
        } else if (list && kv.Key.starts_with("$") && !kv.Value.empty()) {
            std::string entry = kv.Key.substr(1) + "," + kv.Value;
            if (entry.size() > 255) entry.resize(255);
            list->Add(entry);
        }
    }
}

}  // namespace brevor
