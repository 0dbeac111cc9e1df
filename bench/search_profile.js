// SPDX-License-Identifier: GPL-3.0-or-later
// Where a key's time goes on the search page, typed as bench/search_browser.js types it (390×844,
// CPU 4× slower, keys QADORA_KEY_GAP_MS apart): a performance trace of each query with the page's
// CPU profile sampled every 50 µs. For each later key it prints the time from its input event to
// the first change of the status (the bench's "update"), the main thread's work in that time by
// kind (script, style, layout, paint, GC, parsing) and the script's heaviest functions (self time).
//   NODE_PATH=…/node_modules node bench/search_profile.js http://127.0.0.1:PORT [query...]
'use strict';
const { launch, phonePage } = require('./phone');
const [url, ...given] = process.argv.slice(2);
const gap = Number(process.env.QADORA_KEY_GAP_MS || 150);
const queries = given.length ? given : ['パスワード変更', 'ﾛｸﾞｲﾝ', 'wi-fi', '領収書 注文', '受付番号123'];
const kinds = {
  UpdateLayoutTree: 'style', RecalculateStyles: 'style', Layout: 'layout', Paint: 'paint', PrePaint: 'paint',
  Layerize: 'paint', MinorGC: 'gc', MajorGC: 'gc', 'V8.GC_SCAVENGER': 'gc', 'BlinkGC.AtomicPhase': 'gc',
  ParseHTML: 'parse', EvaluateScript: 'script-load', 'v8.compile': 'compile', 'v8.compileModule': 'compile',
};

(async () => {
  const browser = await launch();
  for (const q of queries) {
    const { page, cdp } = await phonePage(browser);
    await page.goto(url + '/search.html', { waitUntil: 'load' });
    await page.evaluate(() => {
      window.__done = [];
      window.__keys = [];
      window.__late = []; // from the event's time stamp to the first input listener
      window.__first = []; // the bench's "update": from the time stamp to the first status change
      window.addEventListener('input', (e) => { window.__keys.push(e.timeStamp); window.__late.push(performance.now() - e.timeStamp); performance.mark('key'); }, true);
      const status = document.getElementById('search-status');
      let marked = -1;
      new MutationObserver(() => {
        if (marked < window.__keys.length) { marked = window.__keys.length; performance.mark('update');
          window.__first.push(performance.now() - window.__keys[window.__keys.length - 1]); }
        if (!status.textContent.endsWith('…')) window.__done.push(performance.now());
      }).observe(status, { childList: true, characterData: true, subtree: true });
    });
    await page.focus('#q');
    await cdp.send('Profiler.enable');
    await cdp.send('Profiler.setSamplingInterval', { interval: Number(process.env.QADORA_PROFILE_US || 50) });
    await page.tracing.start({ categories: ['devtools.timeline', 'disabled-by-default-devtools.timeline', 'v8',
      'v8.execute', 'blink.user_timing', 'disabled-by-default-v8.gc'] });
    await cdp.send('Profiler.start');
    const chars = Array.from(q);
    for (let i = 0; i < chars.length; i++) {
      if (i > 0) await new Promise((r) => setTimeout(r, gap));
      const [done, keys] = await page.evaluate(() => [window.__done.length, window.__keys.length]);
      await page.keyboard.sendCharacter(chars[i]);
      await page.waitForFunction((n, k) => window.__done.length > n && window.__keys.length > k
        && window.__done[window.__done.length - 1] >= window.__keys[window.__keys.length - 1], { polling: 'mutation' }, done, keys);
    }
    await new Promise((r) => setTimeout(r, gap));
    const { profile } = await cdp.send('Profiler.stop');
    const trace = JSON.parse(await page.tracing.stop());
    const seen = await page.evaluate(() => ({ late: window.__late, first: window.__first }));
    report(q, chars, trace.traceEvents, profile, seen);
    await page.close();
  }
  await browser.close();
})().catch((e) => { console.error(e); process.exit(1); });

function report(q, chars, events, profile, seen) {
  const main = events.find((e) => e.name === 'thread_name' && e.args.name === 'CrRendererMain'
    && events.some((m) => m.pid === e.pid && m.name === 'key'));
  const mine = events.filter((e) => e.pid === main.pid && e.tid === main.tid);
  const marks = (name) => mine.filter((e) => e.name === name).map((e) => e.ts).sort((a, b) => a - b);
  const keys = marks('key'), updates = marks('update');
  // The samples' times, on the trace's clock (both are the browser's monotonic microseconds).
  const byId = new Map(profile.nodes.map((n) => [n.id, n]));
  const times = [];
  let t = profile.startTime;
  for (const d of profile.timeDeltas) times.push((t += d));
  console.log(`== ${q}`);
  for (let k = 1; k < keys.length; k++) {
    if (process.env.QADORA_PROFILE_EVENTS) { // every event of the key, from its arrival on
      const at = keys[k] - seen.late[k] * 1000, up = updates.find((u) => u >= keys[k]);
      for (const e of mine) {
        if (e.ph === 'X' && e.dur > 200 && e.ts + e.dur > at - 2000 && e.ts < up) {
          console.log(`   ${((e.ts - at) / 1000).toFixed(1)} +${(e.dur / 1000).toFixed(1)} ${e.name} ${e.args && e.args.data && e.args.data.type || ''}`);
        }
      }
    }
    const from = keys[k], to = updates.find((u) => u >= from) || from;
    const end = keys[k + 1] || from + gap * 1000;
    // Work on the main thread from the key to the first status change, by kind; and what ran
    // after it until the next key (the rest of the page filling in, files fetched ahead).
    const sum = (a, b) => {
      const out = {};
      for (const e of mine) {
        if (e.ph !== 'X' || e.ts + e.dur < a || e.ts > b) continue;
        const kind = kinds[e.name];
        if (!kind) continue;
        out[kind] = (out[kind] || 0) + (Math.min(b, e.ts + e.dur) - Math.max(a, e.ts)) / 1000;
      }
      return Object.entries(out).map(([n, ms]) => `${n} ${ms.toFixed(1)}`).join(', ');
    };
    const self = new Map();
    let samples = 0;
    for (let s = 0; s < times.length; s++) {
      if (times[s] < from || times[s] > to) continue;
      const f = byId.get(profile.samples[s]).callFrame;
      const name = `${f.functionName || '(anonymous)'}:${f.lineNumber + 1}`;
      self.set(name, (self.get(name) || 0) + 1);
      samples++;
    }
    const top = [...self.entries()].sort((a, b) => b[1] - a[1]).slice(0, 8)
      .map(([n, c]) => `${n} ${Math.round((100 * c) / samples)}%`).join(', ');
    console.log(`${chars.slice(0, k + 1).join('').padEnd(12)} update ${seen.first[k].toFixed(1)} ms (${seen.late[k].toFixed(1)} `
      + `before the listener), traced ${((to - from) / 1000).toFixed(1)} ms: ${sum(from, to)}`);
    console.log(`${''.padEnd(12)} after it: ${sum(to, end)}`);
    console.log(`${''.padEnd(12)} functions: ${top}`);
  }
}
