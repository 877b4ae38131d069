// The reading page in headless Chromium: the demo opened from a zip or a folder, read to a
// choice, chosen, saved; after a reload the same project resumes from the slot kept in IndexedDB.
//
//   VRK_DEMO_DIR=build/samples/demo node --test tests/web/browser.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, existsSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite, unlessIn } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const demo = resolve(process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo'));
const vrkc = resolve(process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
const require = createRequire(join(root, 'web', 'package.json'));

eachEngine((engine) => {
  const missing = () =>
    browserTestMissing(require, engine, dist, [[join(demo, 'DEMO.VRK'), `no demo project in ${demo}`]]);
  const skip = missing();

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-browser-');
    ({ url, work, browser } = site);
  });

  after(() => site?.close());

  // The demo as a reader would get it: wrapped in a folder, names in lower case.
  async function demoZip() {
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const name of readdirSync(demo)) {
      members[`demo/${name.toLowerCase()}`] = readFileSync(join(demo, name));
    }
    const path = join(work, 'demo.zip');
    writeFileSync(path, zipSync(members));
    return path;
  }

  async function openZip(page, zip) {
    await page.evaluate(() => delete document.body.dataset.opened);
    const input = await page.$('#zip');
    await input.uploadFile(zip);
    await waitForOpening(page);
    return page.evaluate(() => ({
      opened: document.body.dataset.opened,
      status: document.getElementById('status').textContent,
    }));
  }

  const choiceKeys = (page) => page.$$eval('#choices button', (buttons) => buttons.map((b) => b.textContent));

  // The choice buttons are enabled once the page is complete: a click on the page completes it.
  async function clickChoice(page, n) {
    await page.click('#page', { offset: { x: 5, y: 5 } });
    await page.waitForFunction(
      (k) => {
        const button = document.querySelector(`#choices button:nth-child(${k})`);
        return button && !button.disabled;
      },
      {},
      n,
    );
    await page.click(`#choices button:nth-child(${n})`);
  }

  // Advances with Enter until the story offers a real choice (two or more answers).
  async function readToChoice(page) {
    for (let i = 0; i < 50; ++i) {
      const keys = await choiceKeys(page);
      if (keys.length > 1) return keys;
      await page.keyboard.press('Enter');
    }
    assert.fail('the story offered no choice');
  }

  const savedCount = (page) => page.$eval('#status', (status) => Number(status.dataset.saved ?? 0));
  const pageText = (page) => page.$eval('#page', (canvas) => canvas.getAttribute('aria-label') ?? '');

  test('a zip opens, a choice is read, and a reload resumes from the slot', { skip: skip ?? false }, async () => {
    const zip = await demoZip();
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(url);

    const first = await openZip(page, zip);
    assert.ok(first.opened, first.status);
    const start = await pageText(page);
    assert.ok((await readToChoice(page)).length >= 2);
    const savedBefore = await savedCount(page);
    await clickChoice(page, 1);
    const chosen = await pageText(page);
    assert.notEqual(chosen, start);
    // The slot reaches the browser's storage a moment after the page is drawn; a reader's reload
    // is never that quick, the test's would be.
    await page.waitForFunction(
      (n) => Number(document.getElementById('status').dataset.saved ?? 0) > n,
      {},
      savedBefore,
    );

    // The story keeps its slot as it goes; the same archive opened after a reload resumes there.
    await page.reload();
    const again = await openZip(page, zip);
    assert.equal(again.opened, first.opened, 'the same project gets the same saves');
    assert.equal(await pageText(page), chosen);

    // A quick save taken further on comes back through a reload too.
    const keys = await choiceKeys(page);
    await clickChoice(page, keys.length);
    const later = await pageText(page);
    await page.click('#save');
    await page.waitForFunction(() => Number(document.getElementById('status').dataset.saved ?? 0) > 0);
    await page.reload();
    await openZip(page, zip);
    await page.click('#load');
    assert.equal(await pageText(page), later);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test(
    'a folder opens, its page reveals step by step, and keys choose as on the desktop',
    { skip: skip ?? false },
    async () => {
      // A browser of its own: no saves kept from the other tests.
      const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(error.message));
      await page.goto(url);
      // The browser's folder picker cannot be driven from here; the same input takes the folder's
      // files one by one instead.
      await page.$eval('#folder', (input) => input.removeAttribute('webkitdirectory'));
      const input = await page.$('#folder');
      await input.uploadFile(...readdirSync(demo).map((name) => join(demo, name)));
      await waitForOpening(page);
      // The first page is revealed a column at a time: the buttons wait, disabled, until it is all shown.
      assert.equal(await page.$eval('#choices button', (b) => b.disabled), true);
      await page.waitForFunction(() => document.body.dataset.revealed === 'true', { timeout: 30000 });
      assert.equal(await page.$eval('#choices button', (b) => b.disabled), false);
      const first = await pageText(page);
      const keys = await choiceKeys(page);
      assert.deepEqual(keys, ['A', 'B']);
      // A key of no button in use does nothing; a letter of one chooses.
      await page.keyboard.press('f');
      assert.equal(await pageText(page), first);
      await page.keyboard.press('b');
      assert.notEqual(await pageText(page), first);
      assert.deepEqual(errors, []);
      await context.close();
    },
  );

  test(
    "at a device pixel ratio of 2 the page is drawn at the device's pixels with the same line breaks",
    {
      skip: skip ?? unlessIn(engine, { webkit: 'WebDriver classic cannot set a device pixel ratio' }),
    },
    async () => {
      const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(error.message));
      const lines = async (scale) => {
        await page.setViewport({ width: 1000, height: 800, deviceScaleFactor: scale });
        await page.goto(url);
        await openZip(page, await demoZip());
        await page.click('#page', { offset: { x: 5, y: 5 } });
        await page.waitForFunction(() => document.body.dataset.revealed === 'true');
        return page.evaluate(() => {
          const canvas = document.getElementById('page');
          // Rows of the canvas with text-coloured (white) pixels: the drawn lines, in device pixels.
          const g = canvas.getContext('2d');
          const data = g.getImageData(0, 0, canvas.width, canvas.height).data;
          let inked = 0;
          for (let y = 0; y < canvas.height; ++y) {
            for (let x = 0; x < canvas.width; ++x) {
              const i = 4 * (y * canvas.width + x);
              if (data[i] === 255 && data[i + 1] === 255 && data[i + 2] === 255) {
                ++inked;
                break;
              }
            }
          }
          return { width: canvas.width, cssWidth: canvas.clientWidth, inked, text: canvas.getAttribute('aria-label') };
        });
      };
      const one = await lines(1);
      const two = await lines(2);
      assert.equal(one.width, one.cssWidth);
      assert.equal(two.width, 2 * two.cssWidth);
      assert.equal(two.text, one.text);
      // Twice the rows of ink, give or take the outline's fixed width: sharp text, not a stretched image.
      assert.ok(two.inked > 1.6 * one.inked && two.inked < 2.4 * one.inked, `${one.inked} rows against ${two.inked}`);
      assert.deepEqual(errors, []);
      await context.close();
    },
  );

  test('a zip without a project says so and opens nothing', { skip: skip ?? false }, async () => {
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const path = join(work, 'empty.zip');
    writeFileSync(path, zipSync({ 'readme.txt': new Uint8Array([0x41]) }));
    const page = await browser.newPage();
    await page.goto(url);
    const result = await openZip(page, path);
    assert.equal(result.opened, undefined);
    assert.match(result.status, /\.vrk/);
    await page.close();
  });

  test(
    'a story that starts a program gets a notice naming each program',
    { skip: skip || (existsSync(vrkc) ? false : `no compiler at ${vrkc}`) },
    async () => {
      const dir = mkdtempSync(join(work, 'outside-'));
      const story = join(root, 'tests', 'golden', 'outside_program');
      execFileSync(vrkc, ['--slots', join(story, 'story.txt'), join(dir, 'GOLD')]);
      cpSync(join(story, 'extra'), dir, { recursive: true });
      const { zipSync } = await import(join(dist, 'fflate.mjs'));
      const members = {};
      for (const name of readdirSync(dir)) members[name] = readFileSync(join(dir, name));
      const path = join(work, 'outside.zip');
      writeFileSync(path, zipSync(members));
      const page = await browser.newPage();
      await page.goto(url);
      assert.ok((await openZip(page, path)).opened);
      const notice = await page.$eval('#notice', (n) => (n.hidden ? '' : n.textContent));
      assert.match(notice, /「tool\.sh --flag data\.txt」/);
      assert.match(notice, /「tool\.sh」/);
      assert.match(await pageText(page), /道具を起動した/);
      await page.close();
    },
  );

  test(
    'a page longer than several screens scrolls with the keys and is drawn wherever it is looked at',
    { skip: skip || (existsSync(vrkc) ? false : `no compiler at ${vrkc}`) },
    async () => {
      const dir = mkdtempSync(join(work, 'long-'));
      const lines = Array.from({ length: 120 }, (_, i) => `${i + 1}行目の文章です。`);
      writeFileSync(
        join(dir, 'long.txt'),
        ['*START', ...lines, '?END', 'START', '*VRKALTER', ...Array(18).fill('????'), '長い'].join('\n'),
      );
      execFileSync(vrkc, ['--slots', join(dir, 'long.txt'), join(dir, 'LONG')]);
      const { zipSync } = await import(join(dist, 'fflate.mjs'));
      const members = {};
      for (const name of readdirSync(dir)) if (name !== 'long.txt') members[name] = readFileSync(join(dir, name));
      const path = join(work, 'long.zip');
      writeFileSync(path, zipSync(members));
      const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(error.message));
      // Nonstop shows the whole page at once.
      await page.evaluateOnNewDocument(() => localStorage.setItem('vrk3.options', JSON.stringify({ nonstop: true })));
      await page.goto(url);
      assert.ok((await openZip(page, path)).opened);
      await page.waitForFunction(() => document.body.dataset.revealed === 'true');
      // Rows of the text area holding the text colour (white), top half and bottom half.
      const ink = () =>
        page.$eval('#page', (canvas) => {
          const g = canvas.getContext('2d');
          const data = g.getImageData(0, 0, canvas.width - 16, canvas.height).data;
          const rows = [0, 0];
          for (let y = 0; y < canvas.height; ++y) {
            for (let x = 0; x < canvas.width - 16; ++x) {
              const i = 4 * (y * (canvas.width - 16) + x);
              if (data[i] === 255 && data[i + 1] === 255 && data[i + 2] === 255) {
                ++rows[y < canvas.height / 2 ? 0 : 1];
                break;
              }
            }
          }
          return rows;
        });
      const top = await ink();
      assert.ok(top[0] > 0 && top[1] > 0, `text on the whole first screen: ${top}`);
      await page.keyboard.press('End');
      const state = await page.evaluate(() => window.vrkPage.state().scroll);
      assert.ok(state.enabled && state.max > 4 * 480, `a long page: ${JSON.stringify(state)}`);
      assert.equal(state.value, state.max);
      const end = await ink();
      assert.ok(end[0] > 0, `the end of the page is drawn: ${end}`);
      await page.keyboard.press('Home');
      assert.equal(await page.evaluate(() => window.vrkPage.state().scroll.value), 0);
      // A scrolled page shows whole lines only, as the window's does: the top half is as it was.
      assert.equal((await ink())[0], top[0], 'the top again, drawn the same');
      assert.deepEqual(errors, []);
      await context.close();
    },
  );

  test('saves stored in quick succession are all kept, per project', { skip: skip ?? false }, async () => {
    const page = await browser.newPage();
    await page.goto(url);
    const kept = await page.evaluate(async () => {
      const { SaveStore } = await import('./project.mjs');
      const store = await SaveStore.open('vrk3-test');
      const one = new Map([['.V01', new Uint8Array([1])]]);
      const two = new Map([['.V02', new Uint8Array([2])]]);
      await Promise.all([
        store.store('A', one),
        store.store('A', two),
        store.store('B', new Map([['.V01', new Uint8Array([9])]])),
      ]);
      const a = await store.load('A');
      return { a: [...a.keys()].sort(), b: [...(await store.load('B')).values()].map((v) => Array.from(v)) };
    });
    assert.deepEqual(kept, { a: ['.V01', '.V02'], b: [[9]] });
    await page.close();
  });

  // The demo's archive with one member's recorded sizes (local and central) rewritten to DECLARED.
  async function demoZipDeclaring(member, declared) {
    const zip = new Uint8Array(readFileSync(await demoZip()));
    const view = new DataView(zip.buffer);
    const wanted = new TextEncoder().encode(member);
    const named = (at) => wanted.every((b, i) => zip[at + i] === b);
    for (let at = 0; at + 46 < zip.length; ++at) {
      const signature = view.getUint32(at, true);
      if (signature === 0x04034b50 && view.getUint16(at + 26, true) === wanted.length && named(at + 30)) {
        view.setUint32(at + 22, declared, true);
      } else if (signature === 0x02014b50 && view.getUint16(at + 28, true) === wanted.length && named(at + 46)) {
        view.setUint32(at + 24, declared, true);
      }
    }
    const path = join(work, `declaring-${declared}.zip`);
    writeFileSync(path, zip);
    return path;
  }

  test(
    'archive members over their limits are refused in the error box, quickly, and the rest plays',
    { skip: skip ?? false },
    async () => {
      const errors = [];
      // A browser of its own for each archive, so that no slot kept from another decides what the
      // story reads first; every error box's message is kept as it opens, as the opening's own
      // answers may close it.
      const freshPage = async () => {
        const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
        const page = await context.newPage();
        page.on('pageerror', (error) => errors.push(error.message));
        await page.evaluateOnNewDocument(() => {
          window.vrkShownErrors = [];
          new MutationObserver((changes) => {
            for (const change of changes) {
              for (const added of change.addedNodes) {
                const message = added.matches?.('dialog.vrk-error') ? added.querySelector('.vrk-message') : null;
                if (message) window.vrkShownErrors.push(message.textContent);
              }
            }
          }).observe(document, { childList: true, subtree: true });
        });
        await page.goto(url);
        return { page, context };
      };
      const firstError = async (page) => {
        await page.waitForFunction(() => window.vrkShownErrors.length > 0, { timeout: 10000 });
        return page.evaluate(() => window.vrkShownErrors[0]);
      };

      // The first page's background said to be 2 GiB: the story opens and plays without it.
      let { page, context } = await freshPage();
      let started = Date.now();
      assert.ok((await openZip(page, await demoZipDeclaring('demo/night.jpg', 2 ** 31))).opened);
      assert.match(await firstError(page), /night\.jpg: .*1074790400 バイトまで/);
      assert.ok(Date.now() - started < 10000, `${Date.now() - started} ms`);
      assert.notEqual(await pageText(page), '');
      await context.close();

      // Inflating past what the archive says is refused as soon as the story reads that far.
      ({ page, context } = await freshPage());
      assert.ok((await openZip(page, await demoZipDeclaring('demo/night.jpg', 100))).opened);
      assert.match(await firstError(page), /night\.jpg: .*100 バイト/);
      await context.close();

      // A script over the script's limit opens nothing.
      ({ page, context } = await freshPage());
      started = Date.now();
      const refused = await openZip(page, await demoZipDeclaring('demo/demo.vrk', 64 * 2 ** 20 + 1));
      assert.equal(refused.opened, undefined);
      assert.match(refused.status, /開けません: demo\/demo\.vrk: .*67108864 バイトまで/);
      assert.match(await firstError(page), /demo\.vrk: .*67108864 バイトまで/);
      assert.ok(Date.now() - started < 10000, `${Date.now() - started} ms`);
      assert.deepEqual(errors, []);
      await context.close();
    },
  );
});
