// SPDX-License-Identifier: GPL-3.0-or-later
// The modern style's stylesheet: readable on a phone without zooming (16 px text, 44 px
// targets), a Japanese sans-serif stack for Latin letters too, lines of at most about forty
// full-width characters, and the reader's dark mode. No web fonts, nothing fetched elsewhere.
// The results list keeps a screen of room before they come, so nothing below it moves.
#include "modernpages.h"

namespace qadora {

namespace {

// The sheet as written below, without the layout that makes it readable here: a reader's
// phone fetches a third less. Only white space around punctuation goes; no value holds any.
QByteArray compact(const QByteArray& css)
{
    QByteArray out;
    out.reserve(css.size());
    for (QByteArray line : css.split('\n')) {
        line = line.trimmed();
        if (!out.isEmpty() && !line.isEmpty() && !out.endsWith('{') && !out.endsWith(';') && !out.endsWith('}')
            && !out.endsWith(',') && !line.startsWith('}'))
            out += ' ';
        out += line;
    }
    for (const char* p : {": ", " {", "{ ", " }", "; ", ", "}) {
        const QByteArray from(p);
        out.replace(from, from.trimmed());
    }
    out.replace(";}", "}");
    return out + '\n';
}

} // namespace

QByteArray modernStyleSheet()
{
    // Short custom property names: every page fetches the sheet. --fg text, --mu muted text,
    // --bg background, --ln lines, --a links (and the focus ring), --v visited links.
    static const QByteArray sheet = compact(QByteArrayLiteral(R"CSS(:root {
  color-scheme: light dark;
  --fg: #1b1b1f;
  --mu: #4a4a55;
  --bg: #fff;
  --ln: #d5d7de;
  --a: #0842a0;
  --v: #6a3ab2;
}
@media (prefers-color-scheme: dark) {
  :root {
    --fg: #e8e8ec;
    --mu: #b7b8c2;
    --bg: #15161a;
    --ln: #3a3d47;
    --a: #8ab4f8;
    --v: #c9a7ff;
  }
}
*, ::before, ::after { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0;
  background: var(--bg);
  color: var(--fg);
  font: 1rem/1.8 system-ui, "Hiragino Sans", "Noto Sans JP", "Noto Sans CJK JP", "Yu Gothic UI", Meiryo, sans-serif;
  line-break: strict;
  overflow-wrap: anywhere;
}
a { color: var(--a); text-underline-offset: 0.2em; }
a:visited { color: var(--v); }
:focus-visible { outline: 3px solid var(--a); outline-offset: 2px; }
.skip { position: absolute; left: 0.5rem; top: -4rem; padding: 0.5rem 1rem; background: var(--bg); z-index: 1; }
.skip:focus { top: 0.5rem; }
.visually-hidden { position: absolute; width: 1px; height: 1px; overflow: hidden; clip-path: inset(50%); white-space: nowrap; }
.site-header, .breadcrumb, main, .site-footer { max-width: 44rem; margin: 0 auto; padding: 0 1rem; }
.site-header {
  display: flex;
  flex-wrap: wrap;
  align-items: center;
  gap: 0.5rem 1rem;
  padding: 0.75rem 1rem;
  border-bottom: 1px solid var(--ln);
}
.site-title { margin: 0; font-weight: 700; flex: 1 1 12rem; }
.site-title a { color: var(--fg); text-decoration: none; }
.site-title a, .breadcrumb a, .site-footer a { display: inline-block; min-height: 44px; line-height: 44px; }
.search { display: flex; flex: 1 1 16rem; gap: 0.5rem; margin: 0; }
input, button { min-height: 44px; padding: 0.4rem 0.75rem; font: inherit; border-radius: 0.5rem; }
input { flex: 1; min-width: 0; color: var(--fg); background: var(--bg); border: 1px solid var(--mu); }
button { color: #fff; background: #0842a0; border: 0; cursor: pointer; }
.breadcrumb ol { display: flex; flex-wrap: wrap; margin: 0; padding: 0.5rem 0; list-style: none; font-size: 0.875rem; color: var(--mu); }
.breadcrumb li + li::before { content: "›"; padding: 0 0.5em; }
.breadcrumb li[aria-current] { display: flex; align-items: center; min-height: 44px; }
main { padding-bottom: 2rem; }
main > *, .answer-body { max-width: 40em; }
h1, h2 { line-height: 1.5; }
h1 { font-size: 1.5rem; margin: 1rem 0; }
h2 { font-size: 1.125rem; margin: 1.5rem 0 0.5rem; color: var(--mu); }
.answer-body img, .answer-body video, .answer-body iframe { max-width: 100%; height: auto; }
.answer-body table { display: block; overflow-x: auto; border-collapse: collapse; }
.answer-body td, .answer-body th { border: 1px solid var(--ln); padding: 0.25rem 0.5rem; }
.answer-body pre { overflow-x: auto; white-space: pre-wrap; }
.links, .results { list-style: none; margin: 0; padding: 0; border-top: 1px solid var(--ln); }
.links li, .results li { border-bottom: 1px solid var(--ln); }
.links a { display: flex; align-items: center; min-height: 44px; padding: 0.5rem 0.25rem; text-decoration: none; }
.links a:hover { text-decoration: underline; }
.site-footer { padding-top: 1rem; padding-bottom: 2rem; border-top: 1px solid var(--ln); }
@media (min-width: 48rem) {
  body { font-size: 1.0625rem; }
  h1 { font-size: 1.75rem; }
}
)CSS"));
    return sheet;
}

QByteArray modernSearchStyle()
{
    // Only the search page shows results: its rules stay out of the sheet every page fetches.
    static const QByteArray style = compact(QByteArrayLiteral(R"CSS(.results { min-height: 100vh; }
.results li { padding: 0.75rem 0.25rem; }
.results a { display: inline-block; min-height: 44px; line-height: 1.6; padding: 0.5rem 0; font-weight: 700; }
.results .kind { margin: 0; font-size: 0.875rem; color: var(--mu); }
.results .snippet { margin: 0.25rem 0 0; }
mark { background: #ffe58a; color: #1b1b1f; border-radius: 0.15em; }
.search-status { color: var(--mu); }
@media (prefers-color-scheme: dark) { mark { background: #5a4600; color: #fff6d5; } }
)CSS"));
    return style;
}

} // namespace qadora
