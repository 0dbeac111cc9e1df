#!/usr/bin/env bash
# The expected pages are written by hand in UTF-8 (src/*.txt) and converted here with
# iconv, independently of the program's own encoder, to CP932 with CR LF line ends.
set -euo pipefail
cd "$(dirname "$0")"
for f in src/*.txt; do
    iconv -f UTF-8 -t CP932 "$f" | sed 's/$/\r/' > "$(basename "$f" .txt).html"
done
