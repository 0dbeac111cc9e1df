// SPDX-License-Identifier: GPL-3.0-or-later
// What the search page of a modern site fetches and computes for queries typed a key at a
// time: gzip bytes fetched before the first results (the page, its stylesheet and script
// included), and the time of each key once its files are there. Run with node:
//   node bench/search_fetch.js SITE_DIR [query...]
// The times are node's on this machine, without a browser's CPU slowdown.
'use strict';
const fs = require('fs'), path = require('path'), vm = require('vm'), zlib = require('zlib');
const [dir, ...given] = process.argv.slice(2);
const queries = given.length ? given : ['パスワード変更', 'ﾛｸﾞｲﾝ', 'wi-fi', '領収書 注文', '受付番号123'];
const api = require(path.join(dir, 'qadora-search.js'));
const gz = (name) => zlib.gzipSync(fs.readFileSync(path.join(dir, name)), { level: 9 }).length;
const pageBytes = gz('search.html') + gz('qadora.css') + gz('qadora-search.js');
console.log('query'.padEnd(16), 'KB before first result'.padStart(24), 'first key ms'.padStart(14), 'later keys ms (max)'.padStart(20));
(async () => {
  for (const q of queries) {
    const fetched = new Set();
    const load = (name) => { fetched.add(name); return new Promise((resolve) => {
      vm.runInNewContext(fs.readFileSync(path.join(dir, name), 'utf8'), { qadoraLoaded: (n, d) => resolve(d) });
    }); };
    const s = new api.Searcher(load);
    let first = 0, later = 0, firstBytes = 0;
    const chars = Array.from(q);
    for (let i = 1; i <= chars.length; i++) {
      const t = process.hrtime.bigint();
      await s.search(chars.slice(0, i).join(''), 20);
      const ms = Number(process.hrtime.bigint() - t) / 1e6;
      if (i === 1) {
        first = ms;
        firstBytes = pageBytes + [...fetched].reduce((a, n) => a + gz(n), 0);
      } else {
        // Only the computing: the files the key needs are fetched once, as a browser caches them.
        const t2 = process.hrtime.bigint();
        await s.search(chars.slice(0, i).join(''), 20);
        later = Math.max(later, Number(process.hrtime.bigint() - t2) / 1e6);
      }
    }
    console.log(q.padEnd(16), (firstBytes / 1024).toFixed(1).padStart(24), first.toFixed(1).padStart(14), later.toFixed(2).padStart(20));
  }
})();
