#include "support/headless_driver.h"

#include <stdexcept>

#include "rtl/ansi.h"

namespace brevor {

namespace {

std::string WithoutAccel(const std::string &caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        out.push_back(caption[i]);
    }
    return out;
}

template <typename T>
T &Need(TCustomForm &form, const std::string &name) {
    auto *c = dynamic_cast<T *>(THeadlessDriver::Find(form, name));
    if (!c) throw std::logic_error("headless script: no control \"" + name + "\" of that kind");
    return *c;
}

// A click into a control: true when it holds the focus afterwards.
bool FocusByUser(TWinControl &control) {
    TCustomForm *form = control.GetParentForm();
    return form && form->SetFocusTo(&control);
}

}  // namespace

THeadlessDriver::THeadlessDriver() {
    previous_ = SetUiBackend(this);
}

THeadlessDriver::~THeadlessDriver() {
    SetUiBackend(previous_);
}

THeadlessDriver &THeadlessDriver::Then(TStep step) {
    steps_.push_back(std::move(step));
    return *this;
}

TComponent *THeadlessDriver::Find(TCustomForm &form, const std::string &name) {
    for (TControl *c : form.AllControls())
        if (AnsiSameText(c->Name(), name)) return c;
    std::function<TComponent *(TComponent &)> owned = [&](TComponent &owner) -> TComponent * {
        for (int i = 0; i < owner.ComponentCount(); ++i) {
            TComponent *c = owner.Components(i);
            if (AnsiSameText(c->Name(), name)) return c;
            if (TComponent *inner = owned(*c)) return inner;
        }
        return nullptr;
    };
    return owned(form);
}

THeadlessDriver::TStep THeadlessDriver::Focus(std::string name) {
    return [name](TCustomForm &form, THeadlessDriver &) {
        FocusByUser(Need<TWinControl>(form, name));
    };
}

THeadlessDriver::TStep THeadlessDriver::Type(std::string text) {
    return [text](TCustomForm &form, THeadlessDriver &) {
        auto *edit = dynamic_cast<TCustomEdit *>(form.ActiveControl());
        if (!edit) throw std::logic_error("headless script: typing outside an edit box");
        if (edit->ReadOnly) return;
        std::string typed;
        edit->SetText(typed);
        for (char c : text) {
            typed.push_back(c);
            edit->SetText(typed);
        }
    };
}

THeadlessDriver::TStep THeadlessDriver::Key(int key, bool shift) {
    return [key, shift](TCustomForm &form, THeadlessDriver &) { form.KeyDown(key, shift); };
}

THeadlessDriver::TStep THeadlessDriver::Click(std::string name) {
    return [name](TCustomForm &form, THeadlessDriver &) {
        TComponent *c = Find(form, name);
        if (auto *item = dynamic_cast<TMenuItem *>(c)) {
            item->Click();
            return;
        }
        auto *control = dynamic_cast<TControl *>(c);
        if (!control) throw std::logic_error("headless script: no control \"" + name + "\"");
        if (!control->Showing() || !control->EffectivelyEnabled()) return;
        if (auto *w = dynamic_cast<TWinControl *>(control); w && w->TabStop)
            if (!FocusByUser(*w)) return;  // the focus change was refused: no click
        control->Click();
    };
}

THeadlessDriver::TStep THeadlessDriver::ClickCaption(std::string caption) {
    return [caption](TCustomForm &form, THeadlessDriver &) {
        for (TControl *c : form.AllControls())
            if (auto *b = dynamic_cast<TButton *>(c);
                b && WithoutAccel(b->Caption()) == WithoutAccel(caption)) {
                if (FocusByUser(*b)) b->Click();
                return;
            }
        throw std::logic_error("headless script: no button \"" + caption + "\"");
    };
}

THeadlessDriver::TStep THeadlessDriver::SelectRow(std::string listName, int index) {
    return [listName, index](TCustomForm &form, THeadlessDriver &) {
        auto &list = Need<TListView>(form, listName);
        if (!list.Focused() && !FocusByUser(list)) return;
        list.SelectByUser(index);
    };
}

THeadlessDriver::TStep THeadlessDriver::ChooseRadio(std::string name, int index) {
    return [name, index](TCustomForm &form, THeadlessDriver &) {
        auto &group = Need<TCustomRadioGroup>(form, name);
        if (!group.EffectivelyEnabled()) return;
        if (!group.Focused() && !FocusByUser(group)) return;
        group.SetItemIndex(index);
    };
}

THeadlessDriver::TStep THeadlessDriver::ShowPage(std::string pageControlName, int index) {
    return [pageControlName, index](TCustomForm &form, THeadlessDriver &) {
        Need<TPageControl>(form, pageControlName).SetActivePageIndex(index);
    };
}

THeadlessDriver::TStep THeadlessDriver::Browse(std::string name) {
    return [name](TCustomForm &form, THeadlessDriver &) {
        auto &edit = Need<TBrowseEdit>(form, name);
        if (edit.EffectivelyEnabled()) edit.ButtonClick();
    };
}

int THeadlessDriver::ShowModal(TCustomForm &form) {
    TShown shown;
    shown.Name = form.Name();
    shown.Caption = form.Caption();
    shown.Bounds = form.BoundsRect();
    for (TControl *c : form.AllControls()) {
        if (auto *b = dynamic_cast<TButton *>(c)) shown.Buttons.push_back(b->Caption());
        if (AnsiSameText(c->Name(), "promptText")) shown.Text = c->Caption();
    }
    Shown.push_back(shown);

    form.BeginModal();
    try {
        for (;;) {
            while (form.ModalResult == mrNone) {
                if (steps_.empty()) {
                    ScriptRanOut = true;
                    form.ModalResult = mrCancel;
                    break;
                }
                TStep step = std::move(steps_.front());
                steps_.pop_front();
                step(form, *this);
            }
            if (form.CloseQuery()) break;
        }
    } catch (...) {
        form.EndModal();
        throw;
    }
    form.EndModal();
    return form.ModalResult;
}

int THeadlessDriver::ShowMessageBox(const std::string &text, const std::string &caption,
                                    unsigned flags) {
    MessageBoxes.push_back({text, caption, flags});
    if (MessageBoxAnswers.empty()) return 0;
    const int answer = MessageBoxAnswers.front();
    MessageBoxAnswers.pop_front();
    return answer;
}

bool THeadlessDriver::BrowseForFolder(const std::string &, std::string &path) {
    if (FolderAnswers.empty()) return false;
    path = FolderAnswers.front();
    FolderAnswers.pop_front();
    return true;
}

bool THeadlessDriver::BrowseForFile(const std::string &, const std::string &, std::string &path) {
    if (FileAnswers.empty()) return false;
    path = FileAnswers.front();
    FileAnswers.pop_front();
    return true;
}

void THeadlessDriver::ShowHelp(const std::string &helpFile, std::int32_t context) {
    HelpRequests.emplace_back(helpFile, context);
}

}  // namespace brevor
