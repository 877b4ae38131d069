// The page's options as local storage keeps them, the name box's byte limit, the menu rules the
// page takes from its module and reading a dropped folder, without a browser.
//
//   node --test tests/web/page_options.test.mjs   (after make web)
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const dist = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'web', 'dist');
// What needs neither the module nor the build comes from the page's sources.
const source = (name) => import(join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'web', 'page', name));
const skip = existsSync(join(dist, 'options.mjs')) ? false : 'no page in web/dist (make web)';

// The page model comes from the page's module, as the page takes it when the module is made.
let model = null;
function pageModel() {
  model ??= (async () => {
    const create = createRequire(import.meta.url)(join(dist, 'vrk3-page.js'));
    const module = await create({ wasmBinary: readFileSync(join(dist, 'vrk3-page.wasm')) });
    return (await import(join(dist, 'model.mjs'))).useModel(module);
  })();
  return model;
}
const options = async () => {
  await pageModel();
  return import(join(dist, 'options.mjs'));
};
const dialogs = async () => {
  await pageModel();
  return import(join(dist, 'dialogs.mjs'));
};
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
  const { validateOptions, defaultOptions } = await options();
  const kDefaultOptions = defaultOptions();
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
  const { loadOptions, saveOptions, onOptionsChanged, defaultOptions, kOptionsKey } = await options();
  const kDefaultOptions = defaultOptions();
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

// The menus' rules are the window's (app/menu_model.h): the page asks them with its facts.
function menuRules(model) {
  const { facts } = model;
  // SESSION may name the engine's options beside the other facts, as the settings keep them.
  const states = (session, frontEnd = {}) => {
    const rest = { ...session };
    const options = { ...facts.session.options };
    for (const key of Object.keys(options).filter((k) => k in rest)) {
      options[key] = rest[key];
      delete rest[key];
    }
    return model.menuStates({ ...facts.session, ...rest, options }, { ...facts.frontEnd, ...frontEnd });
  };
  const item = (id) => {
    const walk = (items) => items.flatMap((def) => (def.kind === 'menu' ? [def, ...walk(def.items)] : [def]));
    return walk(model.menus).find((def) => def.id === id);
  };
  return { states, item };
}

test('speed and line-gap items keep to their ranges', { skip }, async () => {
  const { states, item } = menuRules(await pageModel());
  const { optionsAfter, defaultOptions } = await options();
  const speedItems = (revealSpeed, nonstop) => {
    const s = states({ revealSpeed, nonstop });
    return { slow: s.slowerAction.enabled, fast: s.fasterAction.enabled, normal: s.normalSpeedAction.enabled };
  };
  const gapItems = (lineGapTenths) => {
    const s = states({ lineGapTenths });
    return {
      wide: s.widerGapAction.enabled,
      narrow: s.narrowerGapAction.enabled,
      standard: s.standardGapAction.enabled,
    };
  };
  const speedAfter = (id, revealSpeed) => optionsAfter(item(id), { ...defaultOptions(), revealSpeed }).revealSpeed;
  const gapAfter = (id, gapTenths) => optionsAfter(item(id), { ...defaultOptions(), gapTenths }).gapTenths;
  assert.deepEqual(speedItems(2, false), { slow: true, fast: true, normal: false });
  assert.deepEqual(speedItems(5, false), { slow: false, fast: true, normal: true });
  assert.deepEqual(speedItems(1, false), { slow: true, fast: false, normal: true });
  assert.deepEqual(speedItems(0, false), { slow: true, fast: false, normal: true });
  assert.deepEqual(speedItems(3, true), { slow: false, fast: false, normal: false });
  assert.equal(speedAfter('slowerAction', 4), 5);
  assert.equal(speedAfter('fasterAction', 4), 3);
  assert.equal(speedAfter('normalSpeedAction', 4), 2);
  assert.equal(states({ revealSpeed: 4 }).speedMenu.caption, '描画速度(&P) 4');
  assert.equal(states({ revealSpeed: 4, nonstop: true }).speedMenu.caption, '描画速度(&P) 最速');
  assert.deepEqual(gapItems(20), { wide: false, narrow: true, standard: true });
  assert.deepEqual(gapItems(10), { wide: true, narrow: false, standard: true });
  assert.deepEqual(gapItems(12), { wide: true, narrow: true, standard: false });
  assert.equal(gapAfter('widerGapAction', 19), 20);
  assert.equal(gapAfter('standardGapAction', 19), 12);
  // A check mark turns its own option over and no other.
  const turned = optionsAfter(item('midiAction'), defaultOptions());
  assert.deepEqual(turned, { ...defaultOptions(), mid: false });
  assert.equal(optionsAfter(item('backAction'), turned), turned, 'a command changes no option');
});

test('the backlog key belongs to the menu only at the top of the page', { skip }, async () => {
  const { states } = menuRules(await pageModel());
  assert.equal(states({ backlogAvailable: true }, { pageAtTop: true }).backlogAction.shortcut, true);
  assert.equal(states({ backlogAvailable: true }, { pageAtTop: false }).backlogAction.shortcut, false);
  assert.equal(states({}, { sizeLocked: true }).balanceAction.enabled, false);
  assert.equal(states({}, { fullScreen: true }).fullScreenAction.checked, true);
});

test('stored faces are drawn with a face the page serves', { skip }, async () => {
  const { initialFace } = await dialogs();
  assert.equal(initialFace('ＭＳ 明朝'), 'IPAMincho');
  assert.equal(initialFace('ＭＳ Ｐゴシック'), 'IPAGothic');
  assert.equal(initialFace('MS Gothic'), 'IPAGothic');
  assert.equal(initialFace('IPAMincho'), 'IPAMincho');
  assert.equal(initialFace('Comic Sans'), 'IPAGothic');
  assert.equal(initialFace('ＭＳ 明朝', ['IPAGothic']), 'IPAGothic');
  // The canvas draws a proportional face as it is named; the dialog offers fixed-pitch ones.
  const { servedFamily } = await pageModel();
  assert.equal(servedFamily('ＭＳ 明朝'), 'IPAMincho');
  assert.equal(servedFamily('ipapgothic'), 'IPAPGothic');
  assert.equal(servedFamily('Comic Sans MS'), 'IPAGothic');
  assert.equal(servedFamily(''), 'IPAGothic');
});

test('the 4:3 balance grows a narrow area and shrinks a wide one; a name keeps 16 bytes', { skip }, async () => {
  const { balance4to3, limits } = await pageModel();
  assert.deepEqual(balance4to3(300, 400, 16), { width: 533 + 16, height: 400 });
  assert.deepEqual(balance4to3(300, 100, 16), { width: 300 + 16, height: 225 });
  assert.deepEqual(balance4to3(800, 450, 16), { width: 600 + 16, height: 450 });
  assert.deepEqual(balance4to3(640, 600, 16), { width: 656, height: 480 });
  assert.equal(limits.nameBytes, 16);
});

test('names are counted and cut in Shift-JIS bytes, never inside a character', async () => {
  const { sjisByteLength, cutToSjisBytes } = await source('dialogs.mjs');
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

test('the about box names the project version as the desktop does', async () => {
  const { versionText } = await source('dialogs.mjs');
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
  return {
    name,
    size: bytes.length,
    slice: (from, to) => fakeFile(name, bytes.slice(from, to)),
    arrayBuffer: async () => bytes.slice().buffer,
  };
}

// Directory and file entries as a browser hands them out of a drop; a directory gives its
// entries in batches of at most 100, and each file counts its reads.
function fakeTree(tree, name = '', reads = { count: 0 }) {
  if (!(tree instanceof Object) || tree instanceof Uint8Array) {
    const bytes = tree instanceof Uint8Array ? tree : new TextEncoder().encode(String(tree));
    return {
      isFile: true,
      isDirectory: false,
      name,
      reads,
      file(resolve) {
        reads.count += 1;
        resolve(fakeFile(name, bytes));
      },
    };
  }
  const children = Object.entries(tree).map(([child, value]) => fakeTree(value, child, reads));
  return {
    isFile: false,
    isDirectory: true,
    name,
    reads,
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
  const folder = fakeTree(
    { 'readme.txt': 'r', game: { 'GAME.VRK': 'k', 'GAME.VRJ': 'j', cg: many }, other: { 'big.bin': 'x' } },
    'Story',
    reads,
  );
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

test('key presses read as the menus write their shortcuts, on any keyboard layout', async () => {
  const { shortcutOf, acceleratorOf } = await source('menu.mjs');
  const key = (k, code, mods = {}) =>
    shortcutOf({ key: k, code, ctrlKey: false, altKey: false, shiftKey: false, metaKey: false, ...mods });
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
