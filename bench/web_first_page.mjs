// Time to the first page in the browser: from navigation to the first page of the demo drawn,
// the page served by a static server as `make serve` does and the demo named in its address
// (?zip=demo.zip). Each run starts with an empty cache; prints every run and the median, and the
// time to the slot picker on the way. ENGINE is chromium, firefox or webkit (as the browser
// tests drive them, tests/web/site.mjs).
//
//   node bench/web_first_page.mjs [DEMO_DIR] [RUNS] [ENGINE]   (after make web; DEMO_DIR build/samples/demo)
import { spawn } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const demo = resolve(process.argv[2] ?? join(root, 'build', 'samples', 'demo'));
const runs = Number(process.argv[3] ?? 5);
const engine = process.argv[4] ?? 'chromium';
const require = createRequire(join(root, 'web', 'package.json'));
const { launchBrowser } = await import(join(root, 'tests', 'web', 'site.mjs'));

const site = mkdtempSync(join(tmpdir(), 'vrk3-first-page-'));
cpSync(join(root, 'web', 'dist'), site, { recursive: true });
const { zipSync } = await import(join(site, 'fflate.mjs'));
const members = {};
for (const name of readdirSync(demo)) members[`demo/${name}`] = readFileSync(join(demo, name));
writeFileSync(join(site, 'demo.zip'), zipSync(members));

const port = await new Promise((done) => {
  const probe = createServer().listen(0, '127.0.0.1', () => {
    const { port: free } = probe.address();
    probe.close(() => done(free));
  });
});
const server = spawn('python3', ['-m', 'http.server', '-b', '127.0.0.1', '-d', site, String(port)], { stdio: 'ignore' });
const browser = await launchBrowser(require, engine, join(site, '.profile'));

try {
  const times = [];
  const pickerTimes = [];
  for (let run = 0; run < runs; ++run) {
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    await page.setCacheEnabled?.(false); // a context of its own has an empty cache anyway
    // The moments the slot picker opens and the page says its first page is up, on the page's
    // own clock (0 = navigation).
    await page.evaluateOnNewDocument(() => {
      new MutationObserver((changes, observer) => {
        if (!window.pickerAt && document.querySelector('dialog[open]')) window.pickerAt = performance.now();
        if (document.body?.dataset.opened) {
          window.firstPageAt = performance.now();
          observer.disconnect();
        }
      }).observe(document, { attributes: true, childList: true, subtree: true, attributeFilter: ['data-opened', 'open'] });
    });
    for (let tries = 0; ; ++tries) {
      try {
        await page.goto(`http://127.0.0.1:${port}/?zip=demo.zip`);
        break;
      } catch (error) {
        if (tries > 50) throw error;
        await new Promise((done) => setTimeout(done, 100));  // the server is still starting
      }
    }
    // A slot picker on the way is answered at once, as a reader in a hurry would.
    while (!(await page.evaluate(() => window.firstPageAt))) {
      if (await page.$('dialog[open]')) await page.keyboard.press('Enter');
      await new Promise((done) => setTimeout(done, 20));
    }
    const [picker, ms] = await page.evaluate(() => [window.pickerAt ?? NaN, window.firstPageAt]);
    times.push(ms);
    pickerTimes.push(picker);
    console.log(`run ${run + 1}: slot picker ${picker.toFixed(0)} ms, first page ${ms.toFixed(0)} ms`);
    await context.close();
  }
  const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)].toFixed(0);
  console.log(`${engine}, median of ${runs}: slot picker ${median(pickerTimes)} ms, first page ${median(times)} ms`);
} finally {
  await browser.close();
  server.kill();
  rmSync(site, { recursive: true, force: true });
}
