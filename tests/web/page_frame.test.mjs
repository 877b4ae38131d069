// The reading page's frame in headless Chromium: the bar names the slot the story plays and the
// file menu's quick save and quick load, the page first opens at the window's default size
// (asked of the window itself, offscreen), and both the scroll bar's arrows and the corner that
// resizes the page take the mouse.
//
//   VRKC=build/tools/vrkc/vrkc VRK_WINDOW_SIZE=build/tests/web/window_size \
//     node --test tests/web/page_frame.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite, unlessIn } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const vrkc = resolve(process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
// Built beside page_snapshot, whose path make test-web passes.
const windowSize = resolve(
  process.env.VRK_WINDOW_SIZE ??
    (process.env.VRK_PAGE_SNAPSHOT
      ? join(dirname(process.env.VRK_PAGE_SNAPSHOT), 'window_size')
      : join(root, 'build', 'tests', 'web', 'window_size')),
);
const require = createRequire(join(root, 'web', 'package.json'));

eachEngine((engine) => {
  const skip = browserTestMissing(require, engine, dist, [[vrkc, `no compiler at ${vrkc}`]]) ?? false;
  const skipWindow = skip || (existsSync(windowSize) ? false : `no window size program at ${windowSize}`);

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;

  before(async () => {
    if (skip) return;
    site = await openSite(require, engine, dist, 'vrk3-frame-', { deviceScale: 1, scrollBars: true });
    ({ url, work, browser } = site);
  });

  after(() => site?.close());

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

  const kEnd = ['START', '*VRKALTER', ...Array(18).fill('????'), '枠'];

  // A page of its own browser context (no saves or options of another test), at a device pixel
  // ratio of 1.
  async function freshPage(options = {}) {
    const context = await (browser.createBrowserContext ?? browser.createIncognitoBrowserContext).call(browser);
    const page = await context.newPage();
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    await page.setViewport({ width: 1024, height: 768, deviceScaleFactor: 1 });
    await page.evaluateOnNewDocument((o) => localStorage.setItem('vrk3.options', JSON.stringify(o)), options);
    await page.goto(url);
    return { context, page };
  }

  async function open(page, zip, slot = 1) {
    await page.evaluate(() => delete document.body.dataset.opened);
    await (await page.$('#zip')).uploadFile(zip);
    await waitForOpening(page, undefined, { slot });
    assert.ok(await page.evaluate(() => document.body.dataset.opened), 'the story opens');
  }

  const bar = (page) =>
    page.evaluate(() => {
      const slot = document.getElementById('slot');
      return {
        slot: slot.hidden ? null : slot.textContent.trim(),
        save: document.getElementById('save').textContent,
        load: document.getElementById('load').textContent,
      };
    });

  test('the bar names the slot the story plays and its buttons as the file menu names them', { skip }, async () => {
    const zip = await storyZip('slots', [
      '*START',
      'はじめ',
      '?',
      '次へ',
      'P2',
      '?END',
      '*P2',
      'つぎ',
      '?END',
      ...kEnd,
    ]);
    const { context, page } = await freshPage();
    // The window's own captions for quick save and quick load (its menu model), without their accelerators.
    const menus = readFileSync(join(root, 'src', 'app', 'menu_model.cpp'), 'utf8');
    const caption = (id) => menus.match(new RegExp(`"${id}", "([^"(]+)`))[1];
    const expected = { save: caption('quickSaveAction'), load: caption('quickLoadAction') };
    assert.deepEqual(expected, { save: '一時保存', load: '一時保存を開く' });
    // Nothing plays yet: no slot is named, and neither button can be used. The captions are the
    // menu model's, which comes with the page's module.
    await page.waitForFunction(() => document.getElementById('save').textContent !== '');
    assert.deepEqual(await bar(page), { slot: null, ...expected });
    assert.deepEqual(await page.$$eval('#save, #load', (b) => b.map((x) => x.disabled)), [true, true]);

    await open(page, zip, 3);
    assert.deepEqual(await bar(page), { slot: 'スロット 3', ...expected });
    // The buttons are the quick save and quick load: after a save, loading brings its page back.
    assert.equal(await page.$eval('#save', (b) => b.disabled), false);
    await page.click('#save');
    await page.waitForFunction(() => !document.getElementById('load').disabled);
    await page.click('#page', { offset: { x: 5, y: 5 } });
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => /つぎ/.test(window.vrkPage.state().text));
    await page.click('#load');
    await page.waitForFunction(() => /はじめ/.test(window.vrkPage.state().text));

    // Opened again in another slot, the bar follows.
    await open(page, zip, 2);
    assert.equal((await bar(page)).slot, 'スロット 2');
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test(
    "the page first opens at the window's default size, its scroll bar as wide as the window's",
    { skip: skipWindow },
    async () => {
      const programDir = join(work, 'window-program');
      mkdirSync(programDir, { recursive: true });
      const window = JSON.parse(
        execFileSync(windowSize, [programDir], {
          env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' },
          stdio: ['ignore', 'pipe', 'ignore'],
        }).toString(),
      );
      const { context, page } = await freshPage();
      const size = () =>
        page.evaluate(() => {
          const frame = document.getElementById('frame').getBoundingClientRect();
          return {
            page: [frame.width, frame.height],
            menuBar: document.getElementById('menubar').getBoundingClientRect().height,
            scrollBar: document.getElementById('scroll').getBoundingClientRect().width,
          };
        });
      // The page takes its size as its module comes up.
      await page
        .waitForFunction(
          (w) => document.getElementById('frame').getBoundingClientRect().width === w,
          { timeout: 5000 },
          window.page[0],
        )
        .catch(() => {});
      const empty = await size();
      // As wide as the window's page; as high as what the page's own menu bar leaves of the window's
      // height, as the window's menu bar leaves the rest to its page.
      assert.deepEqual(
        empty.page,
        [window.page[0], window.client[1] - empty.menuBar],
        JSON.stringify({ window, empty }),
      );
      assert.equal(empty.scrollBar, window.scrollBar);

      // A story opened keeps it: its lines are laid out for the window's text area.
      await open(page, await storyZip('width', ['*START', 'あ'.repeat(100), '?END', ...kEnd]));
      assert.deepEqual((await size()).page, empty.page);
      assert.equal(
        await page.evaluate(() => window.vrkPage.state().background.width),
        window.page[0] - window.scrollBar,
      );
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );

  // The engine's own paging is kept where it has one: Chromium's and Firefox's scroll by most of a
  // page, the page itself by a whole page where WebKitGTK would only jump the thumb to the click.
  test("a click on the scroll bar's track scrolls a page towards it, and back", { skip }, async () => {
    const lines = Array.from({ length: 60 }, (_, i) => `${i + 1}行目`);
    const zip = await storyZip('track', ['*START', ...lines, '?END', ...kEnd]);
    const { context, page } = await freshPage({ nonstop: true });
    await open(page, zip);
    await page.waitForFunction(() => document.body.dataset.revealed === 'true');
    const scroll = () => page.evaluate(() => window.vrkPage.state().scroll);
    const start = await scroll();
    assert.ok(start.enabled && start.max > 2 * start.pageStep, `a page of several screens: ${JSON.stringify(start)}`);
    const bar = await page.$eval('#scroll', (s) => {
      const r = s.getBoundingClientRect();
      return { x: r.left + r.width / 2, top: r.top, height: r.height };
    });
    // Well below the thumb, above the arrow of an engine that has one.
    await page.mouse.click(bar.x, bar.top + 0.7 * bar.height);
    await page
      .waitForFunction(() => window.vrkPage.state().scroll.value > 0, { timeout: 3000 })
      .catch(() => assert.fail('a click below the thumb did not scroll'));
    // Settled where the engine's paging ends: less than a page past the reader's last line,
    // never a jump to where the click was.
    await new Promise((resolve) => setTimeout(resolve, 500));
    const down = await scroll();
    assert.ok(down.value >= start.pageStep / 2 && down.value <= start.pageStep, `a page down: ${JSON.stringify(down)}`);
    assert.equal(await page.evaluate(() => Math.round(document.getElementById('scroll').scrollTop)), down.value);
    // Above the thumb now (below an arrow at the top): back up, to the top or a line below it.
    await page.mouse.click(bar.x, bar.top + 24);
    await page
      .waitForFunction((line) => window.vrkPage.state().scroll.value <= line, { timeout: 3000 }, start.singleStep)
      .catch(async () =>
        assert.fail(
          `a click above the thumb did not scroll back: ${JSON.stringify(await scroll())}, ${JSON.stringify(down)}`,
        ),
      );
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test(
    "the scroll bar's down arrow takes a click, and the corner below it still resizes the page",
    {
      skip: skip || unlessIn(engine, { webkit: "WebKitGTK's scroll bars have no arrow buttons" }),
    },
    async () => {
      const lines = Array.from({ length: 60 }, (_, i) => `${i + 1}行目`);
      const zip = await storyZip('arrow', ['*START', ...lines, '?END', ...kEnd]);
      const { context, page } = await freshPage({ nonstop: true });
      await open(page, zip);
      await page.waitForFunction(() => document.body.dataset.revealed === 'true');
      const scroll = () => page.evaluate(() => window.vrkPage.state().scroll);
      assert.ok((await scroll()).enabled, 'a page longer than the frame');
      assert.equal((await scroll()).value, 0);
      const bar = await page.$eval('#scroll', (s) => {
        const r = s.getBoundingClientRect();
        return { right: r.right, bottom: r.bottom, width: r.width };
      });
      // The arrow is the scroll bar's last square.
      await page.mouse.click(bar.right - bar.width / 2, bar.bottom - bar.width / 2);
      await page
        .waitForFunction(() => window.vrkPage.state().scroll.value > 0, { timeout: 3000 })
        .catch(() => assert.fail(`the down arrow did not scroll: ${JSON.stringify(bar)}`));

      // The grip is the box's bottom right corner, beyond the page; dragging it resizes the page.
      const grip = await page.$eval('#sizer', (s) => {
        const r = s.getBoundingClientRect();
        return { x: r.right - 4, y: r.bottom - 4 };
      });
      const before = await page.$eval('#frame', (f) => [f.clientWidth, f.clientHeight]);
      assert.ok(grip.y > bar.bottom, 'the grip is below the scroll bar');
      await page.mouse.move(grip.x, grip.y);
      await page.mouse.down();
      await page.mouse.move(grip.x + 40, grip.y + 30, { steps: 5 });
      await page.mouse.up();
      await page.waitForFunction(
        (w) => document.getElementById('frame').clientWidth !== w,
        { timeout: 3000 },
        before[0],
      );
      const after = await page.$eval('#frame', (f) => [f.clientWidth, f.clientHeight]);
      assert.deepEqual(after, [before[0] + 40, before[1] + 30]);
      assert.deepEqual(
        await page.evaluate(() => [document.getElementById('page').width, window.vrkPage.state().background.width]),
        [after[0], after[0] - bar.width],
      );
      assert.deepEqual(page.errors, []);
      await context.close();
    },
  );
});
