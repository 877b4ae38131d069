// A published story as a reader on an ordinary line gets it: the demo published with vrkc --web
// into a sub-folder of a site (stories/demo/), served gzipped by scripts/serve-page, opened in
// headless Chromium with an empty cache at 10 Mbit/s both ways and a 40 ms round trip
// (Network.emulateNetworkConditions). Per run: the time from navigation to the page's
// performance mark "vrk:first-text" (a slot picker on the way answered at once), the bytes that
// came before it, and the bytes of the whole first page with its music (until the line has been
// quiet for two seconds, the synthesizer and the soundfont fetched). Prints each run and the
// medians; --zip measures the page opening the demo as a zip (?zip=) the same way, for comparison.
//
//   node bench/web_published.mjs [--zip] [--runs N] [--site DIR] [--verbose] [VRKC] [DEMO_DIR]
//   (--site: a site vrkc --web published already, instead of publishing the demo; --verbose:
//   every response as it completes)
//   (after make web; VRKC build/tools/vrkc/vrkc, DEMO_DIR build/samples/demo)
import { execFileSync, spawn } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const zipMode = args.includes('--zip');
const verbose = args.includes('--verbose');
const valueOf = (name) => (args.includes(name) ? args[args.indexOf(name) + 1] : undefined);
const runs = Number(valueOf('--runs') ?? 3);
const published = valueOf('--site');
const positional = args.filter((a, i) => !a.startsWith('--') && !['--runs', '--site'].includes(args[i - 1]));
const vrkc = resolve(positional[0] ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
const demo = resolve(positional[1] ?? join(root, 'build', 'samples', 'demo'));
const require = createRequire(join(root, 'web', 'package.json'));
const { launch } = require('puppeteer-core');

const kLine = { offline: false, latency: 40, downloadThroughput: 10e6 / 8, uploadThroughput: 10e6 / 8 };
const kQuietMs = 2000;

const site = mkdtempSync(join(tmpdir(), 'vrk3-published-'));
const folder = join(site, 'stories', 'demo');
let address;
if (zipMode) {
  cpSync(join(root, 'web', 'dist'), folder, { recursive: true });
  const { zipSync } = await import(join(folder, 'fflate.mjs'));
  const members = {};
  for (const name of readdirSync(demo)) members[`demo/${name}`] = readFileSync(join(demo, name));
  writeFileSync(join(folder, 'demo.zip'), zipSync(members));
  address = 'stories/demo/index.html?zip=demo.zip';
} else if (published) {
  cpSync(resolve(published), folder, { recursive: true });
  address = 'stories/demo/';
} else {
  mkdirSync(dirname(folder), { recursive: true });
  execFileSync(vrkc, ['--web', folder, join(demo, 'DEMO.VRK')], { stdio: 'inherit' });
  address = 'stories/demo/';
}

const server = spawn('python3', [join(root, 'scripts', 'serve-page'), '--port', '0', '--quiet', site], {
  stdio: ['ignore', 'pipe', 'inherit'],
});
const port = await new Promise((done, fail) => {
  let said = '';
  server.stdout.on('data', (chunk) => {
    said += chunk;
    const found = /:(\d+)\//.exec(said);
    if (found) done(Number(found[1]));
  });
  server.on('exit', (code) => fail(new Error(`serve-page ended (${code})`)));
});
const browser = await launch({
  executablePath: process.env.VRK_CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: [
    '--no-sandbox',
    '--disable-gpu',
    '--no-first-run',
    '--disable-background-networking',
    '--autoplay-policy=no-user-gesture-required',
  ],
});

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const kb = (bytes) => `${(bytes / 1024).toFixed(0)} KB`;

try {
  const results = [];
  for (let run = 0; run < runs; ++run) {
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    const cdp = await page.createCDPSession();
    await cdp.send('Network.enable');
    await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
    await cdp.send('Network.emulateNetworkConditions', kLine);
    // Bytes on the wire (headers and the gzipped bodies) by when they arrived, on CDP's clock.
    const arrivals = [];
    let navigationAt = null;
    let lastActivity = Date.now();
    cdp.on('Network.requestWillBeSent', (event) => {
      if (navigationAt === null && event.type === 'Document') navigationAt = event.timestamp;
      lastActivity = Date.now();
    });
    const received = new Map();
    const urls = new Map();
    cdp.on('Network.responseReceived', (event) => urls.set(event.requestId, event.response.url));
    cdp.on('Network.dataReceived', (event) => {
      arrivals.push({ at: event.timestamp, bytes: event.encodedDataLength });
      received.set(event.requestId, (received.get(event.requestId) ?? 0) + event.encodedDataLength);
      lastActivity = Date.now();
    });
    cdp.on('Network.loadingFinished', (event) => {
      // What dataReceived did not count of the response (its headers, mostly).
      const rest = event.encodedDataLength - (received.get(event.requestId) ?? 0);
      if (rest > 0) arrivals.push({ at: event.timestamp, bytes: rest });
      if (verbose) {
        const at = navigationAt === null ? 0 : (event.timestamp - navigationAt) * 1000;
        console.log(
          `  ${at.toFixed(0).padStart(6)} ms ${kb(event.encodedDataLength).padStart(8)} ${urls.get(event.requestId)}`,
        );
      }
      lastActivity = Date.now();
    });
    await page.goto(`http://127.0.0.1:${port}/${address}`, { waitUntil: 'domcontentloaded' });
    let firstText = null;
    for (;;) {
      if (await page.$('dialog[open]')) await page.keyboard.press('Enter');
      firstText = await page.evaluate(() => performance.getEntriesByName('vrk:first-text')[0]?.startTime ?? null);
      if (firstText !== null) break;
      await new Promise((done) => setTimeout(done, 20));
    }
    while (Date.now() - lastActivity < kQuietMs) await new Promise((done) => setTimeout(done, 100));
    const cut = navigationAt + firstText / 1000;
    const before = arrivals.filter((a) => a.at <= cut).reduce((sum, a) => sum + a.bytes, 0);
    const whole = arrivals.reduce((sum, a) => sum + a.bytes, 0);
    results.push({ firstText, before, whole });
    console.log(
      `run ${run + 1}: first text ${firstText.toFixed(0)} ms, ${kb(before)} before it, ` +
        `${kb(whole)} for the first page with its music`,
    );
    await context.close();
  }
  console.log(
    `median of ${runs}${zipMode ? ' (zip)' : ''}: first text ${median(results.map((r) => r.firstText)).toFixed(0)} ms, ` +
      `${kb(median(results.map((r) => r.before)))} before it, ${kb(median(results.map((r) => r.whole)))} in all`,
  );
} finally {
  await browser.close();
  server.kill();
  rmSync(site, { recursive: true, force: true });
}
