// The reading page's view menu in headless Chromium, each comfort driven by its key or by the
// wheel as a reader would: the backlog, going back, copying, skipping read pages (with the read
// marks kept over a reload), auto-advance, reading aloud, and the page's cursors.
//
//   node --test tests/web/comforts.test.mjs   (after make web and building vrkc)
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite, unlessIn } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const vrkc = resolve(process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
const require = createRequire(join(root, 'web', 'package.json'));

eachEngine((engine) => {
  const missing = () => browserTestMissing(require, engine, dist, [[vrkc, `no compiler at ${vrkc}`]]);
  const skip = missing() ?? false;

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;
  let chainZip;

  // Three pages of a single "Next" each, then a page of two choices.
  const kChain = [
    '*START',
    'いち',
    '?',
    '次へ',
    'P2',
    '?END',
    '*P2',
    'に',
    '?',
    '次へ',
    'P3',
    '?END',
    '*P3',
    'さん',
    '?',
    '次へ',
    'P4',
    '?END',
    '*P4',
    'よん',
    '?',
    'はい',
    'START',
    '?',
    'いいえ',
    'P2',
    '?END',
    'START',
    '*VRKALTER',
    ...Array(18).fill('????'),
    '続き',
  ];

  async function storyZip(name, lines) {
    const dir = mkdtempSync(join(work, `${name}-`));
    writeFileSync(join(dir, 'story.txt'), lines.join('\n'));
    execFileSync(vrkc, ['--slots', join(dir, 'story.txt'), join(dir, name.toUpperCase())]);
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const file of readdirSync(dir)) if (file !== 'story.txt') members[file] = readFileSync(join(dir, file));
    const path = join(work, `${name}.zip`);
    writeFileSync(path, zipSync(members));
    return path;
  }

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-comforts-');
    ({ url, work, browser } = site);
    chainZip = await storyZip('chain', kChain);
  });

  after(() => site?.close());

  // A page of its own browser context (its own storage), with OPTIONS stored before it loads and
  // the speech service replaced by one that records what it is asked to say.
  async function freshPage(options = {}) {
    const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
    // Firefox lets a test read the clipboard by a preference of its own (site.mjs sets it).
    if (engine === 'chromium') {
      await context.overridePermissions(url.slice(0, -1), [
        'clipboard-read',
        'clipboard-write',
        'clipboard-sanitized-write',
      ]);
    }
    const page = await context.newPage();
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    await page.evaluateOnNewDocument((stored) => {
      localStorage.setItem('vrk3.options', JSON.stringify(stored));
      window.spoken = [];
      const fake = {
        speak: (utterance) => window.spoken.push({ text: utterance.text, lang: utterance.lang }),
        cancel: () => window.spoken.push(null),
        getVoices: () => [],
      };
      Object.defineProperty(window, 'speechSynthesis', { value: fake, configurable: true });
    }, options);
    await page.goto(url);
    return { context, page };
  }

  async function openChain(page, slot = 1) {
    await page.evaluate(() => delete document.body.dataset.opened);
    await (await page.$('#zip')).uploadFile(chainZip);
    await waitForOpening(page, undefined, { slot });
    assert.ok(await page.evaluate(() => document.body.dataset.opened), 'the story opens');
  }

  const text = (page) => page.evaluate(() => window.vrkPage.state()?.text ?? '');
  const waitForText = (page, pattern, timeout = 15000) =>
    page.waitForFunction(
      (source) => new RegExp(source).test(window.vrkPage.state()?.text ?? ''),
      { timeout },
      pattern.source,
    );

  // The page completed by a click, then its single "Next" taken with Enter.
  async function next(page, pattern) {
    await page.click('#page', { offset: { x: 5, y: 5 } });
    await page.waitForFunction(() => window.vrkPage.state()?.choices.enabled);
    await page.keyboard.press('Enter');
    await waitForText(page, pattern);
  }

  async function withCtrl(page, key, shift = false) {
    await page.keyboard.down('Control');
    if (shift) await page.keyboard.down('Shift');
    await page.keyboard.press(key);
    if (shift) await page.keyboard.up('Shift');
    await page.keyboard.up('Control');
  }

  test(
    'the backlog lists the earlier pages, going back shows the previous page, copying takes the page',
    {
      skip: skip || unlessIn(engine, { webkit: "WebKitWebDriver's wheel actions do not reach the page" }),
    },
    async () => {
      const { context, page } = await freshPage();
      await openChain(page);
      const backlog = () => page.$eval('#backlog', (b) => (b.hidden ? null : b.textContent));
      // Nothing before the first page: the wheel only scrolls.
      await page.mouse.move(50, 120);
      await page.mouse.wheel({ deltaY: -120 });
      assert.equal(await backlog(), null);

      await next(page, /^に/);
      await next(page, /^さん/);
      await page.mouse.move(100, 150);
      await page.mouse.wheel({ deltaY: -120 });
      await page.waitForFunction(() => !document.getElementById('backlog').hidden);
      const shown = await backlog();
      assert.match(shown, /いち[\s\S]*――――[\s\S]*に/);
      assert.doesNotMatch(shown, /さん/, 'the page on show is not in its own backlog');
      // Nothing chooses behind it; Escape closes it.
      await page.keyboard.press('Enter');
      assert.match(await text(page), /^さん/);
      await page.keyboard.press('Escape');
      assert.equal(await backlog(), null);
      // PageUp at the top of a short page opens it too; a click closes it.
      await page.keyboard.press('PageUp');
      assert.notEqual(await backlog(), null);
      await page.click('#backlog');
      assert.equal(await backlog(), null);

      await withCtrl(page, 'C', true);
      assert.equal(await page.evaluate(() => navigator.clipboard.readText()), await text(page));
      assert.match(await page.evaluate(() => navigator.clipboard.readText()), /^さん\n/);

      await withCtrl(page, 'Z');
      await waitForText(page, /^に/);
      await withCtrl(page, 'Z');
      await waitForText(page, /^いち/);
      assert.equal(await page.evaluate(() => window.vrkPage.state().canGoBack), false);
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );

  test(
    'skipping runs the pages read before, even after a reload, and stops at the first unread one',
    { skip },
    async () => {
      const { context, page } = await freshPage();
      await openChain(page, 1);
      await next(page, /^に/); // START and P2 read in slot 1
      await page.waitForFunction(() => Number(document.getElementById('status').dataset.saved ?? 0) > 1);
      await page.reload();
      await openChain(page, 2); // a fresh slot: the story from its start
      assert.match(await text(page), /^いち/);
      await withCtrl(page, 'D');
      await waitForText(page, /^さん/);
      const state = await page.evaluate(() => window.vrkPage.state());
      assert.equal(state.skipping, false, 'skipping ends at an unread page');
      assert.equal(state.revealed, false, 'an unread page is revealed as usual');
      // The third page, read now, is never passed at a page of choices.
      await next(page, /^よん/);
      await page.keyboard.press('A');
      await waitForText(page, /^いち/);
      await withCtrl(page, 'D');
      await waitForText(page, /^よん/);
      assert.equal(await page.evaluate(() => window.vrkPage.state().skipping), false);
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );

  test(
    'auto-advance goes on by itself after a complete page and stops at any key',
    {
      skip:
        skip ||
        unlessIn(engine, { webkit: 'under WebKitWebDriver its second opening does not finish (not yet looked into)' }),
    },
    async () => {
      const { context, page } = await freshPage();
      await openChain(page);
      await withCtrl(page, 'A');
      assert.equal(await page.evaluate(() => JSON.parse(localStorage.getItem('vrk3.options')).autoAdvance), true);
      await waitForText(page, /^に/, 20000);
      await waitForText(page, /^さん/, 20000);
      await page.keyboard.press('x');
      assert.equal(await page.evaluate(() => JSON.parse(localStorage.getItem('vrk3.options')).autoAdvance), false);
      await new Promise((done) => setTimeout(done, 3500));
      assert.match(await text(page), /^さん/, 'stopped by the key');
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );

  test(
    'reading aloud speaks each page in Japanese as it appears, and the cursor shows the page busy',
    { skip },
    async () => {
      const { context, page } = await freshPage({ speech: true });
      await openChain(page);
      await page.waitForFunction(() => window.spoken.some((s) => s && /いち/.test(s.text)));
      assert.equal((await page.evaluate(() => window.spoken.find((s) => s))).lang, 'ja-JP');
      // Revealing: the busy cursor over the page; complete: the ordinary one.
      await page.evaluate(() => window.vrkPage.hold(true));
      await page.keyboard.press('Enter');
      await waitForText(page, /^に/);
      assert.equal(await page.$eval('#frame', (f) => f.style.cursor), 'progress');
      await page.evaluate(() => window.vrkPage.hold(false));
      await page.click('#page', { offset: { x: 5, y: 5 } });
      assert.equal(await page.$eval('#frame', (f) => f.style.cursor), '');
      await page.waitForFunction(() => window.spoken.some((s) => s && /^に/.test(s.text)));
      await withCtrl(page, 'Y'); // off: what is said stops
      assert.equal(await page.evaluate(() => window.spoken.at(-1)), null);
      await next(page, /^さん/);
      assert.equal(await page.evaluate(() => window.spoken.some((s) => s && /さん/.test(s.text))), false);
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );

  test('the watermark is drawn without smoothing: two colours only where there is no text', { skip }, async () => {
    const { context, page } = await freshPage();
    await openChain(page);
    const colours = await page.$eval('#page', (canvas) => {
      const g = canvas.getContext('2d');
      // The lower half of the text area: watermarks, no text on this short page.
      const top = Math.round(canvas.height / 2);
      const width = canvas.width - Math.round(16 * devicePixelRatio);
      const data = g.getImageData(0, top, width, canvas.height - top).data;
      const seen = new Set();
      for (let i = 0; i < data.length; i += 4) seen.add(`${data[i]},${data[i + 1]},${data[i + 2]}`);
      return [...seen];
    });
    assert.equal(colours.length, 2, `background and watermark only: ${colours.slice(0, 8).join(' ')}`);
    await context.close();
  });

  test("an error of a run is shown in the window's message box", { skip }, async () => {
    // The script cut short after its first page: the next page cannot be read.
    const dir = mkdtempSync(join(work, 'cut-'));
    const zip = await storyZip('cut', kChain);
    const { unzipSync, zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = unzipSync(readFileSync(zip));
    members['CUT.VRK'] = members['CUT.VRK'].subarray(0, 20);
    const path = join(dir, 'cut.zip');
    writeFileSync(path, zipSync(members));
    const { context, page } = await freshPage();
    await (await page.$('#zip')).uploadFile(path);
    await waitForOpening(page);
    await page.click('#page', { offset: { x: 5, y: 5 } });
    await page.keyboard.press('Enter');
    const box = await page.waitForSelector('dialog.vrk-error[open]', { timeout: 5000 }).catch(() => null);
    const status = await page.$eval('#status', (s) => s.textContent);
    assert.ok(box, `an error box (status: ${status})`);
    assert.equal(await box.$eval('.vrk-title', (t) => t.textContent), 'VRKブラウザ v3');
    assert.equal(
      await box.$eval('.vrk-message', (m) => m.textContent),
      await page.$eval('#status', (s) => s.dataset.error),
    );
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => !document.querySelector('dialog.vrk-error'));
    await context.close();
  });

  test("full screen keeps the page's lines and scales it up sharp, its aspect kept", { skip }, async () => {
    const long = '長い行が続きます。'.repeat(12);
    const zip = await storyZip('wide', [
      '*START',
      long,
      long,
      '?END',
      'START',
      '*VRKALTER',
      ...Array(18).fill('????'),
      '広い',
    ]);
    const { context, page } = await freshPage();
    await page.setViewport({ width: 1280, height: 960 });
    await (await page.$('#zip')).uploadFile(zip);
    await waitForOpening(page);
    await page.evaluate(() => window.vrkPage.resize(480, 300));
    await page.click('#page', { offset: { x: 5, y: 5 } });
    const before = await page.evaluate(() => ({
      lines: window.vrkPage.lines(),
      width: document.getElementById('page').width,
    }));
    assert.ok(before.lines.length > 2, `a page of several lines: ${before.lines.length}`);
    await page.keyboard.press('F11');
    await page.waitForFunction(() => Boolean(document.fullscreenElement) && window.vrkPage.scale() > 1);
    const full = await page.evaluate(() => {
      const frame = document.getElementById('frame').getBoundingClientRect();
      return {
        lines: window.vrkPage.lines(),
        width: document.getElementById('page').width,
        scale: window.vrkPage.scale(),
        frame: [frame.width, frame.height],
        screen: [innerWidth, innerHeight],
      };
    });
    assert.deepEqual(full.lines, before.lines, 'the same line breaks');
    assert.ok(Math.abs(full.frame[0] / full.frame[1] - 480 / 300) < 0.01, `aspect kept: ${full.frame}`);
    assert.ok(
      Math.abs(full.frame[0] - full.screen[0]) < 1 || Math.abs(full.frame[1] - full.screen[1]) < 1,
      `fills the screen one way: ${full.frame} on ${full.screen}`,
    );
    assert.equal(full.width, Math.round(before.width * full.scale), "drawn at the screen's pixels");
    await page.keyboard.press('F11');
    await page.waitForFunction(() => !document.fullscreenElement && window.vrkPage.scale() === 1);
    assert.equal(await page.evaluate(() => document.getElementById('page').width), before.width);
    assert.deepEqual(page.errors, []);
    await context.close();
  });
});
