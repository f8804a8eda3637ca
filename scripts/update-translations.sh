#!/usr/bin/env bash
# Brings translations/*.ts in step with the texts in the sources: new texts appear there
# unfinished, texts no longer used go. Then translate what is unfinished (Qt Linguist, or by
# hand) and build; the test command fails while any text is untranslated.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
sources=(Lumbra LumbraCore)
"$lupdate" -silent -no-obsolete -locations none "${sources[@]}" \
    -ts translations/lumbra_de.ts translations/lumbra_fr.ts
# English is the source language: only its plural forms need a file.
"$lupdate" -silent -no-obsolete -locations none -pluralonly "${sources[@]}" \
    -ts translations/lumbra_en.ts
