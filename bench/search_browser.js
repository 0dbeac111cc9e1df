// SPDX-License-Identifier: GPL-3.0-or-later
// The site search in headless Chromium as a phone runs it: 390×844, the CPU slowed 4× (as
// Lighthouse's mobile preset does), the site served over loopback. For each query typed a key
// at a time it prints the gzip bytes of the files fetched before the first results were shown
// (page, stylesheet and script included), the time from the first key to its results, and the
// slowest of the later keys, typed QADORA_KEY_GAP_MS (150) apart: to the first change of the
// list, to the list being final (its first screen; the status no longer 「…」), and to the last
// change of the status before the next key (the rest of the first page filled in below).
// Run through bench/search_browser.sh.
'use strict';
const fs = require('fs'), path = require('path'), zlib = require('zlib');
const { launch, phonePage } = require('./phone');
const [url, dir, ...given] = process.argv.slice(2);
// A person's keys come about this far apart (a fast typist's); the page may use the pause.
const gap = Number(process.env.QADORA_KEY_GAP_MS || 150);
const queries = given.length ? given : ['パスワード変更', 'ﾛｸﾞｲﾝ', 'wi-fi', '領収書 注文', '受付番号123'];
const gz = (name) => {
  try { return zlib.gzipSync(fs.readFileSync(path.join(dir, decodeURIComponent(name))), { level: 9 }).length; } catch { return 0; }
};

(async () => {
  const browser = await launch();
  console.log('query'.padEnd(16), 'KB gzip before first'.padStart(22), 'first key ms'.padStart(14),
    'later: update ms (max)'.padStart(24), 'later: complete ms (max)'.padStart(26), 'later: filled ms (max)'.padStart(24),
    'delivery (max)'.padStart(14));
  for (const q of queries) {
    const { page } = await phonePage(browser);
    const fetched = new Set();
    page.on('request', (r) => fetched.add(new URL(r.url()).pathname.slice(1)));
    await page.goto(url + '/search.html', { waitUntil: 'load' });
    await page.evaluate(() => {
      window.__shown = [];
      window.__done = [];
      window.__keys = [];
      // When each key reached the page (its input event), before the page's own handler.
      window.addEventListener('input', (e) => window.__keys.push(e.timeStamp), true);
      const status = document.getElementById('search-status');
      new MutationObserver(() => {
        window.__shown.push(performance.now());
        if (!status.textContent.endsWith('…')) window.__done.push(performance.now());
      })
        .observe(document.getElementById('search-status'), { childList: true, characterData: true, subtree: true });
    });
    await page.focus('#q');
    let first = 0, later = 0, complete = 0, filled = 0, firstBytes = 0, transport = 0, lastKey = 0;
    const chars = Array.from(q);
    for (let i = 0; i < chars.length; i++) {
      if (i > 0) await new Promise((r) => setTimeout(r, gap));
      const [before, done, last, keys] = await page.evaluate(() => [window.__shown.length, window.__done.length,
        window.__done[window.__done.length - 1], window.__keys.length]);
      // The previous later key's last status change, read just before this key.
      if (lastKey) filled = Math.max(filled, last - lastKey);
      const t = await page.evaluate(() => performance.now());
      await page.keyboard.sendCharacter(chars[i]);
      await page.waitForFunction((n, k) => window.__done.length > n && window.__keys.length > k
        && window.__done[window.__done.length - 1] >= window.__keys[window.__keys.length - 1], { polling: 'mutation' }, done, keys);
      // The first final status after the key, not the last one seen: by the time this is read
      // the rest of the page may have filled in, which is the next column's figure.
      const [update, finished, key] = await page.evaluate((n) => {
        const key = window.__keys[window.__keys.length - 1];
        return [window.__shown[n], window.__done.find((t) => t >= key), key];
      }, before);
      // From the key's arrival in the page: the time the tool takes to deliver it is not the page's.
      const ms = update - key;
      transport = Math.max(transport, key - t);
      if (i === 0) {
        first = ms;
        firstBytes = [...fetched].reduce((a, n) => a + gz(n || 'index.html'), 0);
      } else {
        later = Math.max(later, ms);
        complete = Math.max(complete, finished - key);
        lastKey = key;
      }
    }
    await new Promise((r) => setTimeout(r, gap));
    filled = Math.max(filled, (await page.evaluate(() => window.__done[window.__done.length - 1])) - lastKey);
    console.log(q.padEnd(16), (firstBytes / 1024).toFixed(1).padStart(22), first.toFixed(0).padStart(14),
      later.toFixed(1).padStart(24), complete.toFixed(1).padStart(26), filled.toFixed(1).padStart(24),
      transport.toFixed(1).padStart(14));
    await page.close();
  }
  await browser.close();
})().catch((e) => { console.error(e); process.exit(1); });
