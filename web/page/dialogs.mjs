// The page's dialogs: the slot picker, the name box and the about box. They are the desktop's
// one small light-yellow dialog in its three uses, drawn with the same places, captions and
// texts. Each is modal and resolves when the reader closes it; Enter is Ok and Escape closes
// (where closing is allowed at all: the picker cannot be cancelled, as on the desktop). The font
// dialog of the settings menu lives here too.
import { model } from './model.mjs';

/// A name keeps at most this many Shift-JIS bytes, as the story keeps it.
export const maxNameBytes = () => model().limits.nameBytes;

/// Bytes a character takes in code page 932: one for ASCII and half-width katakana, two for the
/// rest. A character the code page lacks becomes a one-byte "?" there, so this never counts
/// less than the player stores.
function sjisCharBytes(codePoint) {
  return codePoint <= 0x7f || (codePoint >= 0xff61 && codePoint <= 0xff9f) ? 1 : 2;
}

/// TEXT's length in Shift-JIS bytes.
export function sjisByteLength(text) {
  let bytes = 0;
  for (const c of text) bytes += sjisCharBytes(c.codePointAt(0));
  return bytes;
}

/// The longest start of TEXT within MAX_BYTES Shift-JIS bytes, never cutting a character.
export function cutToSjisBytes(text, maxBytes) {
  let bytes = 0;
  let end = 0;
  for (const c of text) {
    bytes += sjisCharBytes(c.codePointAt(0));
    if (bytes > maxBytes) break;
    end += c.length;
  }
  return text.slice(0, end);
}

const kProductName = 'VRKブラウザ v3.50';
const kCreditLine = 'Marivex Browser for Linux';
const kSlotGroupCaption = ' Select File ';
const kEraseCaption = '消去';
const kOkCaption = 'Ok';
// The caption of the player's error box.
const kErrorCaption = 'VRKブラウザ v3';
const kPickerHeight = 173;
const kPlainHeight = 124;
// The radio group's classic place and height; it grows downwards when its font needs more room,
// and the dialog and the erase button, level with its foot, move with it.
const kSlotGroupTop = 130;
const kSlotGroupHeight = 33;

let homePageAction = null;

/// What the panel's "HP" link does (the desktop opens the reader's manual); without one the
/// link is shown but does nothing.
export function setHomePageAction(action) {
  homePageAction = action;
}

function installStyle() {
  if (!document.getElementById('vrk-dialog-style')) {
    const link = document.createElement('link');
    link.id = 'vrk-dialog-style';
    link.rel = 'stylesheet';
    link.href = new URL('dialogs.css', import.meta.url).href;
    document.head.append(link);
  }
}

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

let labelCount = 0;

// Names DIALOG for a screen reader by its ELEMENTS' texts (each given an id when it has none)
// and marks it modal; DESCRIPTION, when given, is read after the name.
function label(dialog, elements, description) {
  const id = (made) => {
    if (!made.id) made.id = `vrk-dialog-label-${++labelCount}`;
    return made.id;
  };
  dialog.setAttribute('aria-modal', 'true');
  dialog.setAttribute('aria-labelledby', elements.map(id).join(' '));
  if (description) dialog.setAttribute('aria-describedby', id(description));
}

// What the one dialog is being used for, read before its title: the title is the story's and
// may be empty.
function purposeLine(text) {
  return element('span', 'vrk-sr-only', text);
}

// Tab and Shift+Tab go round the open dialog's controls: the page behind is out of reach (the
// browser's modal dialog would let the focus leave it for the browser's own controls).
function keepFocusIn(dialog, event) {
  const controls = Array.from(dialog.querySelectorAll('button, input, select, a[href], [tabindex]')).filter(
    (c) => !c.disabled && c.tabIndex >= 0 && c.getClientRects().length > 0,
  );
  if (controls.length === 0) return;
  const first = controls[0];
  const last = controls[controls.length - 1];
  const at = document.activeElement;
  if (event.shiftKey && (at === first || !dialog.contains(at))) {
    event.preventDefault();
    last.focus();
  } else if (!event.shiftKey && (at === last || !dialog.contains(at))) {
    event.preventDefault();
    first.focus();
  }
}

// Enter confirming a Japanese input method's conversion is not the reader's Ok.
function composing(event) {
  return event.isComposing || event.keyCode === 229;
}

// The dialog in its plain form (panel, comment, Ok) with the caption as its title line; PURPOSE
// names it for a screen reader.
function buildDialog(caption, comment, purpose) {
  installStyle();
  const dialog = element('dialog', 'vrk-dialog');
  const title = element('div', 'vrk-title', caption);
  const named = purposeLine(purpose);
  const form = element('form');
  form.method = 'dialog';
  form.style.height = `${kPlainHeight}px`;
  const panel = element('div', 'vrk-panel');
  const home = element('a', 'vrk-home', 'HP');
  home.href = '#';
  home.addEventListener('click', (event) => {
    event.preventDefault();
    homePageAction?.();
  });
  panel.append(element('span', 'vrk-product', kProductName), element('span', 'vrk-credit', kCreditLine), home);
  const commentLine = element('div', 'vrk-comment', comment);
  const ok = element('button', 'vrk-ok', kOkCaption);
  ok.type = 'submit';
  ok.value = 'ok';
  form.append(panel, commentLine, ok);
  dialog.append(named, title, form);
  label(dialog, [named, title], commentLine);
  return { dialog, title, form, commentLine, ok };
}

// Shows PARTS.dialog modally. Ok (button or Enter) runs ACCEPT, which gives the result or
// undefined to stay open; Escape runs CANCEL the same way. Returns the promise of the result and
// finish(result), which closes the dialog with a result of the caller's.
function runModal(parts, { accept, cancel, focus }) {
  const { dialog, form } = parts;
  let finish;
  const done = new Promise((resolve) => {
    let settled = false;
    finish = (result) => {
      if (settled) return;
      settled = true;
      dialog.close();
      dialog.remove();
      resolve(result);
    };
  });
  const tryClose = (decide) => {
    const result = decide();
    if (result !== undefined) finish(result);
  };
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    tryClose(accept);
  });
  dialog.addEventListener('keydown', (event) => {
    if (composing(event)) return;
    if (
      event.key === 'Enter' &&
      !(event.target instanceof HTMLButtonElement) &&
      !(event.target instanceof HTMLAnchorElement)
    ) {
      event.preventDefault();
      tryClose(accept);
    } else if (event.key === 'Escape') {
      event.preventDefault();
      tryClose(cancel);
    } else if (event.key === 'Tab') {
      keepFocusIn(dialog, event);
    }
  });
  dialog.addEventListener('cancel', (event) => {
    event.preventDefault();
    tryClose(cancel);
  });
  // The browser may close a dialog by itself (a repeated Escape); one that cannot be cancelled
  // comes back, as the desktop shows its picker again.
  dialog.addEventListener('close', () => {
    if (!dialog.isConnected) return;
    tryClose(cancel);
    if (dialog.isConnected && !dialog.open) dialog.showModal();
  });
  document.body.append(dialog);
  dialog.showModal();
  focus();
  return { done, finish };
}

/// SLOTS: four { caption, comment } from the slot files (comment "" for a free slot).
/// Resolves to { slot: 1-4, erase: false } or { slot, erase: true } for the erase button.
///
/// With HANDLERS the picker stays open as the desktop's does and asks them instead:
/// describe(slot) when an item is picked and erase(slot) for the erase button, each giving the
/// { caption, comment } to show (or a promise of it); a handler that throws leaves the dialog as
/// it was, after report(error) when given. Only Ok then resolves, with erase false.
export async function chooseSlot(slots, selected = 1, handlers = {}) {
  if (![1, 2, 3, 4].includes(selected)) selected = 1;
  const parts = buildDialog('', '', 'セーブスロットの選択');
  const { form, title, commentLine, ok } = parts;
  form.style.height = `${kPickerHeight}px`;
  const show = (view) => {
    title.textContent = view?.caption ?? '';
    commentLine.textContent = view?.comment ?? '';
  };

  const group = element('div', 'vrk-group');
  group.setAttribute('role', 'radiogroup');
  group.setAttribute('aria-label', kSlotGroupCaption.trim());
  const row = element('div', 'vrk-row');
  group.append(element('div', 'vrk-group-title', kSlotGroupCaption), row);
  const items = [];
  for (let slot = 1; slot <= 4; ++slot) {
    const label = element('label');
    const item = element('input');
    item.type = 'radio';
    item.name = 'vrk-slot';
    item.value = String(slot);
    item.checked = slot === selected;
    label.append(item, String(slot));
    row.append(label);
    items.push(item);
  }
  const erase = element('button', 'vrk-erase', kEraseCaption);
  erase.type = 'button';
  form.append(group, erase);
  const current = () => Number(items.find((item) => item.checked)?.value ?? selected);

  let busy = Promise.resolve();
  const ask = (handler, slot) => {
    busy = busy.then(async () => {
      try {
        show(await handler(slot));
      } catch (error) {
        if (handlers.report) handlers.report(error);
        else commentLine.textContent = error?.message ?? String(error);
      }
    });
  };
  show(slots[selected - 1]);
  let modal = null;
  group.addEventListener('change', () => {
    if (handlers.describe) ask(handlers.describe, current());
    else show(slots[current() - 1]);
  });
  // Without an erase handler the press is the answer: the caller arms or erases and asks again.
  erase.addEventListener('click', () => {
    if (handlers.erase) ask(handlers.erase, current());
    else modal.finish({ slot: current(), erase: true });
  });
  modal = runModal(parts, {
    accept: () => ({ slot: current(), erase: false }),
    cancel: () => undefined,
    focus: () => {
      const groupBottom = kSlotGroupTop + Math.max(kSlotGroupHeight, group.offsetHeight);
      erase.style.top = `${groupBottom - 1 - erase.offsetHeight}px`;
      form.style.height = `${Math.max(kPickerHeight, groupBottom + kPickerHeight - (kSlotGroupTop + kSlotGroupHeight))}px`;
      ok.focus();
    },
  });
  // Ok waits for a description still on its way, so that the slot answered is the one shown.
  const answer = await modal.done;
  await busy;
  return answer;
}

/// Resolves to the name typed (at most 16 Shift-JIS bytes), or defaultName when left as it is.
/// An empty box is not an answer: Ok and Escape keep the box open until something is typed.
export async function enterName(prompt, defaultName) {
  const parts = buildDialog('', prompt, '名前の入力');
  const name = element('input', 'vrk-name');
  name.type = 'text';
  name.value = cutToSjisBytes(defaultName ?? '', maxNameBytes());
  name.autocomplete = 'off';
  name.spellcheck = false;
  parts.form.append(name);
  // Typing or pasting past the limit drops what does not fit, but never in the middle of a
  // conversion still being composed.
  const limit = () => {
    if (sjisByteLength(name.value) <= maxNameBytes()) return;
    // What was just typed stands before the caret: drop from there, keep what follows.
    const caret = name.selectionStart ?? name.value.length;
    const before = Array.from(name.value.slice(0, caret));
    const after = name.value.slice(caret);
    while (before.length > 0 && sjisByteLength(before.join('') + after) > maxNameBytes()) before.pop();
    const kept = before.join('');
    name.value = cutToSjisBytes(kept + after, maxNameBytes());
    name.setSelectionRange(kept.length, kept.length);
  };
  name.addEventListener('input', (event) => {
    if (!event.isComposing) limit();
  });
  name.addEventListener('compositionend', limit);
  const answer = () => {
    const text = cutToSjisBytes(name.value, maxNameBytes());
    return text === '' ? undefined : text;
  };
  return runModal(parts, {
    accept: answer,
    cancel: answer,
    focus: () => {
      name.focus();
      name.select();
    },
  }).done;
}

/// The about box's line for a project's VRKVER code (-1 without one): "Marivex Project" for -1
/// and 10000, else the major (code / 100) % 100 and the minor code % 100, written after a "0"
/// above 20000 and cut to two characters.
export function versionText(code) {
  if (code === -1 || code === 10000) return 'Marivex Project';
  const minor = `${code > 20000 ? '0' : ''}${code % 100}`.slice(0, 2);
  return `作品のバージョン : ${Math.trunc(code / 100) % 100}.${minor}`;
}

/// CAPTION and COMMENT as the desktop's about box shows them.
export async function showAbout(caption, comment) {
  const parts = buildDialog(caption ?? '', comment ?? '', 'バージョン情報');
  await runModal(parts, {
    accept: () => true,
    cancel: () => true,
    focus: () => parts.ok.focus(),
  }).done;
}

/// The window's error box: the player's title as its caption, the message and Ok. Resolves when
/// it is closed.
export async function showError(message) {
  installStyle();
  const dialog = element('dialog', 'vrk-error');
  dialog.setAttribute('role', 'alertdialog');
  const title = element('div', 'vrk-title', kErrorCaption);
  const form = element('form');
  form.method = 'dialog';
  const icon = element('div', 'vrk-icon', '×');
  icon.setAttribute('aria-hidden', 'true');
  const text = element('div', 'vrk-message', message ?? '');
  const ok = element('button', 'vrk-ok', 'OK');
  ok.type = 'submit';
  ok.value = 'ok';
  form.append(icon, text, ok);
  dialog.append(title, form);
  label(dialog, [title], text);
  await runModal(
    { dialog, title, form, ok },
    {
      accept: () => true,
      cancel: () => true,
      focus: () => ok.focus(),
    },
  ).done;
}

/// The page's fixed-pitch faces, the ones the font dialog offers.
export function offeredFaces() {
  return model()
    .faces.filter((face) => face.fixedPitch)
    .map((face) => face.family);
}

/// The face the font dialog starts at for a stored face name: the one of FACES the window's rule
/// gives, else the first.
export function initialFace(fontName, faces = offeredFaces()) {
  const offered = model().offeredFamily(fontName ?? '');
  return faces.includes(offered) ? offered : faces[0];
}

/// The font dialog: one of FACES (the page's fixed-pitch faces), in the window's range of
/// points, bold and italic. CURRENT is { fontName, fontSize, bold, italic }; the face starts at
/// the one that draws the stored name, else the first offered. Resolves to the same shape for
/// Ok, or null when cancelled.
export async function chooseFont(current, faces = offeredFaces()) {
  installStyle();
  const dialog = element('dialog', 'vrk-font');
  const form = element('form');
  form.method = 'dialog';
  const title = element('div', 'vrk-title', 'フォント');
  const list = element('select');
  list.size = Math.max(3, Math.min(faces.length, 8));
  list.setAttribute('aria-label', 'フォント名');
  for (const face of faces) list.append(new Option(face, face));
  list.value = initialFace(current.fontName, faces);
  const size = element('input');
  const { fontPoints } = model().limits;
  size.type = 'number';
  size.min = String(fontPoints.min);
  size.max = String(fontPoints.max);
  size.step = '1';
  size.required = true;
  const startSize = Number(current.fontSize);
  size.value = String(Number.isInteger(startSize) && startSize > 0 ? startSize : model().defaults.fontSize);
  const sizeLabel = element('label');
  sizeLabel.append(size, ' pt');
  const check = (caption, checked) => {
    const box = element('input');
    box.type = 'checkbox';
    box.checked = Boolean(checked);
    const label = element('label');
    label.append(box, caption);
    return { box, label };
  };
  const bold = check('太字', current.bold);
  const italic = check('斜体', current.italic);
  const sample = element('div', 'vrk-sample', '漢字Sample あア');
  const ok = element('button', '', 'OK');
  ok.type = 'submit';
  const cancelButton = element('button', '', 'Cancel');
  cancelButton.type = 'button';
  const buttons = element('div', 'vrk-buttons');
  buttons.append(ok, cancelButton);
  form.append(list, sizeLabel, bold.label, italic.label, sample, buttons);
  dialog.append(title, form);
  label(dialog, [title]);

  const chosen = () => ({
    fontName: list.value,
    fontSize: Number(size.value),
    bold: bold.box.checked,
    italic: italic.box.checked,
  });
  const updateSample = () => {
    const font = chosen();
    sample.style.fontFamily = `"${font.fontName}"`;
    sample.style.fontSize = size.checkValidity() ? `${font.fontSize}pt` : '';
    sample.style.fontWeight = font.bold ? 'bold' : 'normal';
    sample.style.fontStyle = font.italic ? 'italic' : 'normal';
  };
  form.addEventListener('input', updateSample);
  form.addEventListener('change', updateSample);
  updateSample();
  const modal = runModal(
    { dialog, form, ok },
    {
      // Only a whole size in range is a font; anything else keeps the dialog open.
      accept: () => (size.checkValidity() && list.value ? chosen() : undefined),
      cancel: () => null,
      focus: () => list.focus(),
    },
  );
  cancelButton.addEventListener('click', () => modal.finish(null));
  return modal.done;
}
