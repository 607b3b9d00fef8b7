#include "ui/backend.h"

#include <algorithm>
#include <atomic>

#include "ui/controls.h"

namespace brevor {

namespace {

TNoUiBackend &NoUi() {
    static TNoUiBackend backend;
    return backend;
}

std::atomic<TUiBackend *> g_backend{nullptr};

}  // namespace

TUiBackend &UiBackend() {
    TUiBackend *b = g_backend.load(std::memory_order_acquire);
    return b ? *b : NoUi();
}

TUiBackend *SetUiBackend(TUiBackend *backend) {
    return g_backend.exchange(backend, std::memory_order_acq_rel);
}

int TNoUiBackend::ShowModal(TCustomForm &) {
    throw EUiUnavailable("No user interface is available in this process");
}

TSize TNoUiBackend::AverageCharSize(const TFont &) {
    return {7 * 52, 15};
}

TSize TNoUiBackend::MeasureText(const TFont &, const std::string &text, int maxWidth,
                                unsigned flags) {
    return MeasureMonospaced(text, maxWidth, flags, 7, 15);
}

TSize MeasureMonospaced(const std::string &text, int maxWidth, unsigned flags, int charWidth,
                        int lineHeight) {
    charWidth = std::max(1, charWidth);
    const int maxCols = (flags & tfWordBreak) ? std::max(1, maxWidth / charWidth) : 1 << 30;
    int lines = 0;
    int widest = 0;
    auto emit = [&](int cols) {
        ++lines;
        widest = std::max(widest, cols);
    };
    // Split into paragraphs at line breaks; expand tabs; wrap each paragraph at blanks.
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string para;
        for (std::size_t i = start; i < end; ++i) {
            const char c = text[i];
            if (c == '\t' && (flags & tfExpandTabs))
                para.append(8 - para.size() % 8, ' ');
            else if (c == '&' && !(flags & tfNoPrefix)) {
                // An accelerator mark takes no room; "&&" shows one "&".
                if (i + 1 < end && text[i + 1] == '&') {
                    para.push_back('&');
                    ++i;
                }
            } else
                para.push_back(c);
        }
        if (!(flags & tfWordBreak)) {
            emit(static_cast<int>(para.size()));
        } else {
            // Words separated by single blanks; a blank more is a word of no letters, so runs
            // of blanks keep their width inside a line.
            int col = 0;
            bool started = false;
            std::size_t i = 0;
            while (i <= para.size() && !para.empty()) {
                std::size_t wordEnd = para.find(' ', i);
                if (wordEnd == std::string::npos) wordEnd = para.size();
                int word = static_cast<int>(wordEnd - i);
                const int need = started ? col + 1 + word : word;
                if (need <= maxCols) {
                    col = need;
                    started = true;
                } else if (started && word > 0) {
                    emit(col);
                    col = 0;
                    started = false;
                    continue;  // the word starts the next line
                } else if (started) {
                    // A blank at the end of a full line disappears at the break.
                    emit(col);
                    col = 0;
                    started = false;
                } else {
                    // A word longer than a line is broken.
                    while (word > maxCols) {
                        emit(maxCols);
                        word -= maxCols;
                    }
                    col = word;
                    started = true;
                }
                if (wordEnd >= para.size()) break;
                i = wordEnd + 1;
            }
            if (started || para.empty()) emit(col);
        }
        if (end >= text.size()) break;
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return {widest * charWidth, lines * lineHeight};
}

}  // namespace brevor
