// SPDX-License-Identifier: GPL-3.0-or-later
// The search page's script: plain JavaScript, no library, nothing fetched from elsewhere.
// Its matching is a set of pure functions (exported when run outside a browser), so the
// tests run the very code the page runs against the index the build wrote.
#include "searchsite.h"

namespace qadora {

namespace {

QByteArray scriptSource()
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
  var SIX = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  function postings(text) {
    var ids = [];
    if (!text) return ids;
    if (text.charAt(0) === '~') {
      for (var c = 1; c < text.length; c++) {
        var bits = SIX.indexOf(text.charAt(c));
        for (var b = 0; bits; b++, bits >>= 1) if (bits & 1) ids.push((c - 1) * 6 + b);
      }
      return ids;
    }
    var id = 0;
    var parts = text.split(',');
    for (var i = 0; i < parts.length; i++) {
      id = (i ? id : 0) + parseInt(parts[i], 36);
      ids.push(id);
    }
    return ids;
  }

  function intersect(a, b) {
    var out = [];
    var i = 0, j = 0;
    while (i < a.length && j < b.length) {
      if (a[i] === b[j]) { out.push(a[i]); i++; j++; }
      else if (a[i] < b[j]) i++;
      else j++;
    }
    return out;
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
      // Most characters fold to themselves; NFKC is asked only about the others.
      var f = step === 1 && c < '\u00a0' ? (c >= 'A' && c <= 'Z' ? c.toLowerCase() : c) : fold(c);
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

  // The first position in sorted `ids` holding a number above `after`.
  function firstAfter(ids, after) {
    var lo = 0, hi = ids.length;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (ids[mid] <= after) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  // A search over the index files that `load` gives (by name, as a promise of their data).
  function Searcher(load) {
    this.load = load;
    this.files = {};
    this.data = {}; // the files that have arrived, by name
    this.folded = {};
    this.lists = {}; // each word's candidates, decoded once: the next key reuses them
  }
  Searcher.prototype.get = function (name) {
    var files = this.files, data = this.data;
    if (!files[name]) {
      files[name] = this.load(name).then(function (d) { data[name] = d; return d; },
        function (e) { delete files[name]; throw e; });
    }
    return files[name];
  };
  Searcher.prototype.chunkName = function (id) {
    return 'qs-d' + Math.floor(id / this.data['qs-meta.js'].chunk) + '.js';
  };
  Searcher.prototype.piece = function (g, meta) {
    var self = this;
    if (self.lists['g' + g]) return self.lists['g' + g];
    return self.get('qs-g' + shardOf(g, meta.shards) + '.js').then(function (shard) {
      return (self.lists['g' + g] = postings(Object.prototype.hasOwnProperty.call(shard, g) ? shard[g] : ''));
    });
  };
  Searcher.prototype.candidates = function (ws) {
    var self = this;
    return self.get('qs-meta.js').then(function (meta) {
      return Promise.all(ws.map(function (w) {
        if (self.lists['w' + w]) return self.lists['w' + w];
        // A word one key longer than one already found: those records, with its last pieces.
        var shorter = w.length > 2 && self.lists['w' + w.slice(0, -1)];
        var gs = shorter ? grams(w, w.length - 1) : grams(w);
        return Promise.all(gs.map(function (g) { return self.piece(g, meta); })).then(function (lists) {
          // The shortest first: each step then walks less.
          if (shorter) lists.push(shorter);
          lists.sort(function (a, b) { return a.length - b.length; });
          return (self.lists['w' + w] = lists.reduce(intersect));
        });
      })).then(function (lists) {
        self.prefetch(ws, meta);
        lists.sort(function (a, b) { return a.length - b.length; });
        return { meta: meta, ids: lists.reduce(intersect) };
      });
    });
  };
  // The next key makes pieces ending in it, which start with each word's last character or
  // (after a digit) the one before: those shards are fetched now, while the reader types.
  Searcher.prototype.prefetch = function (ws, meta) {
    var self = this;
    ws.forEach(function (w) {
      var from = /[0-9]$/.test(w) ? Math.max(0, w.length - 2) : w.length - 1;
      for (var i = from; i < w.length; i++) {
        self.get('qs-g' + shardOf(w.charAt(i), meta.shards) + '.js').catch(function () {});
      }
    });
  };
  // The record `id` as a result when it holds every word; null when it does not, undefined
  // when its chunk has not arrived.
  Searcher.prototype.check = function (id, ws) {
    var meta = this.data['qs-meta.js'];
    var chunk = this.data['qs-d' + Math.floor(id / meta.chunk) + '.js'];
    if (!chunk) return undefined;
    var doc = chunk[id % meta.chunk];
    var f = this.folded[id] || (this.folded[id] = [fold(doc[2]), fold(doc[3])]);
    if (!matches(f, ws)) return null;
    var kind = meta.kinds[doc[0]] || ['', ''];
    return { id: id, file: doc[1], question: doc[2], answer: doc[3], kind: kind[1], kindFile: kind[0] };
  };
  // Without fetching anything: the records a list already decoded for a shorter query holds
  // (every record holding the words of this one is in it), checked against the chunks that
  // have arrived. `complete` when no chunk was missing before `limit` results or the list's end.
  Searcher.prototype.quick = function (query, limit, after) {
    var ws = words(query);
    if (!ws.length || !this.data['qs-meta.js']) return null;
    var best = null;
    for (var i = 0; i < ws.length; i++) {
      for (var n = ws[i].length; n > 0; n--) {
        var l = this.lists['w' + ws[i].slice(0, n)];
        if (l) { if (!best || l.length < best.length) best = l; break; }
      }
    }
    if (!best) return null;
    var results = [], pos = firstAfter(best, after === undefined ? -1 : after), next = after === undefined ? -1 : after;
    for (; pos < best.length && results.length < limit; pos++) {
      var r = this.check(best[pos], ws);
      if (r === undefined) return { words: ws, results: results, next: next, more: true, complete: false };
      if (r) results.push(r);
      next = best[pos];
    }
    return { words: ws, results: results, next: next, more: pos < best.length, complete: true, ids: best, pos: pos };
  };
  // The first `limit` records numbered above `after` (none: from the first) that hold every
  // word of the query; `next` is where the following page starts. `progress`, when given, is
  // told the results found so far whenever a chunk arrives: the first of them, in order.
  Searcher.prototype.search = function (query, limit, after, progress) {
    var self = this;
    var ws = words(query);
    if (after === undefined) after = -1;
    if (!ws.length) return Promise.resolve({ words: ws, results: [], next: after, more: false });
    return self.candidates(ws).then(function (c) {
      var ids = c.ids, results = [], pos = firstAfter(ids, after), next = after;
      function step() {
        if (results.length >= limit || pos >= ids.length) {
          return { words: ws, results: results, next: next, more: pos < ids.length, ids: ids, pos: pos };
        }
        var batch = ids.slice(pos, pos + Math.max(limit - results.length, 8));
        var names = [];
        batch.forEach(function (id) {
          var n = self.chunkName(id);
          if (names.indexOf(n) < 0) names.push(n);
        });
        var shownUpTo = -1;
        function partial() {
          // The records before the first one whose chunk is still missing.
          var found = results.slice(), b = 0;
          for (; b < batch.length && found.length < limit; b++) {
            var r = self.check(batch[b], ws);
            if (r === undefined) break;
            if (r) found.push(r);
          }
          if (b > shownUpTo && found.length > results.length) {
            shownUpTo = b;
            progress({ words: ws, results: found, next: -1, more: true });
          }
        }
        return Promise.all(names.map(function (n) {
          var got = self.get(n);
          return progress ? got.then(function (d) { partial(); return d; }) : got;
        })).then(function () {
          for (var b = 0; b < batch.length && results.length < limit; b++) {
            var r = self.check(batch[b], ws);
            pos++;
            next = batch[b];
            if (r) results.push(r);
          }
          return step();
        });
      }
      return step();
    });
  };
  // After a result: the chunks of the next records of the list it came from, so that the
  // next key, whose records are among them, can be answered without waiting.
  Searcher.prototype.ahead = function (r, count) {
    if (!r || !r.ids) return;
    var names = [];
    for (var i = r.pos; i < r.ids.length && names.length < count; i++) {
      var n = this.chunkName(r.ids[i]);
      if (!this.files[n] && names.indexOf(n) < 0) names.push(n);
    }
    var self = this;
    names.forEach(function (n) { self.get(n).catch(function () {}); });
  };

  var api = { fold: fold, words: words, grams: grams, shardOf: shardOf, postings: postings,
    intersect: intersect, matches: matches, snippet: snippet, firstAfter: firstAfter, Searcher: Searcher };
  if (typeof module !== 'undefined' && module.exports) {
    module.exports = api;
    return;
  }

  // The page: the index's files are scripts that hand their data to qadoraLoaded.
  var waiting = {};
  var carried = {}; // files this script brought along, the first of the index among them
  root.qadoraLoaded = function (name, data) {
    var w = waiting[name];
    if (w) { delete waiting[name]; w(data); }
    else carried[name] = data;
  };
  function loadScript(name, src) {
    return new Promise(function (resolve, reject) {
      waiting[name] = resolve;
      var s = document.createElement('script');
      s.src = src;
      s.async = true;
      s.onerror = function () { delete waiting[name]; reject(new Error(name)); };
      document.head.appendChild(s);
    });
  }

  // Every file by an address that changes with its content: the first from the page, the
  // others from the versions the first lists.
  var self = document.currentScript;
  var metaLink = (self && self.getAttribute('data-index')) || 'qs-meta.js';
  var versions = null;
  function load(name) {
    if (name === 'qs-meta.js') {
      if (carried[name]) return Promise.resolve((versions = carried[name]));
      return loadScript(name, metaLink).then(function (meta) { versions = meta; return meta; });
    }
    var m = /^qs-([gd])(\d+)\.js$/.exec(name);
    var v = m && versions && versions.v ? versions.v[(m[1] === 'd' ? versions.shards : 0) + Number(m[2])] : '';
    return loadScript(name, v ? name + '?v=' + v : name);
  }

  var PAGE = 20;
  function start() {
    var input = document.getElementById('q');
    var status = document.getElementById('search-status');
    var list = document.getElementById('search-results');
    var more = document.getElementById('search-more');
    if (!input || !status || !list) return;
    var searcher = new Searcher(load);
    var serial = 0, shown = 0, query = '', next = -1, addressTimer = 0;

    var current = []; // the results on the page, each with its item and the words it shows

    // One result's item: its link, kind and snippet.
    function item(res) {
      var li = document.createElement('li');
      var a = document.createElement('a');
      a.href = res.file;
      a.textContent = res.question;
      li.appendChild(a);
      if (res.kind) {
        var k = document.createElement('p');
        k.className = 'kind';
        k.textContent = res.kind;
        li.appendChild(k);
      }
      var p = document.createElement('p');
      p.className = 'snippet';
      li.appendChild(p);
      return li;
    }
    function mark(p, res, ws) {
      p.textContent = '';
      snippet(res.answer || res.question, ws, 90).forEach(function (piece) {
        if (piece[1]) {
          var m = document.createElement('mark');
          m.textContent = piece[0];
          p.appendChild(m);
        } else {
          p.appendChild(document.createTextNode(piece[0]));
        }
      });
    }

    // The page's list made to show `r`: items already there for the same records are kept, and
    // their snippets marked anew only when the words changed, so a key costs the browser the
    // items that changed rather than a new list.
    function render(r, append, provisional) {
      var key = r.words.join('\u0000');
      var at = append ? current.length : 0;
      r.results.forEach(function (res) {
        var old = current[at];
        if (old && old.res.id === res.id) {
          if (old.key !== key) { mark(old.li.lastChild, res, r.words); old.key = key; }
        } else {
          var li = item(res);
          mark(li.lastChild, res, r.words);
          if (old) list.replaceChild(li, old.li); else list.appendChild(li);
          current[at] = { res: res, li: li, key: key };
        }
        at++;
      });
      if (!append) {
        while (current.length > at) list.removeChild(current.pop().li);
      }
      shown = current.length;
      next = r.next;
      if (more) more.hidden = provisional || !r.more;
      status.textContent = provisional ? '検索しています…'
        : !r.words.length ? '上の検索欄に言葉を入れて下さい。'
        : shown ? shown + (r.more ? '件以上' : '件') + '見つかりました。'
        : '見つかりませんでした。';
    }

    function failed(mine) {
      return function () { if (mine === serial) status.textContent = '検索の準備ができませんでした。'; };
    }
    function run(append) {
      var mine = ++serial;
      query = input.value;
      var ws = words(query);
      if (append) {
        searcher.search(query, PAGE, next).then(function (r) {
          if (mine === serial) { render(r, true, false); searcher.ahead(r, 2); }
        }, failed(mine));
        return;
      }
      // At once, from what has arrived: a query that grew is answered from the records its
      // shorter form had, checked against the chunks already here.
      var quick = searcher.quick(query, PAGE);
      if (quick && quick.complete) {
        render(quick, false, false);
        // Then the lists of its own words, for the keys to come, and the chunks they will want.
        searcher.search(query, PAGE).then(function (r) { if (mine === serial) searcher.ahead(r, 2); }, function () {});
      } else {
        if (quick) render(quick, false, true);
        else if (current.length && ws.length) {
          render({ words: ws, results: current.map(function (c) { return c.res; }).filter(function (res) {
            return matches(searcher.folded[res.id], ws);
          }), next: -1, more: false }, false, true);
        }
        // Shown as the chunks arrive, the first results first.
        searcher.search(query, PAGE, undefined, function (p) {
          if (mine === serial) render(p, false, true);
        }).then(function (r) {
          if (mine === serial) { render(r, false, false); searcher.ahead(r, 2); }
        }, failed(mine));
      }
      // The address follows the query once the reader pauses: changing it takes the browser
      // longer than the search itself.
      if (!append && root.history && root.history.replaceState) {
        clearTimeout(addressTimer);
        addressTimer = setTimeout(function () {
          root.history.replaceState(null, '', query ? '?q=' + encodeURIComponent(query) : root.location.pathname);
        }, 500);
      }
    }

    var params = new URLSearchParams(root.location.search);
    if (params.has('q')) input.value = params.get('q');
    input.addEventListener('input', function () { run(false); });
    if (input.form) input.form.addEventListener('submit', function (e) { e.preventDefault(); run(false); });
    if (more) more.addEventListener('click', function () { run(true); });
    if (input.value) run(false);
    input.focus();
  }
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})(this);
)JS");
}

} // namespace

QByteArray searchScript()
{
    // Shipped without the lines that are only comments: a phone parses less.
    QByteArray out;
    for (const QByteArray& line : scriptSource().split('\n')) {
        if (!line.trimmed().startsWith("//") && !line.isEmpty())
            out += line + '\n';
    }
    return out;
}

} // namespace qadora
