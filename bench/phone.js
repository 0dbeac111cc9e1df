// SPDX-License-Identifier: GPL-3.0-or-later
// Debian's Chromium as the search benches drive it: headless, and each page as a phone at
// 390×844 with the CPU slowed 4× (Lighthouse's mobile preset) and no cache.
'use strict';
const puppeteer = require('puppeteer-core');

exports.launch = () => puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: 'new',
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run'],
});

// A new phone page, not yet loaded, and its DevTools session.
exports.phonePage = async (browser) => {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
  const cdp = await page.target().createCDPSession();
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  return { page, cdp };
};
