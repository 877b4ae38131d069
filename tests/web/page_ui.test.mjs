// The reading page's menu bar, dialogs and drop target in headless Chromium: items and shortcuts
// under the menus' own limits, check marks kept over a reload, the dialogs answered by keyboard,
// a project archive dropped on the page.
//
//   VRK_DEMO_DIR=build/samples/demo node --test tests/web/page_ui.test.mjs
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

eachEngine((engine) => {
  const missing = () =>
    browserTestMissing(require, engine, dist, [[join(dist, 'menu.mjs'), 'no page in web/dist (make web)']]);
  const skip = missing() ?? false;
  const skipDemo = skip || (existsSync(join(demo, 'DEMO.VRK')) ? false : `no demo project in ${demo}`);

  let site; // the served page, the work folder and the browser
  let browser;
  let work;
  let url;
  let demoZip = null; // served as /demo.zip

  async function zipOfDemo() {
    const { zipSync } = await import(join(dist, 'fflate.mjs'));
    const members = {};
    for (const name of readdirSync(demo)) members[`demo/${name.toLowerCase()}`] = readFileSync(join(demo, name));
    return zipSync(members);
  }

  before(async () => {
    if (skip) return;
    if (!skipDemo) demoZip = await zipOfDemo();
    const routes = demoZip ? { 'demo.zip': { type: 'application/zip', body: demoZip } } : {};
    site = await openSite(require, engine, dist, 'vrk3-page-ui-', { serve: { routes } });
    ({ url, work, browser } = site);
  });

  after(() => site?.close());

  // A fresh page with no options kept from an earlier test.
  async function freshPage() {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(url);
    // Its faces loaded first: Firefox reports a face download the reload cuts short as an error.
    await page.waitForSelector('#fileMenu');
    await page.evaluate(() => document.fonts.ready.then(() => undefined));
    await page.evaluate(() => localStorage.clear());
    await page.reload();
    // The menus and their shortcuts come with the page's module: a key before them goes nowhere.
    await page.waitForSelector('#fileMenu');
    return { page, errors };
  }

  const kept = (page) => page.evaluate(() => JSON.parse(localStorage.getItem('vrk3.options') ?? '{}'));
  const caption = (page, id) => page.$eval(`#${id}`, (b) => b.children[1]?.textContent ?? b.textContent);
  const itemState = (page, id) =>
    page.$eval(`#${id}`, (b) => ({ disabled: b.disabled, checked: b.getAttribute('aria-checked') }));

  async function chord(page, ...keys) {
    for (const key of keys) await page.keyboard.down(key);
    for (const key of keys.reverse()) await page.keyboard.up(key);
  }

  // Opens a top menu with the mouse and leaves it open.
  async function openMenu(page, id) {
    await page.click(`#${id}`);
    await page.waitForSelector(`.vrk-top.open > #${id}`);
  }

  test('menu items and shortcuts keep their limits, and check marks outlive a reload', { skip }, async () => {
    const { page, errors } = await freshPage();
    assert.deepEqual(await page.$$eval('.vrk-top > button', (b) => b.map((x) => x.textContent)), [
      'ファイル(F)',
      '設定(O)',
      '表示(V)',
      '説明(H)',
    ]);

    // Before any project: nothing to reopen or quick-load, and Ctrl+R carries out nothing.
    await openMenu(page, 'fileMenu');
    assert.deepEqual(await itemState(page, 'reopenAction'), { disabled: true, checked: null });
    assert.equal((await itemState(page, 'quickSaveAction')).disabled, true);
    assert.equal((await itemState(page, 'quickLoadAction')).disabled, true);
    assert.equal(await caption(page, 'openAction'), '開く(O)');
    await page.keyboard.press('Escape');
    await chord(page, 'Control', 'r');
    assert.equal(await page.evaluate(() => performance.getEntriesByType('navigation').length), 1);

    // Slower by shortcut; the caption follows when the settings menu opens.
    await chord(page, 'Control', 'h');
    assert.equal((await kept(page)).revealSpeed, 3);
    await openMenu(page, 'settingsMenu');
    assert.equal(await caption(page, 'speedMenu'), '描画速度(P) 3');
    await page.keyboard.press('Escape');

    // Nonstop: its mark comes on and every speed item goes off, for its key too.
    await chord(page, 'Control', 'l');
    await chord(page, 'Control', 'h');
    const options = await kept(page);
    assert.equal(options.nonstop, true);
    assert.equal(options.revealSpeed, 3, 'a disabled item is not carried out by its shortcut');
    await openMenu(page, 'settingsMenu');
    await page.hover('#speedMenu');
    assert.equal(await caption(page, 'speedMenu'), '描画速度(P) 最速');
    assert.deepEqual(await itemState(page, 'nonstopAction'), { disabled: false, checked: 'true' });
    assert.equal((await itemState(page, 'slowerAction')).disabled, true);

    // A check mark by mouse, through its submenu.
    await page.hover('#compatibilityMenu');
    await page.click('#lowResAction');
    assert.equal((await kept(page)).lowRes, true);

    // The widest gap stops wider, by key as by menu.
    for (let i = 0; i < 12; ++i) await chord(page, 'Control', 'w');
    assert.equal((await kept(page)).gapTenths, 20);

    // The keyboard way in: Alt and the menu's letter, then the items' letters.
    await chord(page, 'Alt', 'o');
    await page.keyboard.press('p');
    await page.keyboard.press('z');
    assert.equal((await kept(page)).nonstop, false);
    await chord(page, 'Alt', 'o');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('Enter');
    assert.equal((await kept(page)).revealSpeed, 4, 'ArrowRight opened the speed menu, Enter chose slower');

    await page.reload();
    await page.waitForSelector('#settingsMenu'); // with the page's module, after the load
    await openMenu(page, 'settingsMenu');
    assert.equal(await caption(page, 'speedMenu'), '描画速度(P) 4');
    await page.hover('#compatibilityMenu');
    assert.equal((await itemState(page, 'lowResAction')).checked, 'true');
    await page.hover('#lineGapMenu');
    assert.deepEqual(await itemState(page, 'widerGapAction'), { disabled: true, checked: null });
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('no shortcut is taken while a dialog or a text box has the keys', { skip }, async () => {
    const { page } = await freshPage();
    await page.evaluate(() => {
      import('./dialogs.mjs').then((d) =>
        d.showAbout('', 'Marivex Project').then(() => {
          window.aboutClosed = true;
        }),
      );
    });
    await page.waitForSelector('dialog[open]');
    await chord(page, 'Control', 'h');
    await chord(page, 'Alt', 'o');
    assert.equal((await kept(page)).revealSpeed, undefined);
    assert.equal(await page.$('.vrk-top.open'), null);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.aboutClosed);

    await page.evaluate(() => {
      const box = document.createElement('input');
      box.id = 'typing';
      document.body.append(box);
    });
    await page.focus('#typing');
    await chord(page, 'Control', 'h');
    assert.equal((await kept(page)).revealSpeed, undefined);

    // Ctrl+C copies text the reader selected; with nothing selected it is the low-resolution mark.
    await page.evaluate(() => document.activeElement.blur());
    await page.$eval('#status', (status) => getSelection().selectAllChildren(status));
    await chord(page, 'Control', 'c');
    assert.equal((await kept(page)).lowRes, undefined);
    await page.evaluate(() => getSelection().removeAllRanges());
    await chord(page, 'Control', 'c');
    assert.equal((await kept(page)).lowRes, true);
    await page.close();
  });

  test('two tabs of the page change options without undoing each other', { skip }, async () => {
    const { page: first } = await freshPage();
    const second = await browser.newPage();
    await second.goto(url);
    await second.waitForSelector('#fileMenu');
    await chord(first, 'Control', 'l');
    await second.waitForFunction(() => JSON.parse(localStorage.getItem('vrk3.options')).nonstop);
    await second.bringToFront();
    await chord(second, 'Control', 'c');
    assert.deepEqual(await kept(first).then((o) => [o.nonstop, o.lowRes]), [true, true]);
    await first.bringToFront();
    await openMenu(first, 'settingsMenu');
    await first.hover('#compatibilityMenu');
    assert.equal((await itemState(first, 'lowResAction')).checked, 'true');
    await first.close();
    await second.close();
  });

  test(
    'the font item chooses among the served faces within 8-48 points',
    {
      skip: skip || unlessIn(engine, { webkit: 'WebDriver classic does not hear the help window open' }),
    },
    async () => {
      const { page, errors } = await freshPage();
      await chord(page, 'Control', 'f');
      await page.waitForSelector('dialog.vrk-font[open]');
      // The stored Windows face starts at the face that stands in for it.
      assert.deepEqual(await page.$$eval('dialog[open] option', (o) => o.map((x) => x.value)), [
        'IPAGothic',
        'IPAMincho',
      ]);
      assert.equal(await page.$eval('dialog[open] select', (s) => s.value), 'IPAMincho');
      await page.keyboard.press('ArrowUp');
      await page.$eval('dialog[open] input[type=number]', (box) => {
        box.value = '99';
      });
      await page.keyboard.press('Enter');
      assert.ok(await page.$('dialog.vrk-font[open]'), 'a size out of range is no font');
      await page.$eval('dialog[open] input[type=number]', (box) => {
        box.value = '20';
      });
      await page.click('dialog[open] label:nth-of-type(3) input'); // italic off
      await page.focus('dialog[open] select');
      await page.keyboard.press('Enter');
      const chosen = await kept(page);
      assert.deepEqual([chosen.fontName, chosen.fontSize, chosen.bold, chosen.italic], ['IPAGothic', 20, true, false]);

      // Cancelled, nothing changes.
      await chord(page, 'Control', 'f');
      await page.waitForSelector('dialog.vrk-font[open]');
      await page.keyboard.press('ArrowDown');
      await page.keyboard.press('Escape');
      assert.equal((await kept(page)).fontName, 'IPAGothic');

      // Without a project the about box names none.
      await openMenu(page, 'helpMenu');
      await page.click('#aboutAction');
      await page.waitForSelector('dialog.vrk-dialog[open]');
      assert.equal(await page.$eval('dialog[open] .vrk-comment', (c) => c.textContent), 'Marivex Project');
      assert.equal(await page.$('dialog[open] .vrk-erase'), null, 'the about box has no picker');
      await page.keyboard.press('Enter');
      assert.equal(await page.$('dialog[open]'), null);

      // F1 opens the manual the page serves, at its contents.
      const opened = browser.waitForTarget((target) => target.url().endsWith('/vrk3.html#HID00000002'), {
        timeout: 5000,
      });
      await page.keyboard.press('F1');
      const manual = await (await opened).page();
      await manual.waitForSelector('#HID00000002');
      await manual.close();
      assert.deepEqual(errors, []);
      await page.close();
    },
  );

  const kSlots = [
    { caption: '夏の物語', comment: '主人公:太郎' },
    { caption: '夏の物語', comment: '未使用ファイルです。' },
    { caption: '秋の物語', comment: '使用中です。' },
    { caption: '冬の物語', comment: '未使用ファイルです。' },
  ];

  const dialogText = (page) =>
    page.$eval('dialog[open]', (d) => ({
      title: d.querySelector('.vrk-title').textContent,
      comment: d.querySelector('.vrk-comment').textContent,
      focus: document.activeElement.className || document.activeElement.tagName,
    }));

  test('the slot picker answers the keyboard and cannot be cancelled', { skip }, async () => {
    const { page, errors } = await freshPage();
    await page.evaluate((slots) => {
      window.answer = import('./dialogs.mjs').then((d) => d.chooseSlot(slots, 1));
    }, kSlots);
    await page.waitForSelector('dialog[open]');
    assert.deepEqual(await dialogText(page), { title: '夏の物語', comment: '主人公:太郎', focus: 'vrk-ok' });
    assert.deepEqual(
      await page.$$eval('dialog[open] .vrk-panel > *, dialog[open] button, dialog[open] .vrk-group-title', (nodes) =>
        nodes.map((n) => n.textContent),
      ),
      ['VRKブラウザ v3.50', 'Marivex Browser for Linux', 'HP', 'Ok', ' Select File ', '消去'],
    );

    // Escape, twice, leaves the picker where it was.
    await page.keyboard.press('Escape');
    await page.keyboard.press('Escape');
    assert.ok(await page.$('dialog[open]'), 'the picker stays');

    await page.keyboard.press('Tab'); // to the slot items
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    assert.deepEqual(await dialogText(page), { title: '秋の物語', comment: '使用中です。', focus: 'INPUT' });
    await page.keyboard.press('Enter');
    assert.deepEqual(await page.evaluate(() => window.answer), { slot: 3, erase: false });
    assert.equal(await page.$('dialog'), null, 'the dialog is gone');

    // Without handlers the erase button is the answer; with them the picker stays and asks.
    await page.evaluate((slots) => {
      window.answer = import('./dialogs.mjs').then((d) => d.chooseSlot(slots, 2));
    }, kSlots);
    await page.waitForSelector('dialog[open] .vrk-erase');
    await page.click('dialog[open] .vrk-erase');
    assert.deepEqual(await page.evaluate(() => window.answer), { slot: 2, erase: true });

    await page.evaluate((slots) => {
      window.asked = [];
      window.answer = import('./dialogs.mjs').then((d) =>
        d.chooseSlot(slots, 4, {
          describe: async (slot) => {
            window.asked.push(`describe ${slot}`);
            return { caption: `slot ${slot}`, comment: '未使用ファイルです。' };
          },
          erase: (slot) => {
            window.asked.push(`erase ${slot}`);
            if (window.asked.length > 2) throw new Error('ユーザーデータ書込み不能');
            return { caption: `slot ${slot}`, comment: '初期化(OKならもう一度消去を押す)' };
          },
        }),
      );
    }, kSlots);
    await page.waitForSelector('dialog[open]');
    await page.click('dialog[open] input[value="1"]');
    await page.waitForFunction(() => document.querySelector('dialog[open] .vrk-title').textContent === 'slot 1');
    await page.click('dialog[open] .vrk-erase');
    await page.waitForFunction(() => /初期化/.test(document.querySelector('dialog[open] .vrk-comment').textContent));
    await page.click('dialog[open] .vrk-erase');
    await page.waitForFunction(() =>
      /書込み不能/.test(document.querySelector('dialog[open] .vrk-comment').textContent),
    );
    await page.focus('dialog[open] .vrk-ok');
    await page.keyboard.press('Enter');
    assert.deepEqual(await page.evaluate(() => window.answer), { slot: 1, erase: false });
    assert.deepEqual(await page.evaluate(() => window.asked), ['describe 1', 'erase 1', 'erase 1']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('the name box keeps 16 Shift-JIS bytes and takes no empty name', { skip }, async () => {
    const { page } = await freshPage();
    const ask = (prompt, name) =>
      page.evaluate(
        (p, n) => {
          window.answer = import('./dialogs.mjs').then((d) => d.enterName(p, n));
        },
        prompt,
        name,
      );
    await ask('主人公を入力して下さい', '太郎');
    await page.waitForSelector('dialog[open] .vrk-name');
    assert.deepEqual(await dialogText(page), { title: '', comment: '主人公を入力して下さい', focus: 'vrk-name' });
    assert.equal(await page.$eval('.vrk-name', (box) => box.value.slice(box.selectionStart, box.selectionEnd)), '太郎');
    // Typing replaces the selected default; what does not fit is dropped whole.
    await page.keyboard.type('あいうえおかきくけこ');
    assert.equal(await page.$eval('.vrk-name', (box) => box.value), 'あいうえおかきく');
    await page.keyboard.press('Enter');
    assert.equal(await page.evaluate(() => window.answer), 'あいうえおかきく');

    // Pasted text past the limit, in the middle of what stands: the part after the caret stays.
    await ask('相手を入力して下さい', 'abcdefghijklmn');
    await page.waitForSelector('dialog[open] .vrk-name');
    await page.$eval('.vrk-name', (box) => box.setSelectionRange(2, 2));
    // As an input method hands them over, one character at a time (WebDriver BiDi takes no more).
    for (const character of '漢字') await page.keyboard.sendCharacter(character);
    assert.equal(await page.$eval('.vrk-name', (box) => box.value), 'ab漢cdefghijklmn');
    await page.keyboard.press('Escape');
    assert.equal(await page.evaluate(() => window.answer), 'ab漢cdefghijklmn', 'Escape takes the box as it is');

    // While an input method composes, neither the limit nor Enter interrupts it; its end cuts.
    await ask('', '');
    await page.waitForSelector('dialog[open] .vrk-name');
    const composed = await page.$eval('.vrk-name', (box) => {
      box.value = 'かんじへんかんちゅうです';
      box.dispatchEvent(new InputEvent('input', { isComposing: true, bubbles: true }));
      const during = box.value;
      box.dispatchEvent(
        new KeyboardEvent('keydown', { key: 'Enter', isComposing: true, bubbles: true, cancelable: true }),
      );
      const open = box.closest('dialog').open;
      box.dispatchEvent(new CompositionEvent('compositionend', { bubbles: true }));
      return { during, open, after: box.value };
    });
    assert.deepEqual(composed, { during: 'かんじへんかんちゅうです', open: true, after: 'かんじへんかんち' });
    await page.keyboard.press('Enter');
    assert.equal(await page.evaluate(() => window.answer), 'かんじへんかんち');

    await ask('', 'ﾀﾛｳ');
    await page.waitForSelector('dialog[open] .vrk-name');
    await page.keyboard.press('Backspace');
    await page.keyboard.press('Enter');
    await page.keyboard.press('Escape');
    assert.ok(await page.$('dialog[open]'), 'an empty name is no answer');
    await page.keyboard.type('ﾀﾛｳｼﾞﾛｳｻﾌﾞﾛｳｼﾛｳｺﾞﾛｳ');
    await page.keyboard.press('Enter');
    assert.equal(await page.evaluate(() => window.answer), 'ﾀﾛｳｼﾞﾛｳｻﾌﾞﾛｳｼﾛｳｺ');
    await page.close();
  });

  test(
    'a project archive dropped on the page opens it',
    {
      skip:
        skipDemo ||
        unlessIn(engine, { webkit: "WebKit gives a script-made drop's file no path, which a reader's drop has" }),
    },
    async () => {
      const zip = Buffer.from(demoZip).toString('base64');
      const { page, errors } = await freshPage();
      const dropZip = () =>
        page.evaluate((base64) => {
          const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
          const carried = new DataTransfer();
          carried.items.add(new File([bytes], 'demo.zip', { type: 'application/zip' }));
          const stage = document.getElementById('stage');
          for (const type of ['dragenter', 'dragover', 'drop']) {
            stage.dispatchEvent(new DragEvent(type, { dataTransfer: carried, bubbles: true, cancelable: true }));
          }
        }, zip);

      // Not while a dialog is up: input belongs to the dialog.
      await page.evaluate(() =>
        import('./dialogs.mjs').then((d) => {
          d.showAbout('', '');
        }),
      );
      await page.waitForSelector('dialog[open]');
      await dropZip();
      await new Promise((done) => setTimeout(done, 300));
      assert.equal(await page.evaluate(() => document.body.dataset.opened), undefined);
      await page.keyboard.press('Escape');

      await dropZip();
      await waitForOpening(page, /開けません/);
      assert.match(
        await page.evaluate(() => document.body.dataset.opened ?? ''),
        /^DEMO\.VRK:/,
        await page.$eval('#status', (s) => s.textContent),
      );
      assert.notEqual(await page.$eval('#page', (c) => c.getAttribute('aria-label') ?? ''), '');
      assert.equal(await page.evaluate(() => document.body.classList.contains('vrk-dropping')), false);
      // A shortcut's letter is not a choice key as well.
      const shown = await page.$eval('#page', (c) => c.getAttribute('aria-label'));
      await chord(page, 'Control', 'a');
      assert.equal((await kept(page)).autoAdvance, true);
      assert.equal(await page.$eval('#page', (c) => c.getAttribute('aria-label')), shown);
      // An open project enables what needs one.
      await openMenu(page, 'fileMenu');
      assert.equal((await itemState(page, 'reopenAction')).disabled, false);
      assert.equal((await itemState(page, 'quickSaveAction')).disabled, false);
      assert.deepEqual(errors, []);
      await page.close();
    },
  );

  test('a story named in the page address opens at once', { skip: skipDemo }, async () => {
    const page = await browser.newPage();
    await page.goto(`${url}?zip=demo.zip`);
    await waitForOpening(page, /開けません/);
    assert.match(await page.evaluate(() => document.body.dataset.opened ?? ''), /^DEMO\.VRK:/);
    // One that is not there says so and opens nothing.
    await page.goto(`${url}?zip=missing.zip`);
    await page.waitForFunction(() => /開けません/.test(document.getElementById('status').textContent));
    assert.match(await page.$eval('#status', (s) => s.textContent), /404 missing\.zip/);
    assert.equal(await page.evaluate(() => document.body.dataset.opened), undefined);
    await page.close();
  });
});
