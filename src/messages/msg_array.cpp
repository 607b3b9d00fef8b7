#include "messages/msg_array.h"

#include "rtl/ansi.h"

#include <vector>

namespace brevor {

namespace {

constexpr std::string_view kSeparator = "||";

// The row split at every "||"; at least nine fields (a ninth holds what follows the eighth
// separator).
std::vector<std::string> SplitRow(std::string_view row) {
    std::vector<std::string> fields;
    while (true) {
        const auto at = row.find(kSeparator);
        if (at == std::string_view::npos) {
            fields.emplace_back(row);
            break;
        }
        fields.emplace_back(row.substr(0, at));
        row.remove_prefix(at + kSeparator.size());
    }
    if (fields.size() < 9) fields.resize(9);
    return fields;
}

std::string NormalizeDontShow(std::string_view v) {
    const std::string t = std::string(TrimBlanks(v));
    return t == "N" || t == "Y" ? t : "D";
}

}  // namespace

const TClassInfo &TMsgArray::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TMsgArray>("TMsgArray", &TComponent::StaticClassInfo())
            .Object("MessagesArray", [](TMsgArray &m) { return &m.rows_; })
            .Object("MessagesText", [](TMsgArray &m) { return &m.texts_; })
            .Object("MessagesCaption", [](TMsgArray &m) { return &m.captions_; })
            .Object("DontShowAgainText", [](TMsgArray &m) { return &m.dontShow_; })
            .Object("LastDialogsResult", [](TMsgArray &m) { return &m.lastResults_; })
            .String("AgainCheckCaption", &TMsgArray::AgainCheckCaption)
            .String("InformationCaption", &TMsgArray::InformationCaption)
            .String("WarningCaption", &TMsgArray::WarningCaption)
            .String("ErrorCaption", &TMsgArray::ErrorCaption)
            .String("QuestionCaption", &TMsgArray::QuestionCaption)
            .Object("ButtonCaptions", [](TMsgArray &m) { return &m.buttonCaptions_; })
            .Boolean("UseSystemCaptions", &TMsgArray::UseSystemCaptions,
                     &TMsgArray::SetUseSystemCaptions)
            .Build();
    return info;
}
const TClassInfo &TMsgArray::ClassInfo() const {
    return StaticClassInfo();
}

TMsgArray::TMsgArray(TComponent *owner) : TComponent(owner) {
    for (const std::string &caption : DefaultButtonCaptions())
        buttonCaptions_.Add(caption);
    rows_.OnChange = [this](TStrings *s) { OnListChanged(s); };
    for (TStringList *list : {&texts_, &captions_, &dontShow_, &lastResults_})
        list->OnChange = [this](TStrings *s) { OnListChanged(s); };
}

TMsgArray::~TMsgArray() {
    for (TStringList *list : {&rows_, &texts_, &captions_, &dontShow_, &lastResults_})
        list->OnChange = nullptr;
}

void TMsgArray::OnListChanged(TStrings *sender) {
    if (syncing_) return;
    syncing_ = true;
    struct TDone {
        bool &flag;
        ~TDone() { flag = false; }
    } done{syncing_};
    if (sender == &rows_)
        RowsToLists();
    else
        ListsToRows();
}

void TMsgArray::SetMessagesArray(const TStrings &rows) {
    // Outside a notification: the lists report their change and the rows become canonical.
    syncing_ = true;
    rows_.Assign(rows);
    syncing_ = false;
    RowsToLists();
}

void TMsgArray::RowsToLists() {
    for (TStringList *list : {&texts_, &captions_, &dontShow_, &lastResults_}) {
        list->BeginUpdate();
        list->Clear();
    }
    for (int i = 0; i < rows_.Count(); ++i) {
        const std::vector<std::string> f = SplitRow(rows_[i]);
        texts_.Add(std::string(TrimBlanks(f[1])));
        captions_.Add(std::string(TrimBlanks(f[2])));
        dontShow_.Add(NormalizeDontShow(f[4]));
        lastResults_.Add(std::string(TrimBlanks(f[7])));
    }
    RebuildIndex();
    for (TStringList *list : {&texts_, &captions_, &dontShow_, &lastResults_})
        list->EndUpdate();
}

void TMsgArray::ListsToRows() {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    rows_.BeginUpdate();
    for (int i = 0; i < rows_.Count(); ++i) {
        std::vector<std::string> f = SplitRow(rows_[i]);
        if (i < texts_.Count()) f[1] = texts_[i];
        if (i < captions_.Count()) f[2] = captions_[i];
        if (i < dontShow_.Count()) f[4] = NormalizeDontShow(dontShow_[i]);
        if (i < lastResults_.Count()) f[7] = lastResults_[i];
        std::string row;
        for (int k = 0; k < 8; ++k) {
            row += f[static_cast<size_t>(k)];
            row += kSeparator;
        }
        rows_.SetStrings(i, row);
    }
    rows_.EndUpdate();
    syncing_ = wasSyncing;
    RebuildIndex();
}

void TMsgArray::RebuildIndex() {
    // Later rows replace earlier ones with an equal ID, so the later row is the one found.
    auto lookup = std::make_shared<TLookup>();
    lookup->Index.CaseSensitive = false;
    lookup->Texts.reserve(static_cast<size_t>(rows_.Count()));
    for (int i = 0; i < rows_.Count(); ++i) {
        const std::vector<std::string> f = SplitRow(rows_[i]);
        lookup->Index.Add(std::string(TrimBlanks(f[0])), static_cast<THashTrieData>(i));
        lookup->Texts.emplace_back(TrimBlanks(f[1]));
    }
    std::lock_guard lock(lookupMutex_);
    lookup_ = std::move(lookup);
}

std::shared_ptr<const TMsgArray::TLookup> TMsgArray::Lookup() const {
    std::lock_guard lock(lookupMutex_);
    return lookup_;
}

std::string TMsgArray::Field(std::string_view row, int n) {
    const std::vector<std::string> f = SplitRow(row);
    return n >= 0 && n < static_cast<int>(f.size())
               ? std::string(TrimBlanks(f[static_cast<size_t>(n)]))
               : std::string();
}

int TMsgArray::IndexOfMessage(std::string_view id) const {
    const std::shared_ptr<const TLookup> lookup = Lookup();
    THashTrieData row = 0;
    if (!lookup || !lookup->Index.Find(id, row)) return -1;
    return static_cast<int>(row);
}

std::string TMsgArray::FormatMessageByIndex(int index, const TFormatArgs &args) const {
    return FormatText(Lookup().get(), index, args);
}

std::string TMsgArray::FormatText(const TLookup *lookup, int index, const TFormatArgs &args) {
    if (!lookup || index < 0 || index >= static_cast<int>(lookup->Texts.size()))
        throw EMsgArrayError(Format("Invalid message index [%d]", {index}));
    const std::string &text = lookup->Texts[static_cast<size_t>(index)];
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && text[i + 1] == '0' &&
            (text[i + 2] == 'D' || text[i + 2] == 'A')) {
            out += text[i + 2] == 'D' ? '\r' : '\n';
            i += 2;
        } else {
            out += text[i];
        }
    }
    if (args.empty()) return out;
    return Format(out, args);
}

std::string TMsgArray::FormatMessage(std::string_view id, const TFormatArgs &args) const {
    // One table for the lookup and the text: a row index of an older table may name another
    // row (or none) in a newer one.
    const std::shared_ptr<const TLookup> lookup = Lookup();
    THashTrieData row = 0;
    const int index = lookup && lookup->Index.Find(id, row) ? static_cast<int>(row) : -1;
    return FormatText(lookup.get(), index, args);
}

}  // namespace brevor
