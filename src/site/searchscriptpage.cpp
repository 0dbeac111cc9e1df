// SPDX-License-Identifier: GPL-3.0-or-later
// The search page's script, what the page does: loads the index's files, shows the results
// as the reader types and keeps the address following the query.
#include "searchscriptparts.h"

namespace qadora::searchscript {

QByteArray page()
{
    return QByteArrayLiteral(R"JS(  var PAGE = 20; // results a page
  // Results that fill a phone's first screen: a page is shown as final once they are.
  var FIRST = 5;

  var api = { fold: fold, words: words, grams: grams, shardOf: shardOf, postings: postings,
    intersect: intersect, matches: matches, snippet: snippet, firstAfter: firstAfter, Searcher: Searcher,
    FIRST: FIRST };
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

  function start() {
    var input = document.getElementById('q');
    var status = document.getElementById('search-status');
    var list = document.getElementById('search-results');
    var more = document.getElementById('search-more');
    if (!input || !status || !list) return;
    var searcher = new Searcher(load);
    searcher.get('qs-meta.js').catch(function () {});
    var serial = 0, statusFor = -1, query = '', next = -1, addressTimer = 0, aheadTimer = 0;

    var current = []; // the results on the page, each with its item and the words it shows
    // The rest of a list shown in part: after the next frame, or at once when asked to flush.
    var rest = null;
    function flush() {
      var f = rest;
      rest = null;
      if (f) f();
    }
    function later(f) {
      rest = f;
      var go = function () { if (rest === f) flush(); };
      if (root.requestAnimationFrame) root.requestAnimationFrame(function () { setTimeout(go, 0); });
      else setTimeout(go, 0);
    }

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
    // A text written into the node already there: a key changes what items read, and making
    // and dropping their nodes costs the browser more than that.
    function setText(node, text) {
      var t = node.firstChild;
      if (text && t && t.nodeType === 3 && !t.nextSibling) { if (t.data !== text) t.data = text; }
      else node.textContent = text;
    }
    // An item made to show another record, when it has the same parts (a kind or none).
    function reuse(li, res) {
      if ((li.childNodes.length === 3) !== !!res.kind) return false;
      var a = li.firstChild;
      if (a.getAttribute('href') !== res.file) a.href = res.file;
      setText(a, res.question);
      if (res.kind) setText(a.nextSibling, res.kind);
      return true;
    }
    // Marks the snippet anew, unless it would read and be marked as it already is (a longer
    // word often marks the same text): the pieces, joined, are what the item keeps to tell.
    // The nodes there are written into, a piece to a node, rather than made again.
    function mark(p, res, ws, shown) {
      var pieces = snippet(res.answer || res.question, ws, 90);
      var said = pieces.map(function (piece) { return (piece[1] ? '\u0001' : '\u0002') + piece[0]; }).join('');
      if (said === shown) return said;
      var node = p.firstChild;
      for (var i = 0; i < pieces.length; i++) {
        var text = pieces[i][0], marked = pieces[i][1];
        if (node && (marked ? node.nodeName === 'MARK' : node.nodeType === 3)) {
          if (marked) setText(node, text); else if (node.data !== text) node.data = text;
          node = node.nextSibling;
        } else {
          var made = marked ? document.createElement('mark') : document.createTextNode(text);
          if (marked) made.textContent = text;
          p.insertBefore(made, node);
        }
      }
      while (node) {
        var next = node.nextSibling;
        p.removeChild(node);
        node = next;
      }
      return said;
    }

    // The page's list made to show `r`: items already there for the same records are kept, and
    // their snippets marked anew only when the words changed; an item of another record is
    // written over, so a key costs the browser the text that changed rather than a new list.
    // Final once the first screen's results are:
    // the rest of the page fills in below it as its chunks arrive.
    function render(r, append) {
      var key = r.words.join('\u0000');
      if (append) flush(); else rest = null; // this answer's own rest replaces the last one's
      var at = append ? current.length : 0;
      var shown = at + r.results.length;
      function place(to) {
        for (; at < to; at++) {
          var res = r.results[at - (shown - r.results.length)];
          var old = current[at];
          if (old && old.res.id === res.id) {
            if (old.key !== key) { old.said = mark(old.li.lastChild, res, r.words, old.said); old.key = key; }
          } else if (old && reuse(old.li, res)) {
            old.said = mark(old.li.lastChild, res, r.words, old.said);
            old.res = res;
            old.key = key;
          } else {
            var li = item(res);
            var said = mark(li.lastChild, res, r.words);
            if (old) list.replaceChild(li, old.li); else list.appendChild(li);
            current[at] = { res: res, li: li, key: key, said: said };
          }
        }
        if (!append && at === shown) {
          if (!at && current.length) { list.textContent = ''; current = []; } // at once, not an item at a time
          while (current.length > at) list.removeChild(current.pop().li);
        }
      }
      // The first screen now; the items below it once that is on the screen, unless the next
      // answer (or さらに表示) comes first.
      if (append) place(shown);
      else {
        place(Math.min(shown, FIRST));
        if (at < shown) later(function () { place(shown); });
      }
      var provisional = !r.complete && r.results.length < FIRST;
      next = r.next;
      if (more) more.hidden = !r.complete || !r.more;
      var text = provisional ? '検索しています…'
        : !r.words.length ? '上の検索欄に言葉を入れて下さい。'
        : shown ? shown + (r.more || !r.complete ? '件以上' : '件') + '見つかりました。'
        : '見つかりませんでした。';
      // Each key's first answer is told; told again for that key only when it changed (its
      // word's own list arriving after a shorter word's answered it gives the same list).
      if (statusFor !== serial || status.textContent !== text) status.textContent = text;
      statusFor = serial;
    }
    // Once the page is shown: the files the next key will want, in a task of their own so that
    // asking for them does not hold up this one.
    function ahead(r) {
      clearTimeout(aheadTimer);
      aheadTimer = setTimeout(function () {
        searcher.prefetch(query);
        searcher.ahead(r, 2);
      }, 0);
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
          if (mine === serial) { render(r, true); ahead(r); }
        }, failed(mine));
        return;
      }
      // At once, from what has arrived.
      var now = searcher.now(query, PAGE);
      if (now && now.complete && now.exact) {
        render(now, false);
        ahead(now);
      } else {
        if (now) render(now, false);
        else if (current.length && ws.length) {
          flush();
          render({ words: ws, results: current.map(function (c) { return c.res; }).filter(function (res) {
            return matches(searcher.folded[res.id], ws);
          }), next: -1, more: false, complete: false }, false);
        } else if (!ws.length) {
          render({ words: ws, results: [], next: -1, more: false, complete: true }, false);
        }
        // Shown as the chunks arrive, the first results first.
        searcher.search(query, PAGE, undefined, function (p) {
          if (mine === serial) render(p, false);
        }).then(function (r) {
          if (mine === serial) { render(r, false); ahead(r); }
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
  // Started once this script has run to its end, the index's first file it carries included.
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else Promise.resolve().then(start);
})(this);
)JS");
}

} // namespace qadora::searchscript
