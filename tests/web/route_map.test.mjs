// The view menu's route map on the reading page: it opens over the demo and shows the pages read
// by their labels, every way into the unread as "？", and no unread page's label.
//
//   VRK_DEMO_DIR=build/samples/demo node --test tests/web/route_map.test.mjs
import assert from 'node:assert/strict';
import { existsSync, readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const demo = resolve(process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo'));
const require = createRequire(join(root, 'web', 'package.json'));
// Every label of the demo, from its source.
const demoLabels = readFileSync(join(root, 'samples', 'demo', 'demo.txt'), 'utf8')
  .split('\n')
  .filter((line) => line.startsWith('*'))
  .map((line) => line.slice(1).trim());

eachEngine((engine) => {
  const missing = () =>
    browserTestMissing(require, engine, dist, [[join(dist, 'route_map.mjs'), 'no page in web/dist (make web)']]);
  const skip = missing() ?? (existsSync(join(demo, 'DEMO.VRK')) ? false : `no demo project in ${demo}`);

  let site;
  before(async () => {
    if (skip) return;
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const name of readdirSync(demo)) members[`demo/${name.toLowerCase()}`] = readFileSync(join(demo, name));
    const routes = { 'demo.zip': { type: 'application/zip', body: zipSync(members) } };
    site = await openSite(require, engine, dist, 'vrk3-route-map-', { serve: { routes } });
  });
  after(() => site?.close());

  // The map's dialog opened from the view menu: its page boxes' and captions' texts.
  async function openMap(page) {
    await page.click('#viewMenu');
    await page.waitForSelector('.vrk-top.open > #viewMenu');
    assert.equal(await page.$eval('#readerMapAction', (b) => b.disabled), false);
    await page.click('#readerMapAction');
    await page.waitForSelector('dialog#route-map[open] svg');
    return page.$eval('dialog#route-map', (dialog) => ({
      title: dialog.querySelector('.vrk-route-map-title').textContent,
      pages: [...dialog.querySelectorAll('.vrk-map-page')].map((g) => ({
        label: g.querySelector('text').textContent,
        current: g.classList.contains('current'),
      })),
      captions: [...dialog.querySelectorAll('.vrk-map-caption')].map((t) => t.firstChild.textContent),
      text: dialog.textContent,
    }));
  }

  test('the route map shows the pages read and nothing unread', { skip }, async () => {
    const page = await site.browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`${site.url}?zip=demo.zip`);
    await waitForOpening(page, /開けません/);

    let map = await openMap(page);
    assert.equal(map.title, '読んだ道筋');
    assert.deepEqual(map.pages, [
      { label: 'START', current: true },
      { label: '？', current: false },
      { label: '？', current: false },
    ]);
    assert.deepEqual(map.captions.sort(), ['このまま眠る', '列車を降りる']);
    for (const label of demoLabels.filter((l) => l !== 'START')) assert.ok(!map.text.includes(label), label);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => !document.querySelector('dialog#route-map'));

    // Off the train: the platform is read and on show, the way to sleep still unknown.
    await page.keyboard.press('a');
    await page.waitForFunction(() => /ホーム/.test(document.getElementById('page').getAttribute('aria-label') ?? ''));
    map = await openMap(page);
    assert.deepEqual(
      map.pages.filter((p) => p.label !== '？'),
      [
        { label: 'START', current: false },
        { label: 'P_PLATF', current: true },
      ],
    );
    assert.ok(!map.text.includes('P_SLEEP'));
    assert.deepEqual(errors, []);
    await page.close();
  });
});
