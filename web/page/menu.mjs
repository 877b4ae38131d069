// The page's menu bar: the desktop window's menus with the same items, shortcuts and check marks.
// A menu refreshes its items as it opens; a shortcut refreshes the menus that enclose its item,
// outermost first, and then runs the item only if it is still enabled, so a limit that disables
// an item holds for its key too. Option items change options.mjs and tell the page afterwards.
import { chooseFont, showAbout, versionText } from './dialogs.mjs';
import { model } from './model.mjs';
import { loadOptions, onOptionsChanged, optionsAfter, saveOptions } from './options.mjs';

// The menus are the page model's (src/app/page_model.cpp, from the window's menu model):
// { kind: 'menu', id, caption, items } holding { kind: 'item', id, caption, label, keys,
// checkable, setting, step, setsStandard, pageOnly } and { kind: 'separator', pageOnly }. An
// item's id names its action too; items only the page has are shown when it provides theirs.

function findItem(menus, id) {
  for (const def of menus) {
    if (def.id === id) return def;
    const inner = def.kind === 'menu' ? findItem(def.items, id) : null;
    if (inner) return inner;
  }
  return null;
}

/// The item ID of the menus as a control elsewhere on the page shows it: { caption, key }, the
/// caption without its accelerator ("一時保存(&T)" gives "一時保存"); null for no such item.
export function menuItem(id) {
  const def = findItem(model().menus, id);
  return def ? { caption: def.label, key: def.keys[0] ?? '' } : null;
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

function installStyle() {
  if (!document.getElementById('vrk-menu-style')) {
    const link = document.createElement('link');
    link.id = 'vrk-menu-style';
    link.rel = 'stylesheet';
    link.href = new URL('menu.css', import.meta.url).href;
    document.head.append(link);
  }
}

class MenuBar {
  constructor(element, actions) {
    this.element = element;
    this.actions = actions;
    this.menus = model().menus;
    this.options = loadOptions();
    this.entries = new Map(); // id -> { def, node, button, label, mark, caption, parent }
    this.shortcuts = new Map(); // shortcut -> { def, chain }
    this.chains = new Map(); // item id -> the menus that enclose it, outermost first
    this.openTop = null;
    this.pointer = null;
    onOptionsChanged((options) => {
      this.options = options;
    });
  }

  // The rules' answers for how the page stands now: { [id]: { enabled, checked, shortcut, caption } }.
  states() {
    const { facts } = model();
    let given = {};
    try {
      given = this.actions.facts?.() ?? {};
    } catch {
      // the defaults: nothing open
    }
    return model().menuStates({ ...facts.session, ...given.session }, { ...facts.frontEnd, ...given.frontEnd });
  }

  setCaption(id, caption) {
    const entry = this.entries.get(id);
    if (entry && entry.caption !== caption) {
      entry.caption = caption;
      entry.label.replaceChildren(...captionNodes(caption));
    }
  }

  // Whether the page takes part in the item at all: an item only the page has is shown when the
  // page provides its action, its separator when one of the items after it is shown.
  shown(def, menuDef) {
    if (!def.pageOnly) return true;
    if (def.kind === 'item') return typeof this.actions[def.id] === 'function';
    const after = menuDef.items.slice(menuDef.items.indexOf(def) + 1);
    return after.some((next) => next.kind === 'item' && next.pageOnly && this.shown(next, menuDef));
  }

  // Option items work on the options alone, the font and about items on the page's dialogs;
  // any other needs the page's action.
  available(def) {
    return (
      typeof this.actions[def.id] === 'function' ||
      Boolean(def.setting) ||
      def.id === 'fontAction' ||
      def.id === 'aboutAction'
    );
  }

  // The refresh of one menu: enabled states, check marks and captions by the model's rules.
  refresh(menuDef) {
    const states = this.states();
    for (const def of menuDef.items) {
      const entry = this.entries.get(def.id);
      if (!entry || def.kind === 'separator') continue;
      const state = states[def.id];
      if (def.kind === 'menu') {
        this.setCaption(def.id, state.caption);
        continue;
      }
      entry.button.disabled = !(this.available(def) && state.enabled);
      if (def.checkable) {
        entry.button.setAttribute('aria-checked', String(state.checked));
        entry.mark.textContent = state.checked ? '✓' : '';
      }
    }
  }

  // Carries out an item: options first, then the page's action with the options as they are kept.
  async run(def) {
    const actions = this.actions;
    let options = optionsAfter(def, this.options);
    if (def.id === 'fontAction') {
      const font = await chooseFont(options);
      if (!font) return;
      options = { ...this.options, ...font };
    } else if (def.id === 'aboutAction' && typeof actions.aboutAction !== 'function') {
      await showAbout('', versionText(-1));
      return;
    }
    if (options !== this.options) {
      saveOptions(options);
    }
    const action = actions[def.id];
    if (typeof action === 'function') await action(this.options);
  }

  build() {
    installStyle();
    this.element.classList.add('vrk-menubar');
    this.element.setAttribute('role', 'menubar');
    this.element.replaceChildren();
    for (const top of this.menus) {
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
    document.addEventListener(
      'mousemove',
      (event) => {
        this.pointer = { x: event.clientX, y: event.clientY };
      },
      true,
    );
    document.addEventListener(
      'mousedown',
      (event) => {
        if (this.openTop && !this.element.contains(event.target)) this.close();
      },
      true,
    );
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
      if (!this.shown(def, menuDef)) continue;
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
      key.textContent = def.keys?.[0] ?? '';
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
        this.chains.set(def.id, chain);
        button.addEventListener('click', () => this.choose(def));
        node.addEventListener('mouseenter', (event) => {
          if (!this.pointerMoved(event)) return;
          this.setActive(menuDef, def);
          this.closeSubsOf(menuDef);
        });
        for (const shortcut of def.keys) this.shortcuts.set(shortcut, { def, chain });
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
    if (!this.states()[def.id].shortcut) return false;
    this.runRefreshed(def, chain);
    return true;
  }

  runRefreshed(def, chain) {
    for (const menuDef of chain) this.refresh(menuDef);
    const entry = this.entries.get(def.id);
    if (!entry.button.disabled) this.report(this.run(def));
  }

  // An item by its id, as its shortcut would run it (a gamepad's button has no key).
  runItem(id) {
    const chain = this.chains.get(id);
    if (chain) this.runRefreshed(this.entries.get(id).def, chain);
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
      const top = this.menus.find((m) => acceleratorOf(m.caption) === shortcut.slice(4));
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
      const at = this.menus.indexOf(this.openTop);
      const top = this.menus[(at + direction + this.menus.length) % this.menus.length];
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

/// ACTIONS maps an item's id to its handler ({ openAction, reopenAction, quickSaveAction, ... });
/// an item whose handler is missing is disabled, except the option items, which work on the
/// options alone, the font item and about, which the menus' own dialogs carry out. Option items
/// save the new options first and then call their handler with them. An item only the page has
/// (opening a folder, exporting and importing saves) is shown when its handler is given.
/// facts() tells the rules how the page stands: { session, frontEnd }, the page model's
/// SessionFacts and FrontEndFacts (the missing ones at their defaults). reportError(error)
/// shows a command that failed.
/// Returns { refresh(), close(), run(id) }: refresh() brings every item up to date now; run(id)
/// carries out the item ID as its shortcut would, the enclosing menus' rules first.
export function buildMenuBar(element, actions) {
  const bar = new MenuBar(element, actions);
  bar.build();
  const refreshAll = () => {
    const walk = (def) => {
      bar.refresh(def);
      for (const s of def.items) if (s.kind === 'menu') walk(s);
    };
    for (const top of bar.menus) walk(top);
  };
  refreshAll();
  return { refresh: refreshAll, close: () => bar.close(), run: (id) => bar.runItem(id) };
}
