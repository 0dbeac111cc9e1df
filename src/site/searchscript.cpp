// SPDX-License-Identifier: GPL-3.0-or-later
// The search page's script: plain JavaScript, no library, nothing fetched from elsewhere.
// Its matching is a set of pure functions (exported when run outside a browser), so the
// tests run the very code the page runs against the index the build wrote.
#include "searchscriptparts.h"
#include "searchsite.h"

namespace qadora {

namespace searchscript {

QByteArray matching()
{
    return QByteArrayLiteral(R"JS((function (root) {
  'use strict';

  // As the window's search boxes fold a text: NFKC, then ASCII letters in lower case.
  function fold(text) {
    return text.normalize('NFKC').replace(/[A-Z]+/g, function (s) { return s.toLowerCase(); });
  }

  var SPACE = /[\t\n\v\f\r \u0085\u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+/;

  // The words of a query, folded, each once.
  function words(query) {
    var out = [];
    fold(query).split(SPACE).forEach(function (w) {
      if (w && out.indexOf(w) < 0) out.push(w);
    });
    return out;
  }

  // The pieces the index knows a word by: the word itself when it is one code unit long,
  // otherwise each pair of neighbouring code units, and each unit followed by two digits. With
  // `from`, only the pieces that end at or after that unit.
  var DIGITS = /^[\s\S][0-9]{2}$/;
  function grams(word, from) {
    if (word.length === 1) return [word];
    var out = [];
    for (var i = 0; i + 1 < word.length; i++) {
      var g = word.substr(i, 2);
      if (i + 1 >= (from || 0) && out.indexOf(g) < 0) out.push(g);
      var t = word.substr(i, 3);
      if (t.length === 3 && i + 2 >= (from || 0) && DIGITS.test(t) && out.indexOf(t) < 0) out.push(t);
    }
    return out;
  }

  function shardOf(gram, shards) {
    return gram.charCodeAt(0) % shards;
  }

  // Record numbers from their differences in base 36, or from one bit a record after a "~".
  // Into an Int32Array of the exact size: a list of tens of thousands of numbers kept outside
  // the heap the collector copies, and read without making a string a number.
  var SIX = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  var SIX_BITS = new Int8Array(128); // each character's six bits by its code
  for (var six = 0; six < SIX.length; six++) SIX_BITS[SIX.charCodeAt(six)] = six;
  var SIX_COUNT = new Int8Array(64); // the records a character holds
  for (six = 1; six < 64; six++) SIX_COUNT[six] = SIX_COUNT[six >> 1] + (six & 1);
  var DIGIT36 = new Int8Array(128).fill(-1);
  for (six = 0; six < 36; six++) DIGIT36[six.toString(36).charCodeAt(0)] = six;
  var NONE = new Int32Array(0);
  function postings(text) {
    if (!text) return NONE;
    var c, n = 0, ids;
    if (text.charCodeAt(0) === 126) { // ~
      for (c = 1; c < text.length; c++) n += SIX_COUNT[SIX_BITS[text.charCodeAt(c) & 127]];
      ids = new Int32Array(n);
      n = 0;
      for (c = 1; c < text.length; c++) {
        var bits = SIX_BITS[text.charCodeAt(c) & 127];
        for (var id = (c - 1) * 6; bits; id++, bits >>= 1) if (bits & 1) ids[n++] = id;
      }
      return ids;
    }
    n = 1;
    for (c = text.indexOf(','); c >= 0; c = text.indexOf(',', c + 1)) n++;
    ids = new Int32Array(n);
    var at = 0, sum = 0, digit = 0;
    n = 0;
    for (c = 0; c <= text.length; c++) {
      var code = c < text.length ? text.charCodeAt(c) : 44;
      if (code === 44) { sum += at; ids[n++] = sum; at = 0; } // ,
      else if ((digit = DIGIT36[code & 127]) >= 0) at = at * 36 + digit;
    }
    return ids;
  }

  // The numbers in both sorted lists. A list that is all of the shorter one is that list
  // itself: a grown word's pieces are often in every record its shorter form was.
  var scratch = new Int32Array(1024);
  function intersect(a, b) {
    var n = 0, i = 0, j = 0;
    if (a.length > b.length) { var t = a; a = b; b = t; }
    if (scratch.length < a.length) scratch = new Int32Array(a.length * 2);
    var out = scratch, an = a.length, bn = b.length;
    // A short list against a long one (a grown word's records against a common piece's): each
    // of its numbers looked for in the long one by doubling steps, not by walking all of it.
    if (an * 16 < bn) {
      for (; i < an && j < bn; i++) {
        var x = a[i], step = 1, hi = j;
        while (hi < bn && b[hi] < x) { j = hi + 1; hi += step; step *= 2; }
        if (hi > bn) hi = bn;
        while (j < hi) {
          var mid = (j + hi) >> 1;
          if (b[mid] < x) j = mid + 1; else hi = mid;
        }
        if (j < bn && b[j] === x) { out[n++] = x; j++; }
      }
    } else {
      while (i < an && j < bn) {
        var p = a[i], q = b[j];
        if (p === q) { out[n++] = p; i++; j++; }
        else if (p < q) i++;
        else j++;
      }
    }
    return n === an ? a : out.slice(0, n);
  }

  // True when every word is in the question or in the answer.
  function matches(folded, ws) {
    return ws.every(function (w) { return folded[0].indexOf(w) >= 0 || folded[1].indexOf(w) >= 0; });
  }

  // Part of a text around the first word found, as pieces [text, marked].
  // Each text folded a character at a time, with where each folded unit came from: made
  // once per text, as the same results are shown again on every key.
  var JOINS = /[\u0300-\u036f\u3099-\u309c\uff9e\uff9f]/;
  var foldedAt = {};
  var foldedCount = 0;
  var foldOne = new Map(); // each character's fold: NFKC asked once a character
  function foldWithPlaces(text) {
    var known = foldedAt[text];
    if (known) return known;
    var folded = '';
    var from = [];
    for (var i = 0; i < text.length;) {
      var step = text.codePointAt(i) > 0xffff ? 2 : 1;
      // A character with the marks that follow it: NFKC joins them (ﾊﾟ is パ).
      while (i + step < text.length && JOINS.test(text.charAt(i + step))) step++;
      var c = text.substr(i, step);
      // ASCII folds without NFKC.
      var f = step === 1 && c < '\u00a0' ? (c >= 'A' && c <= 'Z' ? c.toLowerCase() : c) : foldOne.get(c);
      if (f === undefined) foldOne.set(c, (f = fold(c)));
      for (var k = 0; k < f.length; k++) from.push(i);
      folded += f;
      i += step;
    }
    from.push(text.length);
    if (++foldedCount > 2000) { foldedAt = {}; foldedCount = 0; }
    return (foldedAt[text] = { folded: folded, from: from });
  }

  function snippet(text, ws, length) {
    var places = foldWithPlaces(text);
    var folded = places.folded;
    var from = places.from;
    var marks = [];
    ws.forEach(function (w) {
      for (var at = folded.indexOf(w); at >= 0; at = folded.indexOf(w, at + w.length)) {
        marks.push([from[at], from[at + w.length] !== undefined ? from[at + w.length] : text.length]);
      }
    });
    marks.sort(function (a, b) { return a[0] - b[0]; });
    var start = marks.length ? Math.max(0, marks[0][0] - Math.floor(length / 4)) : 0;
    var end = Math.min(text.length, start + length);
    var pieces = [];
    if (start > 0) pieces.push(['…', false]);
    var pos = start;
    marks.forEach(function (m) {
      if (m[0] < pos || m[0] >= end) return;
      if (m[0] > pos) pieces.push([text.slice(pos, m[0]), false]);
      pieces.push([text.slice(m[0], Math.min(m[1], end)), true]);
      pos = Math.min(m[1], end);
    });
    if (pos < end) pieces.push([text.slice(pos, end), false]);
    if (end < text.length) pieces.push(['…', false]);
    return pieces;
  }

)JS");
}

} // namespace searchscript

QByteArray searchScript()
{
    // Shipped without the lines that are only comments: a phone parses less.
    QByteArray out;
    const QByteArray source = searchscript::matching() + searchscript::searcher() + searchscript::page();
    for (const QByteArray& line : source.split('\n')) {
        if (!line.trimmed().startsWith("//") && !line.isEmpty())
            out += line + '\n';
    }
    return out;
}

} // namespace qadora
