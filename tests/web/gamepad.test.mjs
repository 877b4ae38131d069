// The reading page driven by a gamepad in a browser: a scripted navigator.getGamepads stands for
// a pad of the standard layout, and each press goes through the host's one rule, as the window's
// pads do (src/app/pad_mapping.h). Also the view menu's volume items, kept with the options.
//
//   node --test tests/web/gamepad.test.mjs   (after make web and building vrkc)
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const vrkc = resolve(process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
const require = createRequire(join(root, 'web', 'package.json'));

// The standard layout's indices of the buttons the test presses.
const kPad = { south: 0, east: 1, west: 2, north: 3, right: 15 };

eachEngine((engine) => {
  const skip = browserTestMissing(require, engine, dist, [[vrkc, `no compiler at ${vrkc}`]]) ?? false;

  let site;
  let zip;

  // Two pages of a single "Next", then a page of two choices.
  const kStory = [
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

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-gamepad-');
    const dir = mkdtempSync(join(site.work, 'pad-'));
    writeFileSync(join(dir, 'story.txt'), kStory.join('\n'));
    execFileSync(vrkc, ['--slots', join(dir, 'story.txt'), join(dir, 'PAD')]);
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const file of readdirSync(dir)) if (file !== 'story.txt') members[file] = readFileSync(join(dir, file));
    zip = join(site.work, 'pad.zip');
    writeFileSync(zip, zipSync(members));
  });

  after(() => site?.close());

  async function openPage() {
    const context = await (site.browser.createBrowserContext ?? site.browser.createIncognitoBrowserContext).call(
      site.browser,
    );
    const page = await context.newPage();
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    // One pad of the standard layout whose buttons and stick the test sets.
    await page.evaluateOnNewDocument(() => {
      window.pad = { buttons: Array(17).fill(false), axes: [0, 0, 0, 0] };
      navigator.getGamepads = () => [
        {
          connected: true,
          mapping: 'standard',
          buttons: window.pad.buttons.map((pressed) => ({ pressed, value: pressed ? 1 : 0 })),
          axes: window.pad.axes,
        },
      ];
    });
    await page.goto(site.url);
    await (await page.$('#zip')).uploadFile(zip);
    await waitForOpening(page);
    return { context, page };
  }

  const frames = (page) =>
    page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  // A press and its release, each held for a couple of frames as a reader's thumb would.
  async function press(page, button) {
    await page.evaluate((index) => (window.pad.buttons[index] = true), kPad[button]);
    await frames(page);
    await page.evaluate((index) => (window.pad.buttons[index] = false), kPad[button]);
    await frames(page);
  }
  const waitForText = (page, pattern) =>
    page.waitForFunction((source) => new RegExp(source).test(window.vrkPage.state()?.text ?? ''), {}, pattern.source);

  test('the pad reads the pages, goes back, and takes the choice the stick moved to', { skip }, async () => {
    const { context, page } = await openPage();
    await page.evaluate(() => window.vrkPage.hold(true)); // the reveal stops: only the pad finishes it
    await press(page, 'south');
    assert.equal(await page.evaluate(() => window.vrkPage.state().choices.enabled), true);
    await press(page, 'south');
    await waitForText(page, /^に/);
    await press(page, 'east');
    await waitForText(page, /^いち/);
    for (const expected of [/^に/, /^さん/]) {
      await press(page, 'south');
      await press(page, 'south');
      await waitForText(page, expected);
    }
    await press(page, 'south');
    // The stick pushed right and held over several frames moves the focus once.
    await page.evaluate(() => (window.pad.axes[0] = 0.9));
    await frames(page);
    await frames(page);
    await page.evaluate(() => (window.pad.axes[0] = 0));
    await frames(page);
    assert.equal(await page.evaluate(() => document.activeElement?.textContent), 'B');
    await press(page, 'south');
    await waitForText(page, /^に/); // "いいえ" goes back to P2

    // West turns auto-advance on through the menu, which keeps it with the options.
    await press(page, 'west');
    assert.equal(await page.evaluate(() => JSON.parse(localStorage.getItem('vrk3.options')).autoAdvance), true);
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test('the volume items step the kept volume and the menu names it', { skip }, async () => {
    const { context, page } = await openPage();
    const caption = () => page.$eval('#musicVolumeMenu', (button) => button.textContent);
    assert.match(await caption(), /100%/);
    await page.evaluate(() => document.getElementById('quieterMusicAction').click());
    await page.evaluate(() => document.getElementById('quieterMusicAction').click());
    const kept = await page.evaluate(() => JSON.parse(localStorage.getItem('vrk3.options')));
    assert.equal(kept.musicVolume, 80);
    assert.equal(kept.effectVolume, 100);
    // The view menu's refresh names the volume as it opens.
    await page.evaluate(() =>
      document.getElementById('viewMenu').dispatchEvent(new MouseEvent('mousedown', { bubbles: true })),
    );
    assert.match(await caption(), /80%/);
    assert.deepEqual(page.errors, []);
    await context.close();
  });
});
