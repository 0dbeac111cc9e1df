#!/usr/bin/env bash
# The web's own checks of the pages Qadora writes, for one page style, on three sites: the
# sample site (data/sample-records.tsv), a 2,000-record and a 30,000-record site; --sites
# "obsolete" adds a site of answers written with obsolete presentational markup.
#   Nu HTML Checker (vnu-jar, Debian's Java) over HTTP from 127.0.0.1: errors and warnings
#   axe-core through puppeteer-core in Debian's Chromium: every rule set, 390x844 and
#     1280x800, light and dark: rules violated, and whether "bypass" came out incomplete
#   Lighthouse 12.2.3, mobile and desktop: Performance, Accessibility, Best Practices, SEO
#   whether a page reads the same when the host sends "charset=utf-8" as with no charset
#   the largest record page's size, raw and gzip, with the style sheets it links
#   screenshots of each page type at 390 and 1280 px, light and dark (--shots DIR)
# A benchmark, never a test: it installs its checkers from npm into a folder of its own
# (QADORA_CHECKERS, default ~/.cache/qadora-site-checks) and Chromium from apt when missing;
# nothing else leaves the machine.
#
# Usage: bench/site_checks.sh [--style frameless|framed|modern] [--build DIR] [--shots DIR]
#                             [--sites "sample 2000 30000"] [--no-lighthouse] [-- QADORA-BUILD-OPTIONS...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
style=frameless
build=$here/../build
shots=
sites="sample 2000 30000"
lighthouse=1
extra=()
while [ $# -gt 0 ]; do
    case $1 in
        --style) style=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --shots) shots=$2; shift 2 ;;
        --sites) sites=$2; shift 2 ;;
        --no-lighthouse) lighthouse=0; shift ;;
        --) shift; extra=("$@"); break ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
exe=$build/app/qadora-build
[ -x "$exe" ] || { echo "no $exe: build qadora-build first" >&2; exit 1; }

checkers=${QADORA_CHECKERS:-$HOME/.cache/qadora-site-checks}
mkdir -p "$checkers"
if [ ! -f "$checkers/node_modules/lighthouse/package.json" ] || [ ! -f "$checkers/node_modules/vnu-jar/package.json" ] \
    || [ ! -f "$checkers/node_modules/axe-core/package.json" ] || [ ! -f "$checkers/node_modules/puppeteer-core/package.json" ]; then
    [ -f "$checkers/package.json" ] || echo '{"name":"qadora-site-checks","private":true}' > "$checkers/package.json"
    (cd "$checkers" && npm install --no-audit --no-fund --loglevel=error vnu-jar axe-core puppeteer-core lighthouse@12.2.3)
fi
need=()
command -v /usr/bin/chromium > /dev/null || need+=(chromium)
command -v java > /dev/null || need+=(default-jre-headless)
if [ ${#need[@]} -gt 0 ]; then
    apt-get install -y "${need[@]}" > /dev/null || { apt-get update > /dev/null && apt-get install -y "${need[@]}" > /dev/null; }
fi

work=$(mktemp -d /tmp/site-checks.XXXX)
trap 'rm -rf "$work"' EXIT

# The databases: the sample as the build makes it, and two large ones of made-up records.
sample_db=$build/data/sample.mdb
if [ ! -f "$sample_db" ]; then
    cmake --build "$build" --target qadora_sample > /dev/null
fi
for s in $sites; do
    db=$work/$s.db
    if [ "$s" = sample ]; then
        cp "$sample_db" "$db"
    else
        python3 "$here/site_checks.py" make-records "$db" "$s"
    fi
    mkdir -p "$work/site-$s"
    "$exe" --quiet --style "$style" --title "Qadora よくある質問" ${extra[@]+"${extra[@]}"} "$db" "$work/site-$s" 2> "$work/build-$s.log" \
        || { cat "$work/build-$s.log" >&2; exit 1; }
done

args=(--style "$style" --checkers "$checkers" --work "$work" --sites "$sites")
[ -n "$shots" ] && args+=(--shots "$(mkdir -p "$shots" && cd "$shots" && pwd)")
[ "$lighthouse" = 1 ] || args+=(--no-lighthouse)
python3 "$here/site_checks.py" check "${args[@]}"
