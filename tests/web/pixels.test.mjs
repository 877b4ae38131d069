// The demo's first page, fully revealed, in the window (page_snapshot, offscreen Qt) and on the
// browser page's canvas at a device pixel ratio of 1, at the same size, font and colours, in each
// engine: the cell grid and every line break must be the window's, and the share of identical
// pixels of the text area is printed and held above a floor.
//
//   VRK_PAGE_SNAPSHOT=build/tests/web/page_snapshot VRK_DEMO_DIR=build/samples/demo \
//     node --test tests/web/pixels.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite, unlessIn } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const demo = resolve(process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo'));
const snapshot = resolve(process.env.VRK_PAGE_SNAPSHOT ?? join(root, 'build', 'tests', 'web', 'page_snapshot'));
const require = createRequire(join(root, 'web', 'package.json'));

const kWidth = 640;
const kHeight = 480;
const kScrollBar = 16;

eachEngine((engine) => {
  const missing = () =>
    browserTestMissing(require, engine, dist, [
      [join(demo, 'DEMO.VRK'), `no demo project in ${demo}`],
      [snapshot, `no window snapshot program at ${snapshot}`],
    ]);
  const skip = missing();

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-pixels-', {
      deviceScale: 1,
      keepWork: Boolean(process.env.VRK_KEEP_PIXELS),
    });
    ({ url, work, browser } = site);
  });

  after(() => site?.close());

  function readPpm(path) {
    const bytes = readFileSync(path);
    const header = bytes.subarray(0, 32).toString('latin1').split(/\s+/);
    const [width, height] = [Number(header[1]), Number(header[2])];
    const start = bytes.length - width * height * 3;
    return { width, height, rgb: bytes.subarray(start) };
  }

  function windowPage(font) {
    const dir = mkdtempSync(join(work, 'window-'));
    cpSync(demo, dir, { recursive: true });
    const out = join(work, `window-${font.bold ? 'b' : ''}${font.italic ? 'i' : ''}`);
    execFileSync(
      snapshot,
      [
        join(dir, 'DEMO.VRK'),
        String(kWidth),
        String(kHeight),
        'IPAGothic',
        String(font.pixels),
        font.bold ? '1' : '0',
        font.italic ? '1' : '0',
        out,
      ],
      { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' }, stdio: 'pipe' },
    );
    const [grid, ...lines] = readFileSync(`${out}.txt`, 'utf8').replace(/\n$/, '').split('\n');
    const [cellWidth, lineHeight] = grid.split(' ').map(Number);
    return { ...readPpm(`${out}.ppm`), grid: { cellWidth, lineHeight }, lines };
  }

  async function browserPage(font) {
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const name of readdirSync(demo)) members[name] = readFileSync(join(demo, name));
    const zip = join(work, 'demo.zip');
    writeFileSync(zip, zipSync(members));
    const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
    const page = await context.newPage();
    await page.setViewport({ width: 1024, height: 768, deviceScaleFactor: 1 });
    const options = { fontName: 'IPAGothic', fontSize: (font.pixels * 72) / 96, bold: font.bold, italic: font.italic };
    await page.evaluateOnNewDocument((o) => localStorage.setItem('vrk3.options', JSON.stringify(o)), options);
    await page.goto(url);
    await page.waitForFunction(() => window.vrkPage);
    await page.evaluate((w, h) => window.vrkPage.resize(w, h), kWidth, kHeight);
    await (await page.$('#zip')).uploadFile(zip);
    await waitForOpening(page);
    await page.evaluate(() => window.vrkPage.hold(true));
    await page.click('#page', { offset: { x: 10, y: 10 } });
    await page.waitForFunction(() => document.body.dataset.revealed === 'true');
    await (
      await page.$('#page')
    ).screenshot({ path: join(work, `browser-${font.bold ? 'b' : ''}${font.italic ? 'i' : ''}.png`) });
    const rgba = await page.$eval('#page', (canvas) =>
      Array.from(canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data),
    );
    const { grid, lines } = await page.evaluate(() => ({ grid: window.vrkPage.grid(), lines: window.vrkPage.lines() }));
    await context.close();
    if (process.env.VRK_KEEP_PIXELS) {
      const rgb = Buffer.alloc(kWidth * kHeight * 3);
      for (let i = 0; i < kWidth * kHeight; ++i) rgb.set(rgba.slice(4 * i, 4 * i + 3), 3 * i);
      writeFileSync(
        join(work, `browser-${font.bold ? 'b' : ''}${font.italic ? 'i' : ''}.ppm`),
        Buffer.concat([Buffer.from(`P6\n${kWidth} ${kHeight}\n255\n`), rgb]),
      );
    }
    return { width: kWidth, height: kHeight, rgba, grid, lines };
  }

  // The text area only: the scroll bar is a control of its own on both sides.
  function sameShare(window, browserSide) {
    let same = 0;
    const area = kWidth - kScrollBar;
    for (let y = 0; y < kHeight; ++y) {
      for (let x = 0; x < area; ++x) {
        const w = 3 * (y * window.width + x);
        const b = 4 * (y * browserSide.width + x);
        const r = browserSide.rgba;
        if (window.rgb[w] === r[b] && window.rgb[w + 1] === r[b + 1] && window.rgb[w + 2] === r[b + 2]) ++same;
      }
    }
    return same / (area * kHeight);
  }

  // WebKitGTK smooths the glyphs' edges its own way: the same cells and lines, a pixel's shade
  // apart at the edges of the strokes.
  const kSmoothingAllowance = { webkit: 0.015 };

  // The reader's default, 16 points (21 pixels) bold italic, is where a browser's synthesized bold
  // measured wider would break the lines elsewhere.
  for (const [name, font, floor] of [
    ['regular', { pixels: 20, bold: false, italic: false }, 0.95],
    ['bold italic', { pixels: 20, bold: true, italic: true }, 0.93],
    ["in the reader's default font", { pixels: 21, bold: true, italic: true }, 0.93],
  ]) {
    test(
      `the first page, ${name}, breaks where the window's does and matches its pixels`,
      { skip: skip ?? false },
      async () => {
        const window = windowPage(font);
        const browserSide = await browserPage(font);
        assert.equal(window.width, kWidth);
        assert.deepEqual(browserSide.grid, window.grid, "the window's cell grid");
        assert.deepEqual(browserSide.lines, window.lines, "the window's line breaks");
        const share = sameShare(window, browserSide);
        console.log(`identical pixels, ${name}, ${engine}: ${(share * 100).toFixed(2)} %`);
        assert.ok(
          share >= floor - (kSmoothingAllowance[engine] ?? 0),
          `only ${(share * 100).toFixed(2)} % of the pixels are the same`,
        );
      },
    );
  }
});
