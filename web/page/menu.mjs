// The page's menu bar: the desktop window's menus with the same items, shortcuts and check marks.
// A menu refreshes its items as it opens; a shortcut refreshes the menus that enclose its item,
// outermost first, and then runs the item only if it is still enabled, so a limit that disables
// an item holds for its key too. Option items change options.mjs and tell the page afterwards.
import { chooseFont, showAbout, versionText } from './dialogs.mjs';
import {
  applyGapTag, applySpeedTag, gapItemsFor, loadOptions, onOptionsChanged, saveOptions, speedCaption, speedItemsFor,
} from './options.mjs';

// A menu's entries. `run` names the action; `option` names the check mark's option; `tag` is the
// step a speed or gap item makes; `web` marks an item the desktop has no need of, shown only when
// the page provides its action.
const item = (id, caption, key, run, more = {}) => ({ kind: 'item', id, caption, key, run, ...more });
const check = (id, caption, key, run, more = {}) => item(id, caption, key, run, { checkable: true, ...more });
const separator = (more = {}) => ({ kind: 'separator', ...more });
const menu = (id, caption, items, refresh = null) => ({ kind: 'menu', id, caption, items, refresh });

const gapItem = (id, caption, key, run, tag, rule) =>
  item(id, caption, key, run, { tag, gap: true, enabled: (s, o) => gapItemsFor(o.gapTenths)[rule] });
const speedItem = (id, caption, key, run, tag, rule) =>
  item(id, caption, key, run, { tag, speed: true, enabled: (s, o) => speedItemsFor(o.revealSpeed, o.nonstop)[rule] });

const kMenus = [
  menu('fileMenu', 'ファイル(&F)', [
    item('openAction', '開く(&O)', 'Ctrl+O', 'openZip'),
    item('openFolderAction', 'フォルダを開く(&D)', '', 'openFolder', { web: true }),
    item('reopenAction', '開き直す(&R)', 'Ctrl+R', 'reopen', { enabled: (s) => Boolean(s.projectKnown) }),
    // Enabled by the first opening and never disabled again.
    item('quickSaveAction', '一時保存(&T)', 'Ctrl+S', 'quickSave', { enabled: (s) => Boolean(s.quickSaveEnabled) }),
    item('quickLoadAction', '一時保存を開く(&Y)', 'Ctrl+T', 'quickLoad', { enabled: (s) => Boolean(s.quickLoadEnabled) }),
    separator({ web: 'exportSaves' }),
    item('exportAction', 'セーブを書き出す(&E)', '', 'exportSaves', { web: true, enabled: (s) => Boolean(s.projectKnown) }),
    item('importAction', 'セーブを取り込む(&I)', '', 'importSaves', { web: true, enabled: (s) => Boolean(s.projectKnown) }),
    separator(),
    item('exitAction', '終了(&X)', 'Ctrl+Q', 'exit'),
  ]),
  menu('settingsMenu', '設定(&O)', [
    item('fontAction', 'フォント(&F)', 'Ctrl+F', 'chooseFont', { font: true }),
    menu('lineGapMenu', '行間隔(&G)', [
      gapItem('widerGapAction', '広く(&W)', 'Ctrl+W', 'widerGap', 1, 'wide'),
      gapItem('narrowerGapAction', '狭く(&N)', 'Ctrl+N', 'narrowerGap', -1, 'narrow'),
      gapItem('standardGapAction', '標準(&S)', '', 'standardGap', 0, 'standard'),
    ]),
    menu('speedMenu', '描画速度(&P)', [
      speedItem('slowerAction', '遅く(&S)', 'Ctrl+H', 'slower', 1, 'slow'),
      speedItem('fasterAction', '速く(&F)', 'Ctrl+J', 'faster', -1, 'fast'),
      speedItem('normalSpeedAction', '標準(2)(&N)', 'Ctrl+K', 'normalSpeed', 0, 'normal'),
      check('nonstopAction', '最速(&Z)', 'Ctrl+L', 'toggleNonstop', { option: 'nonstop' }),
    ]),
    menu('soundMenu', '音声(&S)', [
      check('midiAction', 'Midファイル', '', 'toggleMid', { option: 'mid' }),
      check('wavAction', 'Wavファイル', '', 'toggleWav', { option: 'wav' }),
      check('otherMediaAction', 'その他のファイル', '', 'toggleOther', { option: 'other' }),
    ]),
    menu('compatibilityMenu', '互換性(&C)', [
      check('oldExeAction', '旧形式外部EXE', '', 'toggleOldExe', { option: 'oldExe' }),
      check('lowResAction', 'ローレゾ', 'Ctrl+C', 'toggleLowRes', { option: 'lowRes' }),
      check('contrastAction', '高輝度ふち取り', 'Ctrl+E', 'toggleContrast', { option: 'contrast' }),
    ]),
    // The page has no window of its own to balance while it fills the screen.
    item('balanceAction', '4:3バランス', 'Ctrl+B', 'balanceTo4by3', { enabled: (s) => !s.fullScreen }),
  ], (bar) => bar.setCaption('speedMenu', speedCaption(bar.options.revealSpeed, bar.options.nonstop))),
  menu('viewMenu', '表示(&V)', [
    // PageUp opens the backlog only while the page is scrolled to its top; below, it scrolls.
    item('backlogAction', 'バックログ(&B)', 'PageUp', 'backlog', {
      enabled: (s) => s.hasBacklog !== false, keyWhen: (s) => s.pageAtTop !== false,
    }),
    item('backAction', '1ページ戻る(&P)', 'Ctrl+Z', 'back', { enabled: (s) => s.canGoBack !== false }),
    item('copyTextAction', '本文をコピー(&C)', 'Ctrl+Shift+C', 'copyText', { enabled: (s) => s.hasPageText !== false }),
    separator(),
    check('autoAdvanceAction', '自動送り(&A)', 'Ctrl+A', 'toggleAutoAdvance', { option: 'autoAdvance' }),
    check('skipAction', '既読スキップ(&S)', 'Ctrl+D', 'toggleSkip', { state: 'skipping' }),
    check('fullScreenAction', '全画面表示(&U)', 'F11', 'toggleFullScreen', { state: 'fullScreen', keys: ['Alt+Enter'] }),
    separator(),
    check('speechAction', '読み上げ(&R)', 'Ctrl+Y', 'toggleSpeech', { option: 'speech' }),
  ]),
  menu('helpMenu', '説明(&H)', [
    item('helpContentsAction', '目次(&I)', 'F1', 'helpContents'),
    item('aboutAction', 'バージョン情報(&A)', '', 'about', { about: true }),
  ]),
];

/// The item ID of the menus as a control elsewhere on the page shows it: { caption, key }, the
/// caption without its accelerator ("一時保存(&T)" gives "一時保存"); null for no such item.
export function menuItem(id) {
  const find = (items) => {
    for (const def of items) {
      if (def.id === id) return def;
      const inner = def.kind === 'menu' ? find(def.items) : null;
      if (inner) return inner;
    }
    return null;
  };
  const def = find(kMenus);
  return def ? { caption: def.caption.replace(/\(&.\)$|&/, ''), key: def.key } : null;
}

/// A caption's accelerator letter ("開く(&O)" gives "O"), or "".
export function acceleratorOf(caption) {
  const at = caption.indexOf('&');
  return at >= 0 && at + 1 < caption.length ? caption[at + 1].toUpperCase() : '';
}

// The caption with its accelerator letter underlined, as the platform's menus draw it.
function captionNodes(caption) {
  const at = caption.indexOf('&');
  if (at < 0 || at + 1 >= caption.length) return [document.createTextNode(caption)];
  const letter = document.createElement('u');
  letter.textContent = caption[at + 1];
  return [document.createTextNode(caption.slice(0, at)), letter, document.createTextNode(caption.slice(at + 2))];
}

const kBrowserKeys = ['KeyW', 'KeyN', 'KeyT', 'KeyQ'];
const kIsMac = typeof navigator !== 'undefined' && /Mac/.test(navigator.platform ?? '');

/// The shortcut a key event spells, in the menus' own writing ("Ctrl+Shift+C", "F11",
/// "Alt+Enter", "PageUp"), or "" for a key that carries none.
export function shortcutOf(event) {
  let key = event.key;
  if (/^[a-z]$/i.test(key)) {
    key = key.toUpperCase();
  } else if (/^Key[A-Z]$/.test(event.code ?? '') && (event.ctrlKey || event.metaKey || event.altKey)) {
    // A layout without Latin letters, or Alt making another character: the key's place decides.
    key = event.code.slice(3);
  } else if (key.length === 1) {
    key = key.toUpperCase();
  }
  if (key === 'Control' || key === 'Shift' || key === 'Alt' || key === 'Meta') return '';
  const parts = [];
  if (event.ctrlKey || (kIsMac && event.metaKey)) parts.push('Ctrl');
  if (event.altKey) parts.push('Alt');
  if (event.shiftKey) parts.push('Shift');
  parts.push(key);
  return parts.join('+');
}

// A key press aimed at something that takes typing is not the menu's.
function typingInto(target) {
  if (!(target instanceof Element)) return false;
  if (target.isContentEditable || target.tagName === 'TEXTAREA' || target.tagName === 'SELECT') return true;
  if (target.tagName !== 'INPUT') return false;
  return !['button', 'checkbox', 'radio', 'submit', 'reset', 'file', 'range', 'color'].includes(target.type);
}

const kStyle = `
.vrk-menubar { display: flex; background: #f0f0f0; color: #000; font: 13px "IPAGothic", "IPAゴシック", sans-serif;
  border-bottom: 1px solid #c0c0c0; user-select: none; position: relative; z-index: 10; }
.vrk-menubar button { font: inherit; color: inherit; background: none; border: 0; margin: 0; cursor: default; }
.vrk-menubar > .vrk-top { position: relative; }
.vrk-menubar > .vrk-top > button { padding: 3px 8px; }
.vrk-menubar > .vrk-top.open > button, .vrk-menubar > .vrk-top > button:focus-visible { background: #cce0f8; outline: none; }
.vrk-menu { position: absolute; left: 0; top: 100%; min-width: 13em; padding: 2px 0; background: #f8f8f8;
  border: 1px solid #a0a0a0; box-shadow: 2px 2px 4px rgba(0, 0, 0, 0.3); display: none; }
.vrk-menu .vrk-menu { left: 100%; top: -3px; }
.open > .vrk-menu { display: block; }
.vrk-menu > .vrk-entry { position: relative; }
.vrk-menu > .vrk-entry > button { display: grid; grid-template-columns: 1.5em 1fr auto 1em; width: 100%; padding: 3px 6px;
  text-align: left; white-space: nowrap; }
.vrk-menu > .vrk-entry > button:disabled { color: #a0a0a0; }
.vrk-menu > .vrk-entry.active > button { background: #cce0f8; }
.vrk-menu > .vrk-entry.active > button:disabled { background: #e8e8e8; }
.vrk-menu .vrk-key { padding-left: 2em; color: #555; }
.vrk-menu hr { margin: 3px 4px; border: 0; border-top: 1px solid #c8c8c8; }
`;

function installStyle() {
  if (!document.getElementById('vrk-menu-style')) {
    const style = document.createElement('style');
    style.id = 'vrk-menu-style';
    style.textContent = kStyle;
    document.head.append(style);
  }
}

class MenuBar {
  constructor(element, actions) {
    this.element = element;
    this.actions = actions;
    this.options = loadOptions();
    this.entries = new Map();  // id -> { def, node, button, label, mark, caption, parent }
    this.shortcuts = new Map();  // shortcut -> { def, chain }
    this.openTop = null;
    this.pointer = null;
    onOptionsChanged((options) => {
      this.options = options;
    });
  }

  state() {
    try {
      return this.actions.state?.() ?? {};
    } catch {
      return {};
    }
  }

  setCaption(id, caption) {
    const entry = this.entries.get(id);
    if (entry && entry.caption !== caption) {
      entry.caption = caption;
      entry.label.replaceChildren(...captionNodes(caption));
    }
  }

  // Whether the page takes part in the item at all: web items and desktop items whose command
  // the page does not have are left out or disabled.
  shown(def) {
    if (def.kind === 'separator') return !def.web || typeof this.actions[def.web] === 'function';
    return !def.web || typeof this.actions[def.run] === 'function';
  }

  available(def) {
    return typeof this.actions[def.run] === 'function' || def.option || def.tag !== undefined || def.font ||
      def.about;
  }

  // The refresh of one menu: enabled states, check marks and captions from the options and the
  // page's state.
  refresh(menuDef) {
    const state = this.state();
    menuDef.refresh?.(this);
    for (const def of menuDef.items) {
      const entry = this.entries.get(def.id);
      if (!entry || def.kind === 'separator') continue;
      if (def.kind === 'menu') continue;
      const enabled = this.available(def) && (def.enabled ? def.enabled(state, this.options) : true);
      entry.button.disabled = !enabled;
      if (def.checkable) {
        const checked = def.option ? Boolean(this.options[def.option]) : Boolean(state[def.state]);
        entry.button.setAttribute('aria-checked', String(checked));
        entry.mark.textContent = checked ? '✓' : '';
      }
    }
  }

  // Carries out an item: options first, then the page's action with the options as they are kept.
  async run(def) {
    const actions = this.actions;
    let options = this.options;
    if (def.option) {
      options = { ...options, [def.option]: !options[def.option] };
    } else if (def.gap) {
      options = { ...options, gapTenths: applyGapTag(options.gapTenths, def.tag) };
    } else if (def.speed) {
      options = { ...options, revealSpeed: applySpeedTag(options.revealSpeed, def.tag) };
    } else if (def.font) {
      const font = await chooseFont(options);
      if (!font) return;
      options = { ...this.options, ...font };
    } else if (def.about && typeof actions.about !== 'function') {
      await showAbout('', versionText(this.state().versionCode ?? -1));
      return;
    }
    if (options !== this.options) {
      saveOptions(options);
    }
    const action = actions[def.run];
    if (typeof action === 'function') await action(this.options);
  }

  build() {
    installStyle();
    this.element.classList.add('vrk-menubar');
    this.element.setAttribute('role', 'menubar');
    this.element.replaceChildren();
    for (const top of kMenus) {
      const node = document.createElement('div');
      node.className = 'vrk-top';
      const button = document.createElement('button');
      button.type = 'button';
      button.id = top.id;
      button.setAttribute('role', 'menuitem');
      button.setAttribute('aria-haspopup', 'menu');
      button.tabIndex = -1;
      const label = document.createElement('span');
      label.append(...captionNodes(top.caption));
      button.append(label);
      node.append(button, this.buildMenu(top, [top]));
      this.entries.set(top.id, { def: top, node, button, label, caption: top.caption });
      button.addEventListener('mousedown', (event) => {
        event.preventDefault();
        if (this.openTop === top) this.close();
        else this.open(top);
      });
      button.addEventListener('mouseenter', (event) => {
        if (this.openTop && this.openTop !== top && this.pointerMoved(event)) this.open(top);
      });
      this.element.append(node);
    }
    document.addEventListener('keydown', (event) => this.onKey(event), true);
    document.addEventListener('mousemove', (event) => {
      this.pointer = { x: event.clientX, y: event.clientY };
    }, true);
    document.addEventListener('mousedown', (event) => {
      if (this.openTop && !this.element.contains(event.target)) this.close();
    }, true);
    window.addEventListener('blur', () => this.close());
    // Outside full screen the browser keeps Ctrl+W, Ctrl+N, Ctrl+T and Ctrl+Q for its tabs and
    // windows; in full screen the page may have them, and the gap and quick-load keys work.
    document.addEventListener('fullscreenchange', () => {
      if (document.fullscreenElement) navigator.keyboard?.lock?.(kBrowserKeys)?.catch?.(() => {});
      else navigator.keyboard?.unlock?.();
    });
  }

  buildMenu(menuDef, chain) {
    const list = document.createElement('div');
    list.className = 'vrk-menu';
    list.setAttribute('role', 'menu');
    for (const def of menuDef.items) {
      if (!this.shown(def)) continue;
      if (def.kind === 'separator') {
        list.append(document.createElement('hr'));
        continue;
      }
      const node = document.createElement('div');
      node.className = 'vrk-entry';
      const button = document.createElement('button');
      button.type = 'button';
      button.id = def.id;
      button.tabIndex = -1;
      const mark = document.createElement('span');
      const label = document.createElement('span');
      label.append(...captionNodes(def.caption));
      const key = document.createElement('span');
      key.className = 'vrk-key';
      key.textContent = def.key ?? '';
      const arrow = document.createElement('span');
      button.append(mark, label, key, arrow);
      node.append(button);
      list.append(node);
      this.entries.set(def.id, { def, node, button, label, mark, caption: def.caption, parent: menuDef });
      if (def.kind === 'menu') {
        button.setAttribute('role', 'menuitem');
        button.setAttribute('aria-haspopup', 'menu');
        arrow.textContent = '▶';
        node.append(this.buildMenu(def, [...chain, def]));
        button.addEventListener('click', () => this.openSub(def));
        node.addEventListener('mouseenter', (event) => {
          if (this.pointerMoved(event)) this.openSub(def);
        });
      } else {
        button.setAttribute('role', def.checkable ? 'menuitemcheckbox' : 'menuitem');
        button.addEventListener('click', () => this.choose(def));
        node.addEventListener('mouseenter', (event) => {
          if (!this.pointerMoved(event)) return;
          this.setActive(menuDef, def);
          this.closeSubsOf(menuDef);
        });
        for (const shortcut of [def.key, ...(def.keys ?? [])]) {
          if (shortcut) this.shortcuts.set(shortcut, { def, chain });
        }
      }
    }
    return list;
  }

  // A menu opened by keyboard under a resting mouse pointer is not the pointer's to change: the
  // browser reports entering whatever came to lie under it, without any movement.
  pointerMoved(event) {
    return !this.pointer || event.clientX !== this.pointer.x || event.clientY !== this.pointer.y;
  }

  // The open menus, outermost first.
  openChain() {
    const chain = [];
    for (let def = this.openTop; def;) {
      chain.push(def);
      def = def.items.find((s) => s.kind === 'menu' && this.entries.get(s.id)?.node.classList.contains('open'));
    }
    return chain;
  }

  open(top) {
    this.close();
    this.openTop = top;
    this.refresh(top);
    this.entries.get(top.id).node.classList.add('open');
    this.entries.get(top.id).button.focus({ preventScroll: true });
  }

  openSub(def) {
    const entry = this.entries.get(def.id);
    this.setActive(entry.parent, def);
    if (entry.node.classList.contains('open')) return;
    this.closeSubsOf(entry.parent);
    this.refresh(def);
    entry.node.classList.add('open');
  }

  closeSubsOf(menuDef) {
    for (const def of menuDef.items) {
      const entry = this.entries.get(def.id);
      if (def.kind === 'menu' && entry) {
        entry.node.classList.remove('open');
        this.closeSubsOf(def);
      }
    }
  }

  close() {
    if (!this.openTop) return;
    const entry = this.entries.get(this.openTop.id);
    entry.node.classList.remove('open');
    this.closeSubsOf(this.openTop);
    for (const e of this.entries.values()) e.node.classList.remove('active');
    this.openTop = null;
    if (this.element.contains(document.activeElement)) document.activeElement.blur();
  }

  setActive(menuDef, def) {
    for (const s of menuDef.items) this.entries.get(s.id)?.node.classList.toggle('active', s === def);
  }

  activeIn(menuDef) {
    return menuDef.items.find((s) => this.entries.get(s.id)?.node.classList.contains('active')) ?? null;
  }

  choose(def) {
    const entry = this.entries.get(def.id);
    if (entry.button.disabled) return;
    this.close();
    this.report(this.run(def));
  }

  report(running) {
    Promise.resolve(running).catch((error) => {
      // The page's general error report, as the desktop shows a failed command.
      if (typeof this.actions.reportError === 'function') this.actions.reportError(error);
      else console.error(error);
    });
  }

  // A shortcut: the enclosing menus refresh outermost first, then the item runs if enabled.
  // The key is the menu's either way.
  runShortcut(shortcut) {
    const found = this.shortcuts.get(shortcut);
    if (!found) return false;
    const { def, chain } = found;
    if (def.keyWhen && !def.keyWhen(this.state())) return false;
    for (const menuDef of chain) this.refresh(menuDef);
    const entry = this.entries.get(def.id);
    if (!entry.button.disabled) this.report(this.run(def));
    return true;
  }

  // The keyboard: menu navigation while a menu is open, Alt and a menu's letter to open it, the
  // items' shortcuts otherwise. Nothing is taken while a dialog is up or a text box has the keys.
  onKey(event) {
    if (event.defaultPrevented || event.isComposing || document.querySelector('dialog[open]')) return;
    if (this.openTop) {
      this.navigate(event);
      return;
    }
    if (typingInto(event.target)) return;
    const shortcut = shortcutOf(event);
    if (!shortcut) return;
    if (event.altKey && !event.ctrlKey && !event.shiftKey && shortcut.length === 5) {
      const top = kMenus.find((m) => acceleratorOf(m.caption) === shortcut.slice(4));
      if (top) {
        event.preventDefault();
        this.open(top);
        this.setActive(top, this.firstEnabled(top, 1));
        return;
      }
    }
    // Text the reader has selected on the page is copied, as anywhere in a browser.
    if (shortcut === 'Ctrl+C' && globalThis.getSelection?.()?.isCollapsed === false) return;
    if (this.runShortcut(shortcut)) {
      event.preventDefault();
      event.stopPropagation();
    }
  }

  visibleItems(menuDef) {
    return menuDef.items.filter((s) => s.kind !== 'separator' && this.entries.has(s.id));
  }

  firstEnabled(menuDef, direction, from = null) {
    const items = this.visibleItems(menuDef);
    if (items.length === 0) return null;
    let at = from ? items.indexOf(from) : direction > 0 ? -1 : items.length;
    for (let i = 0; i < items.length; ++i) {
      at = (at + direction + items.length) % items.length;
      if (!this.entries.get(items[at].id).button.disabled) return items[at];
    }
    return null;
  }

  navigate(event) {
    const chain = this.openChain();
    const inner = chain[chain.length - 1];
    const active = this.activeIn(inner);
    const moveTop = (direction) => {
      const at = kMenus.indexOf(this.openTop);
      const top = kMenus[(at + direction + kMenus.length) % kMenus.length];
      this.open(top);
      this.setActive(top, this.firstEnabled(top, 1));
    };
    let used = true;
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      const next = this.firstEnabled(inner, event.key === 'ArrowDown' ? 1 : -1, active);
      if (next) this.setActive(inner, next);
    } else if (event.key === 'ArrowRight') {
      if (active?.kind === 'menu') {
        this.openSub(active);
        this.setActive(active, this.firstEnabled(active, 1));
      } else {
        moveTop(1);
      }
    } else if (event.key === 'ArrowLeft') {
      if (chain.length > 1) {
        this.entries.get(inner.id).node.classList.remove('open');
        this.setActive(inner, null);
      } else {
        moveTop(-1);
      }
    } else if (event.key === 'Enter' || event.key === ' ') {
      if (active?.kind === 'menu') {
        this.openSub(active);
        this.setActive(active, this.firstEnabled(active, 1));
      } else if (active) {
        this.choose(active);
      }
    } else if (event.key === 'Escape') {
      if (chain.length > 1) {
        this.entries.get(inner.id).node.classList.remove('open');
        this.setActive(inner, null);
      } else {
        this.close();
      }
    } else if (event.key === 'Tab' || event.key === 'Alt') {
      this.close();
    } else if (event.key.length === 1 && !event.ctrlKey && !event.metaKey) {
      // A letter chooses the item whose caption underlines it.
      const letter = event.key.toUpperCase();
      const def = this.visibleItems(inner).find((s) => acceleratorOf(s.caption) === letter);
      if (def?.kind === 'menu') {
        this.openSub(def);
        this.setActive(def, this.firstEnabled(def, 1));
      } else if (def) {
        this.choose(def);
      }
    } else {
      used = false;
    }
    if (used) {
      event.preventDefault();
      event.stopPropagation();
    }
  }
}

/// ACTIONS maps each item to its handler (openFolder, openZip, reopen, quickSave, quickLoad,
/// exit, chooseFont, widerGap, narrowerGap, standardGap, slower, faster, normalSpeed,
/// toggleNonstop, toggleMid, toggleWav, toggleOther, toggleOldExe, toggleLowRes,
/// toggleContrast, balanceTo4by3, helpContents, about); check marks come from options.mjs.
///
/// Option items (font, gap, speed and the check marks) save the new options first and then call
/// their handler with them. The view menu's items call backlog, back, copyText,
/// toggleAutoAdvance, toggleSkip, toggleFullScreen and toggleSpeech; exportSaves and importSaves
/// add the page's own file items. An item whose handler is missing is disabled, except the option
/// items, which work on the options alone, and about, which shows the version itself.
/// state() tells the enable rules how the page stands: { projectKnown, quickSaveEnabled,
/// quickLoadEnabled, fullScreen, skipping, hasBacklog, pageAtTop, canGoBack, hasPageText,
/// versionCode }. reportError(error) shows a command that failed.
/// Returns { refresh(), close() }: refresh() brings every item up to date now.
export function buildMenuBar(element, actions) {
  const bar = new MenuBar(element, actions);
  bar.build();
  const refreshAll = () => {
    const walk = (def) => {
      bar.refresh(def);
      for (const s of def.items) if (s.kind === 'menu') walk(s);
    };
    for (const top of kMenus) walk(top);
  };
  refreshAll();
  return { refresh: refreshAll, close: () => bar.close() };
}
