// The browser's part of bench/site_checks.sh: axe-core with every rule set at two sizes in
// light and dark, whether a page reads the same from a host that sends charset=utf-8, and the
// screenshots. Usage: node site_checks.cjs CHECKERS_DIR JOB_JSON; prints one JSON object.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const need = require('module').createRequire(path.join(process.argv[2], 'package.json'));
const puppeteer = need('puppeteer-core');
const axeSource = need('axe-core').source;

const job = JSON.parse(process.argv[3]);
const tags = ['wcag2a', 'wcag2aa', 'wcag2aaa', 'wcag21a', 'wcag21aa', 'wcag22aa', 'best-practice'];
const sizes = [{ width: 390, height: 844, isMobile: true, hasTouch: true }, { width: 1280, height: 800 }];
const schemes = ['light', 'dark'];

async function open(browser, url, size, scheme) {
    const page = await browser.newPage();
    await page.setViewport({ deviceScaleFactor: 1, ...size });
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
    await page.goto(url, { waitUntil: 'load' });
    // A search page given a query: its results, once they are shown.
    if (url.includes('?q='))
        await page.waitForFunction(() => /。$/.test((document.getElementById('search-status') || {}).textContent || '')
            && !/入れて下さい/.test(document.getElementById('search-status').textContent), { timeout: 10000 });
    return page;
}

// What a reader gets: the title, the text as laid out, and the head's description.
function reading(page) {
    return page.evaluate(() => [document.title, document.body ? document.body.innerText : '',
        (document.querySelector('meta[name=description]') || {}).content || ''].join('\n'));
}

(async () => {
    const profile = fs.mkdtempSync(path.join(job.work || os.tmpdir(), 'chromium-'));
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        userDataDir: profile,
        args: job.flags,
    });
    const result = {};
    try {
        for (const [type, file] of Object.entries(job.pages)) {
            const rules = {};
            const where = {};
            let bypass = false;
            for (const size of sizes) {
                for (const scheme of schemes) {
                    const page = await open(browser, job.plain + file, size, scheme);
                    await page.addScriptTag({ content: axeSource });
                    const r = await page.evaluate(t => axe.run(document, {
                        runOnly: { type: 'tag', values: t }, resultTypes: ['violations', 'incomplete'],
                    }), tags);
                    for (const v of r.violations) {
                        (rules[v.id] = rules[v.id] || new Set()).add(`${size.width} ${scheme}`);
                        // Where, once per rule: the first element and why, shortened.
                        const n = v.nodes[0];
                        if (n && !where[v.id])
                            where[v.id] = `${n.target.join(' ')}: ${(n.failureSummary || '').replace(/\s+/g, ' ').slice(0, 140)}`;
                    }
                    bypass = bypass || r.incomplete.some(i => i.id === 'bypass');
                    if (job.shots)
                        await page.screenshot({ path: path.join(job.shots, `${job.style}-${type}-${size.width}-${scheme}.png`) });
                    await page.close();
                }
            }
            const plain = await open(browser, job.plain + file, sizes[0], 'light');
            const utf8 = await open(browser, job.utf8 + file, sizes[0], 'light');
            const same = (await reading(plain)) === (await reading(utf8));
            await plain.close();
            await utf8.close();
            result[type] = {
                violations: Object.keys(rules).length, bypass, same,
                rules: Object.fromEntries(Object.entries(rules).map(([k, v]) => [k, [...v]])), where,
            };
        }
    } finally {
        await browser.close();
        fs.rmSync(profile, { recursive: true, force: true });
    }
    process.stdout.write(JSON.stringify(result));
})().catch(e => { console.error(e); process.exit(1); });
