// The page's options as local storage keeps them, the name box's byte limit, the menu rules and
// reading a dropped folder, without a browser.
//
//   node --test tests/web/page_options.test.mjs   (after make web)
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const dist = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'web', 'dist');
const skip = existsSync(join(dist, 'options.mjs')) ? false : 'no page in web/dist (make web)';
const options = () => import(join(dist, 'options.mjs'));
const dialogs = () => import(join(dist, 'dialogs.mjs'));
const drop = () => import(join(dist, 'drop.mjs'));

// Local storage as far as the options use it; BROKEN makes it refuse as a browser may.
function memoryStorage(broken = {}) {
  const items = new Map();
  return {
    items,
    getItem(key) {
      if (broken.read) throw new Error('SecurityError');
      return items.has(key) ? items.get(key) : null;
    },
    setItem(key, value) {
      if (broken.write) throw new Error('QuotaExceededError');
      items.set(key, String(value));
    },
  };
}

test('stored options are read back as the desktop reads its settings file', { skip }, async () => {
  const { validateOptions, kDefaultOptions } = await options();
  const read = (stored) => validateOptions({ ...kDefaultOptions, ...stored });
  // Speed: 0-5 kept, above 5 or below 0 gives 2; text numbers count, other text keeps the default.
  assert.equal(read({ revealSpeed: 5 }).revealSpeed, 5);
  assert.equal(read({ revealSpeed: 0 }).revealSpeed, 0);
  assert.equal(read({ revealSpeed: 6 }).revealSpeed, 2);
  assert.equal(read({ revealSpeed: -1 }).revealSpeed, 2);
  assert.equal(read({ revealSpeed: '0x4' }).revealSpeed, 4);
  assert.equal(read({ revealSpeed: 3.5 }).revealSpeed, 2);
  assert.equal(read({ revealSpeed: 'fast' }).revealSpeed, 2);
  // Gap: clamped into 10-20, never lines of no height.
  assert.equal(read({ gapTenths: 0 }).gapTenths, 10);
  assert.equal(read({ gapTenths: -40 }).gapTenths, 10);
  assert.equal(read({ gapTenths: 99 }).gapTenths, 20);
  assert.equal(read({ gapTenths: 15 }).gapTenths, 15);
  assert.equal(read({ gapTenths: null }).gapTenths, 12);
  // Check marks: booleans, or numbers where anything but 0 is on; anything else the default.
  assert.equal(read({ mid: '0' }).mid, false);
  assert.equal(read({ oldExe: 7 }).oldExe, true);
  assert.equal(read({ wav: 'yes' }).wav, true);
  assert.equal(read({ lowRes: {} }).lowRes, false);
  // Font: any positive size is used; zero, negative or no number keeps 16.
  assert.equal(read({ fontSize: 72 }).fontSize, 72);
  assert.equal(read({ fontSize: '12' }).fontSize, 12);
  assert.equal(read({ fontSize: 0 }).fontSize, 16);
  assert.equal(read({ fontSize: -9 }).fontSize, 16);
  assert.equal(read({ fontName: 42 }).fontName, kDefaultOptions.fontName);
  assert.equal(read({ fontName: 'x'.repeat(5000) }).fontName, kDefaultOptions.fontName);
  // Keys of other versions are dropped, and a value that is not an object gives the defaults.
  assert.equal('windowLeft' in validateOptions({ windowLeft: 3 }), false);
  assert.deepEqual(validateOptions([1, 2]), kDefaultOptions);
  assert.deepEqual(validateOptions(null), kDefaultOptions);
});

test('settings-file numbers: signs, hexadecimal, 32 bits', { skip }, async () => {
  const { profileInteger } = await options();
  assert.equal(profileInteger(' +7 '), 7);
  assert.equal(profileInteger('0xFFFFFFFF'), -1);
  assert.equal(profileInteger('-0xFFFFFFFF'), 1);
  assert.equal(profileInteger('0x100000000'), null);
  assert.equal(profileInteger('2147483647'), 2147483647);
  assert.equal(profileInteger('2147483648'), null);
  assert.equal(profileInteger('-2147483648'), -2147483648);
  assert.equal(profileInteger('0x'), null);
  assert.equal(profileInteger(''), null);
  assert.equal(profileInteger('1 2'), null);
  assert.equal(profileInteger(2 ** 31), null);
});

test('options outlive the page and survive a storage that refuses', { skip }, async () => {
  const { loadOptions, saveOptions, onOptionsChanged, kDefaultOptions, kOptionsKey } = await options();
  const storage = memoryStorage();
  const heard = [];
  const stop = onOptionsChanged((o) => heard.push(o));
  try {
    assert.equal(saveOptions({ ...kDefaultOptions, revealSpeed: 4, nonstop: true, gapTenths: 3 }, storage), true);
    // What is kept is what is read back: the gap already held within its range.
    assert.deepEqual(loadOptions(storage), { ...kDefaultOptions, revealSpeed: 4, nonstop: true, gapTenths: 10 });
    assert.equal(heard.at(-1).gapTenths, 10);

    storage.items.set(kOptionsKey, '{"revealSpeed": 3,');
    assert.deepEqual(loadOptions(storage), kDefaultOptions, 'a damaged entry gives the defaults');
    storage.items.set(kOptionsKey, '"text"');
    assert.deepEqual(loadOptions(storage), kDefaultOptions);
    assert.deepEqual(loadOptions(memoryStorage({ read: true })), kDefaultOptions);

    // The page goes on with options it could not keep.
    assert.equal(saveOptions({ ...kDefaultOptions, lowRes: true }, memoryStorage({ write: true })), false);
    assert.equal(heard.at(-1).lowRes, true);
  } finally {
    stop();
  }
});

test('speed and line-gap items keep to their ranges', { skip }, async () => {
  const { speedItemsFor, applySpeedTag, speedCaption, gapItemsFor, applyGapTag } = await options();
  assert.deepEqual(speedItemsFor(2, false), { slow: true, fast: true, normal: false });
  assert.deepEqual(speedItemsFor(5, false), { slow: false, fast: true, normal: true });
  assert.deepEqual(speedItemsFor(1, false), { slow: true, fast: false, normal: true });
  assert.deepEqual(speedItemsFor(0, false), { slow: true, fast: false, normal: true });
  assert.deepEqual(speedItemsFor(3, true), { slow: false, fast: false, normal: false });
  assert.equal(applySpeedTag(4, 1), 5);
  assert.equal(applySpeedTag(4, -1), 3);
  assert.equal(applySpeedTag(4, 0), 2);
  assert.equal(speedCaption(4, false), '描画速度(&P) 4');
  assert.equal(speedCaption(4, true), '描画速度(&P) 最速');
  assert.deepEqual(gapItemsFor(20), { wide: false, narrow: true, standard: true });
  assert.deepEqual(gapItemsFor(10), { wide: true, narrow: false, standard: true });
  assert.deepEqual(gapItemsFor(12), { wide: true, narrow: true, standard: false });
  assert.equal(applyGapTag(19, 1), 20);
  assert.equal(applyGapTag(19, 0), 12);
});

test('stored faces are drawn with a face the page serves', { skip }, async () => {
  const { fontFamilyFor } = await options();
  assert.equal(fontFamilyFor('ＭＳ 明朝'), 'IPAMincho');
  assert.equal(fontFamilyFor('ＭＳ Ｐゴシック'), 'IPAGothic');
  assert.equal(fontFamilyFor('MS Gothic'), 'IPAGothic');
  assert.equal(fontFamilyFor('IPAMincho'), 'IPAMincho');
  assert.equal(fontFamilyFor('Comic Sans'), 'IPAGothic');
  assert.equal(fontFamilyFor('ＭＳ 明朝', ['IPAGothic']), 'IPAGothic');
});

test('names are counted and cut in Shift-JIS bytes, never inside a character', { skip }, async () => {
  const { sjisByteLength, cutToSjisBytes, kMaxNameBytes } = await dialogs();
  assert.equal(kMaxNameBytes, 16);
  assert.equal(sjisByteLength('Taro'), 4);
  assert.equal(sjisByteLength('ﾀﾛｳ'), 3, 'half-width katakana take one byte');
  assert.equal(sjisByteLength('太郎'), 4);
  assert.equal(sjisByteLength('Ａ'), 2, 'full-width letters take two');
  assert.equal(cutToSjisBytes('あいうえおかきくけこ', 16), 'あいうえおかきく');
  // Fifteen bytes and a two-byte character: the character goes whole.
  assert.equal(cutToSjisBytes('abcdefghijklmnoあ', 16), 'abcdefghijklmno');
  assert.equal(cutToSjisBytes('abcdefghijklmnoｱ', 16), 'abcdefghijklmnoｱ');
  // A character outside the basic plane is one code point of two UTF-16 units: never halved.
  const cut = cutToSjisBytes('abcdefghijklmno😀', 16);
  assert.equal(cut, 'abcdefghijklmno');
  assert.equal(cutToSjisBytes('😀😀😀😀😀😀😀😀😀', 16), '😀😀😀😀😀😀😀😀');
  assert.equal(cutToSjisBytes('', 16), '');
});

test('the about box names the project version as the desktop does', { skip }, async () => {
  const { versionText } = await dialogs();
  assert.equal(versionText(-1), 'Marivex Project');
  assert.equal(versionText(10000), 'Marivex Project');
  assert.equal(versionText(10350), '作品のバージョン : 3.50');
  assert.equal(versionText(10305), '作品のバージョン : 3.5');
  assert.equal(versionText(10001), '作品のバージョン : 0.1');
  assert.equal(versionText(20000), '作品のバージョン : 0.0');
  assert.equal(versionText(20105), '作品のバージョン : 1.05');
  assert.equal(versionText(20112), '作品のバージョン : 1.01');
});

// A File of these bytes, as much of one as the page uses.
function fakeFile(name, bytes) {
  return { name, size: bytes.length, slice: (from, to) => fakeFile(name, bytes.slice(from, to)),
    arrayBuffer: async () => bytes.slice().buffer };
}

// Directory and file entries as a browser hands them out of a drop; a directory gives its
// entries in batches of at most 100, and each file counts its reads.
function fakeTree(tree, name = '', reads = { count: 0 }) {
  if (!(tree instanceof Object) || tree instanceof Uint8Array) {
    const bytes = tree instanceof Uint8Array ? tree : new TextEncoder().encode(String(tree));
    return {
      isFile: true, isDirectory: false, name, reads,
      file(resolve) {
        reads.count += 1;
        resolve(fakeFile(name, bytes));
      },
    };
  }
  const children = Object.entries(tree).map(([child, value]) => fakeTree(value, child, reads));
  return {
    isFile: false, isDirectory: true, name, reads,
    createReader() {
      let at = 0;
      return {
        readEntries(resolve) {
          const batch = children.slice(at, at + 100);
          at += batch.length;
          setTimeout(() => resolve(batch), 0);
        },
      };
    },
  };
}

test('a dropped folder is read all the way down, its project folder only', { skip }, async () => {
  const { readDrop } = await drop();
  const many = Object.fromEntries(Array.from({ length: 250 }, (_, i) => [`pic${i}.bmp`, 'p']));
  const reads = { count: 0 };
  const folder = fakeTree({ 'readme.txt': 'r', game: { 'GAME.VRK': 'k', 'GAME.VRJ': 'j', cg: many },
    other: { 'big.bin': 'x' } }, 'Story', reads);
  const dropped = await readDrop([folder]);
  assert.equal(dropped.label, 'Story');
  const paths = dropped.files.map((f) => f.path).sort();
  assert.equal(paths.length, 252, 'every batch of a large folder is read');
  assert.ok(paths.includes('game/GAME.VRK'));
  assert.ok(paths.includes('game/cg/pic249.bmp'));
  assert.equal(reads.count, 252, 'files outside the project folder are not read');
  assert.equal(new TextDecoder().decode(dropped.files.find((f) => f.path === 'game/GAME.VRJ').bytes), 'j');
});

test('a dropped zip is unpacked; loose files and empty drops are what they are', { skip }, async () => {
  const { readDrop } = await drop();
  const { zipSync } = await import(join(dist, 'fflate.mjs'));
  const zip = zipSync({ 'demo/DEMO.VRK': new Uint8Array([1]), 'demo/DEMO.VRJ': new Uint8Array([2]) });
  // Named or not, an archive is known by its first bytes.
  for (const name of ['demo.zip', 'download']) {
    const dropped = await readDrop([fakeTree(zip, name)]);
    assert.equal(dropped.label, name);
    assert.deepEqual(dropped.files.map((f) => f.path).sort(), ['demo/DEMO.VRJ', 'demo/DEMO.VRK']);
  }
  // A browser without entries hands plain files over.
  const plain = fakeFile('demo.zip', zip);
  assert.equal((await readDrop([], [plain])).files.length, 2);
  const loose = await readDrop([fakeTree('k', 'A.VRK'), fakeTree('j', 'A.VRJ')]);
  assert.deepEqual(loose.files.map((f) => f.path).sort(), ['A.VRJ', 'A.VRK']);
  assert.equal(await readDrop([]), null);
  assert.equal(await readDrop([fakeTree({}, 'empty')]), null);
});

test('key presses read as the menus write their shortcuts, on any keyboard layout', { skip }, async () => {
  const { shortcutOf, acceleratorOf } = await import(join(dist, 'menu.mjs'));
  const key = (k, code, mods = {}) => shortcutOf({ key: k, code, ctrlKey: false, altKey: false, shiftKey: false, metaKey: false, ...mods });
  assert.equal(key('h', 'KeyH', { ctrlKey: true }), 'Ctrl+H');
  assert.equal(key('C', 'KeyC', { ctrlKey: true, shiftKey: true }), 'Ctrl+Shift+C');
  // The letter the layout gives counts (W sits where Z does on some keyboards)...
  assert.equal(key('w', 'KeyZ', { ctrlKey: true }), 'Ctrl+W');
  // ...unless the layout gives no Latin letter: then the key's place does.
  assert.equal(key('ц', 'KeyW', { ctrlKey: true }), 'Ctrl+W');
  assert.equal(key('ø', 'KeyO', { altKey: true }), 'Alt+O');
  assert.equal(key('Enter', 'Enter', { altKey: true }), 'Alt+Enter');
  assert.equal(key('F11', 'F11'), 'F11');
  assert.equal(key('PageUp', 'PageUp'), 'PageUp');
  assert.equal(key('Control', 'ControlLeft', { ctrlKey: true }), '');
  assert.equal(acceleratorOf('一時保存を開く(&Y)'), 'Y');
  assert.equal(acceleratorOf('標準(2)(&N)'), 'N');
  assert.equal(acceleratorOf('4:3バランス'), '');
});
