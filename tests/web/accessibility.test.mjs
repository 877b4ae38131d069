// The reading page as a screen reader meets it, in headless Chromium: axe-core finds no serious or
// critical fault on the slot picker, a page with choices, an open menu and the backlog; the
// choice buttons are named by their choices in the browser's accessibility tree; each new page is
// announced by the polite live region; a dialog keeps the focus while it is open.
//
//   VRK_DEMO_DIR=build/samples/demo node --test tests/web/accessibility.test.mjs
import assert from 'node:assert/strict';
import { existsSync, readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, openSite, unlessIn } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const demo = resolve(process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo'));
const require = createRequire(join(root, 'web', 'package.json'));

function axeMissing() {
  try {
    require.resolve('axe-core/axe.min.js');
    return null;
  } catch {
    return 'axe-core is not installed (scripts/install-deps-web)';
  }
}

eachEngine((engine) => {
  const skip =
    unlessIn(engine, {
      firefox: "the accessibility tree is read through Chromium's DevTools protocol",
      webkit: "the accessibility tree is read through Chromium's DevTools protocol",
    }) ||
    browserTestMissing(require, engine, dist) ||
    axeMissing() ||
    (existsSync(join(demo, 'DEMO.VRK')) ? false : `no demo project in ${demo}`);

  let site;
  const impacts = { critical: 0, serious: 0, moderate: 0, minor: 0 };
  const lesser = new Set(); // the faults below serious, reported rather than failed

  before(async () => {
    if (skip) return;
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const name of readdirSync(demo)) members[`demo/${name.toLowerCase()}`] = readFileSync(join(demo, name));
    const routes = { 'demo.zip': { type: 'application/zip', body: zipSync(members) } };
    site = await openSite(require, engine, dist, 'vrk3-a11y-', { serve: { routes } });
  });

  after(async () => {
    await site?.close();
    if (!skip) console.log(`axe-core violations by impact: ${JSON.stringify(impacts)}: ${[...lesser].join(', ')}`);
  });

  // axe-core's verdict on the page as it stands; fails on anything serious or critical.
  async function audit(page, where) {
    if (!(await page.evaluate(() => 'axe' in window))) {
      await page.addScriptTag({ content: readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8') });
    }
    const violations = await page.evaluate(async () => {
      const results = await window.axe.run(document, { resultTypes: ['violations'] });
      return results.violations.map((v) => ({
        id: v.id,
        impact: v.impact,
        nodes: v.nodes.map((n) => n.target.join(' ')),
      }));
    });
    for (const v of violations) {
      impacts[v.impact] = (impacts[v.impact] ?? 0) + 1;
      lesser.add(`${v.id} (${where})`);
    }
    const grave = violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    assert.deepEqual(grave, [], `${where}: ${JSON.stringify(grave)}`);
    return violations;
  }

  // The names Chromium gives the buttons of the page's choice bar.
  async function choiceNames(page) {
    const bar = await page.$('#choices');
    const tree = await page.accessibility.snapshot({ root: bar, interestingOnly: false });
    const names = [];
    const walk = (node) => {
      if (node.role === 'button') names.push(node.name);
      for (const child of node.children ?? []) walk(child);
    };
    if (tree) walk(tree);
    return names;
  }

  const announced = (page) => page.$eval('#announcer', (region) => region.textContent);

  test('the picker, a page with choices, the open menu and the backlog', { skip }, async () => {
    const page = await site.browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`${site.url}?zip=demo.zip`);

    // The slot picker: a labelled modal dialog that keeps the focus.
    const picker = await page.waitForSelector('dialog[open] input[name="vrk-slot"]');
    const dialog = await picker.evaluateHandle((item) => item.closest('dialog'));
    const labelled = await dialog.evaluate((d) => ({
      modal: d.getAttribute('aria-modal'),
      name: (d.getAttribute('aria-labelledby') ?? '')
        .split(' ')
        .map((id) => document.getElementById(id)?.textContent ?? '')
        .join(' '),
    }));
    assert.equal(labelled.modal, 'true');
    assert.match(labelled.name, /セーブスロットの選択/);
    for (let i = 0; i < 8; ++i) {
      await page.keyboard.press('Tab');
      assert.equal(await dialog.evaluate((d) => d.contains(document.activeElement)), true, `Tab ${i + 1}`);
    }
    for (let i = 0; i < 3; ++i) {
      await page.keyboard.down('Shift');
      await page.keyboard.press('Tab');
      await page.keyboard.up('Shift');
      assert.equal(await dialog.evaluate((d) => d.contains(document.activeElement)), true, `Shift+Tab ${i + 1}`);
    }
    await audit(page, 'the slot picker');

    // The first page, with its choices.
    await waitForOpening(page, /開けません/);
    await page.waitForFunction(() => document.body.dataset.revealed === 'true', { timeout: 20000 });
    assert.deepEqual(await choiceNames(page), ['A: 列車を降りる', 'B: このまま眠る']);
    assert.match(await announced(page), /^夜行列車が、小さな駅に止まった。[\s\S]*A: 列車を降りる/);
    assert.match(await page.$eval('#page-text', (twin) => twin.textContent), /B: このまま眠る$/);
    await audit(page, 'a page with choices');

    // An open menu.
    await page.click('#viewMenu');
    await page.waitForSelector('.vrk-top.open > #viewMenu');
    await audit(page, 'the open view menu');
    await page.keyboard.press('Escape');

    // The next page is announced in its turn; the backlog then holds the first.
    await page.click('#choices button:first-child');
    await page.waitForFunction(() => /^ホームには誰もいない。/.test(document.getElementById('announcer').textContent));
    await page.waitForFunction(() => document.body.dataset.revealed === 'true', { timeout: 20000 });
    await page.click('#viewMenu');
    await page.waitForSelector('.vrk-top.open > #viewMenu');
    await page.click('#backlogAction');
    await page.waitForFunction(() => !document.getElementById('backlog').hidden);
    assert.match(await page.$eval('#backlog', (b) => b.textContent), /夜行列車が/);
    await audit(page, 'the backlog');
    assert.deepEqual(errors, []);
    await page.close();
  });
});
