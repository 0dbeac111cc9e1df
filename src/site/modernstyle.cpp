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
    static const QByteArray sheet = compact(QByteArrayLiteral(R"CSS(:root {
  color-scheme: light dark;
  --text: #1b1b1f;
  --muted: #4a4a55;
  --background: #ffffff;
  --surface: #f3f4f7;
  --line: #d5d7de;
  --link: #0842a0;
  --visited: #6a3ab2;
  --accent: #0842a0;
  --mark: #ffe58a;
  --mark-text: #1b1b1f;
}
@media (prefers-color-scheme: dark) {
  :root {
    --text: #e8e8ec;
    --muted: #b7b8c2;
    --background: #15161a;
    --surface: #22242b;
    --line: #3a3d47;
    --link: #8ab4f8;
    --visited: #c9a7ff;
    --accent: #8ab4f8;
    --mark: #5a4600;
    --mark-text: #fff6d5;
  }
}
*, *::before, *::after { box-sizing: border-box; }
html {
  -webkit-text-size-adjust: 100%;
  text-size-adjust: 100%;
}
body {
  margin: 0;
  background: var(--background);
  color: var(--text);
  font-family: system-ui, -apple-system, BlinkMacSystemFont, "Hiragino Sans", "Hiragino Kaku Gothic ProN",
    "Noto Sans JP", "Noto Sans CJK JP", "Yu Gothic UI", "Yu Gothic", Meiryo, sans-serif;
  font-size: 1rem;
  line-height: 1.8;
  line-break: strict;
  overflow-wrap: anywhere;
  word-break: normal;
}
a { color: var(--link); text-underline-offset: 0.2em; }
a:visited { color: var(--visited); }
a:focus-visible, button:focus-visible, input:focus-visible { outline: 3px solid var(--accent); outline-offset: 2px; }
.skip {
  position: absolute;
  left: 0.5rem;
  top: -4rem;
  padding: 0.5rem 1rem;
  background: var(--background);
  z-index: 1;
}
.skip:focus { top: 0.5rem; }
.visually-hidden {
  position: absolute !important;
  width: 1px;
  height: 1px;
  overflow: hidden;
  clip: rect(0 0 0 0);
  clip-path: inset(50%);
  white-space: nowrap;
}
.site-header, .breadcrumb, main, .site-footer {
  max-width: 44rem;
  margin: 0 auto;
  padding-left: 1rem;
  padding-right: 1rem;
}
.site-header {
  display: flex;
  flex-wrap: wrap;
  align-items: center;
  gap: 0.5rem 1rem;
  padding-top: 0.75rem;
  padding-bottom: 0.75rem;
  border-bottom: 1px solid var(--line);
}
.site-title { margin: 0; font-weight: 700; flex: 1 1 12rem; }
.site-title a { color: var(--text); text-decoration: none; display: inline-block; min-height: 44px; line-height: 44px; }
.search { display: flex; flex: 1 1 16rem; gap: 0.5rem; margin: 0; }
.search input {
  flex: 1 1 auto;
  min-width: 0;
  min-height: 44px;
  padding: 0.4rem 0.75rem;
  font: inherit;
  color: var(--text);
  background: var(--background);
  border: 1px solid var(--muted);
  border-radius: 0.5rem;
}
button {
  min-height: 44px;
  padding: 0.4rem 1rem;
  font: inherit;
  color: #ffffff;
  background: #0842a0;
  border: 0;
  border-radius: 0.5rem;
  cursor: pointer;
}
.breadcrumb ol {
  display: flex;
  flex-wrap: wrap;
  margin: 0;
  padding: 0.5rem 0;
  list-style: none;
  font-size: 0.875rem;
  color: var(--muted);
}
.breadcrumb li + li::before { content: "›"; padding: 0 0.5em; }
.breadcrumb a { display: inline-block; min-height: 44px; line-height: 44px; }
.breadcrumb li[aria-current] { display: flex; align-items: center; min-height: 44px; }
main { padding-bottom: 2rem; }
main > *, .answer-body { max-width: 40em; }
h1 { font-size: 1.5rem; line-height: 1.5; margin: 1rem 0; }
h2 { font-size: 1.125rem; line-height: 1.5; margin: 1.5rem 0 0.5rem; color: var(--muted); }
.answer-body img, .answer-body video, .answer-body iframe { max-width: 100%; height: auto; }
.answer-body table { display: block; max-width: 100%; overflow-x: auto; border-collapse: collapse; }
.answer-body td, .answer-body th { border: 1px solid var(--line); padding: 0.25rem 0.5rem; }
.answer-body pre { overflow-x: auto; white-space: pre-wrap; }
.links, .results { list-style: none; margin: 0; padding: 0; border-top: 1px solid var(--line); }
.links li, .results li { border-bottom: 1px solid var(--line); }
.links a {
  display: flex;
  align-items: center;
  min-height: 44px;
  padding: 0.5rem 0.25rem;
  text-decoration: none;
}
.links a:hover { text-decoration: underline; }
.results { min-height: 100vh; }
.results li { padding: 0.75rem 0.25rem; }
.results a { display: inline-block; min-height: 44px; line-height: 1.6; padding: 0.5rem 0; font-weight: 700; }
.results .kind { margin: 0; font-size: 0.875rem; color: var(--muted); }
.results .snippet { margin: 0.25rem 0 0; }
mark { background: var(--mark); color: var(--mark-text); border-radius: 0.15em; }
.search-status { color: var(--muted); }
.site-footer {
  padding-top: 1rem;
  padding-bottom: 2rem;
  border-top: 1px solid var(--line);
}
.site-footer a { display: inline-block; min-height: 44px; line-height: 44px; }
@media (min-width: 48rem) {
  body { font-size: 1.0625rem; }
  h1 { font-size: 1.75rem; }
}
)CSS"));
    return sheet;
}

} // namespace qadora
