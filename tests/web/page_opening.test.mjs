// What the reading page tells a reader in headless Chromium when a file cannot be opened (in its
// error box, in Japanese, naming the file as the reader has it, before any slot is asked for),
// and that loading the page and playing its first MIDI file leave the console and the network
// clean: no error, no request that fails.
//
//   VRKC=build/tools/vrkc/vrkc node --test tests/web/page_opening.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
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
  const skip =
    browserTestMissing(require, engine, dist, [[vrkc, `no compiler at ${vrkc}`]]) ??
    unlessIn(engine, {
      webkit: "WebDriver classic hears neither a page's console nor its requests, which these tests watch",
    });

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-opening-', { autoplay: true });
    ({ url, work, browser } = site);
  });

  after(() => site?.close());

  const kEnd = ['START', '*VRKALTER', ...Array(18).fill('????'), '開く'];

  // A compiled story's files (EXTRA: more of them by name), as a folder.
  function storyFolder(name, lines, extra = {}) {
    const dir = mkdtempSync(join(work, `${name}-`));
    writeFileSync(join(dir, 'story.txt'), lines.join('\n'));
    execFileSync(vrkc, ['--slots', join(dir, 'story.txt'), join(dir, name.toUpperCase())]);
    for (const [file, bytes] of Object.entries(extra)) writeFileSync(join(dir, file), bytes);
    const files = {};
    for (const file of readdirSync(dir))
      if (file !== 'story.txt') files[file] = new Uint8Array(readFileSync(join(dir, file)));
    return files;
  }

  async function zipOf(name, members) {
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const path = join(work, name);
    writeFileSync(path, zipSync(members));
    return path;
  }

  // A page of its own browser context that keeps every console error, failed request and error
  // box message, and notes whether the slot picker ever opened.
  async function watchedPage() {
    const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
    const page = await context.newPage();
    const seen = { console: [], requests: [], pageErrors: [] };
    page.on('console', (message) => {
      if (message.type() === 'error') seen.console.push(`${message.text()} (${message.location()?.url ?? ''})`);
    });
    page.on('pageerror', (error) => seen.pageErrors.push(error.message));
    page.on('requestfailed', (request) => seen.requests.push(`${request.url()}: ${request.failure()?.errorText}`));
    page.on('response', (response) => {
      if (response.status() >= 400) seen.requests.push(`${response.url()}: ${response.status()}`);
    });
    await page.evaluateOnNewDocument(() => {
      window.vrkShown = { errors: [], picker: false };
      new MutationObserver((changes) => {
        for (const change of changes) {
          for (const added of change.addedNodes) {
            if (!added.matches?.('dialog')) continue;
            if (added.querySelector('input[name="vrk-slot"]')) window.vrkShown.picker = true;
            const message = added.matches('dialog.vrk-error') ? added.querySelector('.vrk-message') : null;
            if (message) window.vrkShown.errors.push(message.textContent);
          }
        }
      }).observe(document, { childList: true, subtree: true });
    });
    await page.goto(url);
    return { context, page, seen };
  }

  // The first error box's message, answered; whether the picker had opened by then.
  async function errorBox(page) {
    await page.waitForFunction(() => window.vrkShown.errors.length > 0, { timeout: 10000 }).catch(() => {});
    const shown = await page.evaluate(() => ({
      ...window.vrkShown,
      status: document.getElementById('status').textContent,
    }));
    if (await page.$('dialog[open]')) await page.keyboard.press('Enter');
    return { message: shown.errors[0] ?? null, picker: shown.picker, status: shown.status };
  }

  // Japanese throughout: no English word is left once the file's own name is taken out.
  function assertJapanese(message, name) {
    assert.doesNotMatch(message.replaceAll(name, ''), /[A-Za-z]{2,}/, message);
  }

  test('a file that is no archive, or a damaged one, is refused in the error box in Japanese', { skip }, async () => {
    const story = storyFolder('broken', ['*START', 'はじめ', '?END', ...kEnd]);
    const whole = readFileSync(await zipOf('whole.zip', story));
    const damaged = {
      // Text under an archive's name.
      'text.zip': new TextEncoder().encode('これは書庫ではありません。just some text'),
      // An archive cut short: its directory is gone.
      'cut.zip': whole.subarray(0, Math.floor(whole.length / 2)),
      // The directory's records overwritten: the archive still ends as a zip does.
      'directory.zip': (() => {
        const bytes = new Uint8Array(whole);
        const view = new DataView(bytes.buffer);
        for (let at = 0; at + 4 <= bytes.length; ++at)
          if (view.getUint32(at, true) === 0x02014b50) view.setUint32(at, 0, true);
        return bytes;
      })(),
    };
    for (const [name, bytes] of Object.entries(damaged)) {
      const { context, page, seen } = await watchedPage();
      const path = join(work, name);
      writeFileSync(path, bytes);
      await (await page.$('#zip')).uploadFile(path);
      const shown = await errorBox(page);
      assert.ok(shown.message, `${name}: an error box (status: ${shown.status})`);
      assert.match(shown.message, new RegExp(`^開けません: ${name.replace('.', '\\.')}: `));
      assertJapanese(shown.message, name);
      assert.equal(shown.picker, false);
      assert.equal(await page.evaluate(() => document.body.dataset.opened), undefined);
      assert.deepEqual(seen.pageErrors, []);
      await context.close();
    }

    // The script's compressed bytes damaged: the archive's directory is whole, its member is not.
    const { unzipSync } = await import(join(dist, 'fflate.mjs'));
    assert.ok(unzipSync(whole)['BROKEN.VRK'].length > 0);
    const bytes = new Uint8Array(whole);
    const view = new DataView(bytes.buffer);
    const nameAt = (at) => new TextDecoder().decode(bytes.subarray(at + 30, at + 30 + view.getUint16(at + 26, true)));
    let local = 0;
    while (!(view.getUint32(local, true) === 0x04034b50 && nameAt(local) === 'BROKEN.VRK')) ++local;
    const start = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
    bytes.fill(0xff, start, start + 16);
    const path = join(work, 'member.zip');
    writeFileSync(path, bytes);
    const { context, page } = await watchedPage();
    await (await page.$('#zip')).uploadFile(path);
    const shown = await errorBox(page);
    assert.match(shown.message ?? shown.status, /^開けません: BROKEN\.VRK: 書庫が壊れています/);
    assertJapanese(shown.message, 'BROKEN.VRK');
    assert.equal(shown.picker, false);
    await context.close();
  });

  test(
    "a script over the player's limit is refused before the slot picker, under the name the reader knows",
    { skip },
    async () => {
      const limit = 64 * 2 ** 20;
      const big = new Uint8Array(limit + 1).fill(0x41);
      // From a folder: its files as the folder input hands them over.
      const folder = join(work, 'bigstory');
      mkdirSync(folder, { recursive: true });
      writeFileSync(join(folder, 'BIG.VRK'), big);
      let { context, page, seen } = await watchedPage();
      await page.$eval('#folder', (input) => input.removeAttribute('webkitdirectory'));
      await (await page.$('#folder')).uploadFile(join(folder, 'BIG.VRK'));
      let shown = await errorBox(page);
      assert.equal(shown.message, `開けません: BIG.VRK: ファイルが大きすぎます（${limit} バイトまで）`, shown.status);
      assert.equal(shown.picker, false);
      assert.deepEqual(seen.pageErrors, []);
      await context.close();

      // From an archive, wrapped in a folder of its own.
      ({ context, page } = await watchedPage());
      await (await page.$('#zip')).uploadFile(await zipOf('big.zip', { 'big/BIG.VRK': big }));
      shown = await errorBox(page);
      assert.equal(
        shown.message,
        `開けません: big/BIG.VRK: ファイルが大きすぎます（${limit} バイトまで）`,
        shown.status,
      );
      assert.equal(shown.picker, false);
      await context.close();
    },
  );

  // The smallest General MIDI song: one note.
  function oneNoteSong() {
    const track = [0x00, 0x90, 0x3c, 0x40, 0x60, 0x80, 0x3c, 0x00, 0x00, 0xff, 0x2f, 0x00];
    return new Uint8Array([
      0x4d,
      0x54,
      0x68,
      0x64,
      0,
      0,
      0,
      6,
      0,
      0,
      0,
      1,
      0,
      0x60,
      0x4d,
      0x54,
      0x72,
      0x6b,
      0,
      0,
      0,
      track.length,
      ...track,
    ]);
  }

  test('loading the page and playing its first MIDI file log no error and fail no request', { skip }, async () => {
    const { context, page, seen } = await watchedPage();
    // The page names its icon: the browser asks for nothing the page does not have.
    const icon = await page.$eval('link[rel~="icon"]', (link) => link.href);
    assert.equal(await page.evaluate((href) => fetch(href).then((r) => r.status), icon), 200);
    await page.waitForNetworkIdle({ idleTime: 300 });
    assert.deepEqual(seen, { console: [], requests: [], pageErrors: [] });

    const story = storyFolder('music', ['*START', '>BGM=song.mid', '音楽が鳴る。', '?END', ...kEnd], {
      'song.mid': oneNoteSong(),
    });
    await (await page.$('#zip')).uploadFile(await zipOf('music.zip', story));
    await waitForOpening(page);
    await page.click('#page', { offset: { x: 5, y: 5 } });
    // The synthesizer is made and has rendered the song.
    await page.waitForFunction(
      () => import('./sound.mjs').then((s) => s.soundStats().synthLoads > 0 && s.soundStats().midiPeak > 0),
      { timeout: 30000, polling: 200 },
    );
    assert.deepEqual(seen, { console: [], requests: [], pageErrors: [] });
    await context.close();
  });
});
