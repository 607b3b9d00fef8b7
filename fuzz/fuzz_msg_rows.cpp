// The message table on arbitrary rows and list edits: the rows and the four lists stay in step,
// lookups agree with the rows, and formatting raises only the table's or the formatter's
// errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "messages/msg_array.h"
#include "rtl/exceptions.h"

namespace {

// Splits the input at '\n'; the first byte of each later line picks an operation.
std::string_view NextLine(std::string_view &in) {
    const std::size_t at = in.find('\n');
    const std::string_view line = in.substr(0, at);
    in.remove_prefix(at == std::string_view::npos ? in.size() : at + 1);
    return line;
}

std::string DontShow(std::string_view v) {
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ')
        v.remove_prefix(1);
    while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ')
        v.remove_suffix(1);
    return v == "N" || v == "Y" ? std::string(v) : "D";
}

void Check(brevor::TMsgArray &ma) {
    const int rows = ma.MessagesArray().Count();
    for (brevor::TStringList *l : {&ma.MessagesText(), &ma.MessagesCaption(),
                                   &ma.DontShowAgainText(), &ma.LastDialogsResult()})
        if (l->Count() != rows) std::abort();
    for (int i = 0; i < rows; ++i) {
        // The list may hold what an editor wrote; it reads as the row's field either way. A
        // field that begins or ends with "|" cannot be told from its separator ("|||"), so
        // such rows read back shifted; that is the stored format's limit.
        if (ma.MessagesArray()[i].find("|||") == std::string::npos &&
            DontShow(ma.DontShowAgainText()[i]) !=
                DontShow(brevor::TMsgArray::Field(ma.MessagesArray()[i], 4)))
            std::abort();
        const std::string id = brevor::TMsgArray::Field(ma.MessagesArray()[i], 0);
        const int found = ma.IndexOfMessage(id);
        if (found < i || found >= rows) std::abort();  // this row or a later one with that ID
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char *>(data), size);
    brevor::TMsgArray ma;
    brevor::TStringList rows;
    const std::string_view head = NextLine(in);
    for (std::size_t i = 0; i < head.size(); i += 24)
        rows.Add(head.substr(i, 24));
    ma.SetMessagesArray(rows);
    Check(ma);
    static const brevor::TFormatArgs args = {7, std::int64_t{1} << 40, "path", 1.5};
    int steps = 0;
    while (!in.empty() && ++steps < 64) {
        const std::string_view line = NextLine(in);
        if (line.empty()) continue;
        const unsigned op = static_cast<unsigned char>(line[0]);
        const std::string_view arg = line.substr(1);
        const int count = ma.MessagesArray().Count();
        const int index = count == 0 ? 0 : static_cast<int>(op >> 3) % count;
        brevor::TStringList *lists[] = {&ma.MessagesText(), &ma.MessagesCaption(),
                                        &ma.DontShowAgainText(), &ma.LastDialogsResult()};
        switch (op % 8) {
            case 0:
                ma.MessagesArray().Add(arg);
                break;
            case 1:
                if (count > 0) ma.MessagesArray().Delete(index);
                break;
            case 2:
            case 3:
            case 4:
            case 5:
                if (index < lists[op % 8 - 2]->Count()) lists[op % 8 - 2]->SetStrings(index, arg);
                break;
            case 6:
                try {
                    (void)ma.FormatMessage(arg, (op & 0x10) ? args : brevor::TFormatArgs{});
                } catch (const brevor::EMsgArrayError &) {
                } catch (const brevor::EConvertError &) {
                }
                break;
            default:
                try {
                    (void)ma.FormatMessageByIndex(static_cast<int>(op) - 200, args);
                } catch (const brevor::EMsgArrayError &) {
                } catch (const brevor::EConvertError &) {
                }
                break;
        }
        Check(ma);
    }
    return 0;
}
