#!/usr/bin/env bash
# Lists the module's texts that the language file does not translate yet, as language-file
# blocks ready to be filled in. Usage: scripts/collect_texts.sh [language] [language file]
#   language       the language to check, DE by default
#   language file  src/brevor.lng by default; "none" lists every translatable text
# The module runs with its translator collecting (options dialog opened with the headless
# driver). Each block names the object that shows the text; the dialog's caption (the module's
# name and version) is not for translation.
set -euo pipefail
cd "$(dirname "$0")/.."
language=${1:-DE}
file=${2:-src/brevor.lng}
cmake --build --preset default --target brevor_collect_texts >/dev/null
if [ "$file" = none ]; then
    build/default/bin/brevor_collect_texts "" "$language"
else
    build/default/bin/brevor_collect_texts "$file" "$language"
fi
