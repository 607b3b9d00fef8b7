// Lists the module's texts that a language file has no translation for, in the language file's
// own block format, by running the module with the translator in its collecting mode.
//
//   brevor_collect_texts [language file] [language]
//
// Without a language file (or with an empty name) every translatable text is listed: the
// list a new language starts from. With the shipped file, what it still lacks. The language
// defaults to DE. Each block carries the object path of the text in both lines, as the
// translator writes its side file.

#include <fstream>
#include <iostream>
#include <iterator>

#include "support/module_texts.h"

int main(int argc, char **argv) {
    using namespace brevor::testing;
    std::string base = "[Languages]\r\n$EN = English\r\nDefault = EN\r\n\r\n";
    if (argc > 1 && argv[1][0] != '\0') {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << argv[1] << "\n";
            return 2;
        }
        base.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string language = argc > 2 ? argv[2] : "DE";
    TranslatedModule module(kCollectHeader + base);
    module.SwitchTo(language);
    module.Driver().Then(brevor::THeadlessDriver::Click("btnCancel"));
    module.RunDialog();
    module.Release();
    // Nothing collected: the translator writes no side file.
    std::cout << module.Folder().Read("brevor.lng.new");
    return 0;
}
