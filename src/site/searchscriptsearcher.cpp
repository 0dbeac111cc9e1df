// SPDX-License-Identifier: GPL-3.0-or-later
// The search page's script, its search over the index files: the candidates from the shards,
// checked against the chunks of records, with whatever has arrived used at once.
#include "searchscriptparts.h"

namespace qadora::searchscript {

QByteArray searcher()
{
    return QByteArrayLiteral(R"JS(  // The first position in sorted `ids` holding a number above `after`.
  function firstAfter(ids, after) {
    var lo = 0, hi = ids.length;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (ids[mid] <= after) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  function shortestFirst(a, b) { return a.length - b.length; }

  // A search over the index files that `load` gives (by name, as a promise of their data).
  // Whatever has arrived is used at once: a key whose files are here is answered without
  // waiting for anything, which is what the files fetched ahead are for.
  function Searcher(load) {
    this.load = load;
    this.files = {};
    this.data = {}; // the files that have arrived, by name
    this.folded = {};
    this.lists = {}; // each piece's and word's records, decoded once: the next key reuses them
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
  Searcher.prototype.shardName = function (g) {
    return 'qs-g' + shardOf(g, this.data['qs-meta.js'].shards) + '.js';
  };
  // The pieces a word is found by: with the records of the word one unit shorter already
  // known, only the pieces that end in its last unit.
  Searcher.prototype.wordPieces = function (w) {
    var shorter = w.length > 2 && this.lists['w' + w.slice(0, -1)];
    return { shorter: shorter, pieces: shorter ? grams(w, w.length - 1) : grams(w) };
  };
  // The records of a piece, of a word, of every word: from the shards that have arrived, or
  // null when one they need has not.
  Searcher.prototype.pieceNow = function (g) {
    var l = this.lists['g' + g];
    if (l) return l;
    var shard = this.data[this.shardName(g)];
    if (!shard) return null;
    return (this.lists['g' + g] = postings(Object.prototype.hasOwnProperty.call(shard, g) ? shard[g] : ''));
  };
  Searcher.prototype.wordNow = function (w) {
    if (this.lists['w' + w]) return this.lists['w' + w];
    var p = this.wordPieces(w), lists = [];
    for (var i = 0; i < p.pieces.length; i++) {
      var l = this.pieceNow(p.pieces[i]);
      if (!l) return null;
      lists.push(l);
    }
    if (p.shorter) lists.push(p.shorter);
    lists.sort(shortestFirst); // each step then walks less
    return (this.lists['w' + w] = lists.reduce(intersect));
  };
  Searcher.prototype.candidatesNow = function (ws) {
    if (!this.data['qs-meta.js']) return null;
    var lists = [];
    for (var i = 0; i < ws.length; i++) {
      var l = this.wordNow(ws[i]);
      if (!l) return null;
      lists.push(l);
    }
    lists.sort(shortestFirst);
    return lists.reduce(intersect);
  };
  // The candidates once the shards they need have arrived.
  Searcher.prototype.candidates = function (ws) {
    var self = this;
    return self.get('qs-meta.js').then(function () {
      var names = [];
      ws.forEach(function (w) {
        if (self.lists['w' + w]) return;
        self.wordPieces(w).pieces.forEach(function (g) {
          var n = self.shardName(g);
          if (!self.lists['g' + g] && names.indexOf(n) < 0) names.push(n);
        });
      });
      return Promise.all(names.map(function (n) { return self.get(n); }));
    }).then(function () { return self.candidatesNow(ws); });
  };
  // The next key makes pieces ending in it, which start with each word's last character or
  // (after a digit) the one before: those shards are fetched while the reader types.
  Searcher.prototype.prefetch = function (query) {
    var self = this;
    if (!self.data['qs-meta.js']) return;
    words(query).forEach(function (w) {
      var from = /[0-9]$/.test(w) ? Math.max(0, w.length - 2) : w.length - 1;
      for (var i = from; i < w.length; i++) self.get(self.shardName(w.charAt(i))).catch(function () {});
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
  // The records of `ids` from `pos` on that hold every word, up to `limit`, from the chunks
  // that have arrived: `complete` when none was missing before `limit` results or the end.
  Searcher.prototype.scan = function (ws, ids, pos, limit, after) {
    var results = [], next = after;
    for (; pos < ids.length && results.length < limit; pos++) {
      var r = this.check(ids[pos], ws);
      if (r === undefined) return { words: ws, results: results, next: next, more: true, complete: false, ids: ids, pos: pos };
      if (r) results.push(r);
      next = ids[pos];
    }
    return { words: ws, results: results, next: next, more: pos < ids.length, complete: true, ids: ids, pos: pos };
  };
  // Without fetching anything: the query's records from the shards and chunks that have
  // arrived. With a shard missing, the records of a list decoded for a shorter query stand in
  // (every record holding this one's words is in it). Null when there is nothing to go by.
  Searcher.prototype.now = function (query, limit, after) {
    var ws = words(query);
    if (after === undefined) after = -1;
    if (!ws.length || !this.data['qs-meta.js']) return null;
    var exact = this.candidatesNow(ws), ids = exact;
    for (var i = 0; !ids && i < ws.length; i++) {
      for (var n = ws[i].length; n > 0; n--) {
        var l = this.lists['w' + ws[i].slice(0, n)];
        if (l) { if (!ids || l.length < ids.length) ids = l; break; }
      }
    }
    if (!ids) return null;
    var r = this.scan(ws, ids, firstAfter(ids, after), limit, after);
    r.exact = !!exact; // false: the lists of its own words are still to come
    return r;
  };
  // The first `limit` records numbered above `after` (none: from the first) that hold every
  // word of the query; `next` is where the following page starts. `progress`, when given, is
  // told the results found so far whenever a chunk arrives: the first of them, in order.
  Searcher.prototype.search = function (query, limit, after, progress) {
    var self = this;
    var ws = words(query);
    if (after === undefined) after = -1;
    if (!ws.length) return Promise.resolve({ words: ws, results: [], next: after, more: false, complete: true });
    return self.candidates(ws).then(function (ids) {
      var results = [], pos = firstAfter(ids, after), next = after;
      function step() {
        var s = self.scan(ws, ids, pos, limit - results.length, next);
        results = results.concat(s.results);
        pos = s.pos;
        next = s.next;
        if (s.complete) return { words: ws, results: results, next: next, more: s.more, complete: true, ids: ids, pos: pos };
        // Every chunk the rest of the page may need, asked for at once.
        var names = [];
        for (var b = pos; b < ids.length && b < pos + Math.max(limit - results.length, 8); b++) {
          var n = self.chunkName(ids[b]);
          if (!self.data[n] && names.indexOf(n) < 0) names.push(n);
        }
        var shown = results.length;
        return Promise.all(names.map(function (n) {
          return self.get(n).then(function (d) {
            if (!progress) return d;
            var p = self.scan(ws, ids, pos, limit - results.length, next);
            if (p.results.length && results.length + p.results.length > shown) {
              shown = results.length + p.results.length;
              progress({ words: ws, results: results.concat(p.results), next: p.next, more: true, complete: p.complete,
                ids: ids, pos: p.pos });
            }
            return d;
          });
        })).then(step);
      }
      return step();
    });
  };
  // After a result: the chunks of the next records of the list it came from, so that the
  // next key, whose records are among them, can be answered without waiting. `count` is in
  // chunks of 64 records: smaller chunks are asked for more of them, the same text ahead.
  Searcher.prototype.ahead = function (r, count) {
    if (!r || !r.ids) return;
    var names = [], most = Math.max(1, Math.round(count * 64 / this.data['qs-meta.js'].chunk));
    for (var i = r.pos; i < r.ids.length && names.length < most; i++) {
      var n = this.chunkName(r.ids[i]);
      if (!this.files[n] && names.indexOf(n) < 0) names.push(n);
    }
    var self = this;
    names.forEach(function (n) { self.get(n).catch(function () {}); });
  };

)JS");
}

} // namespace qadora::searchscript
