// The view menu's comforts: the backlog over the page, auto-advance and skipping stopped by any
// input, copying the page's text and reading it aloud.
import { command } from './opening.mjs';
import { saveOptions } from './options.mjs';
import { backlogPanel, shared } from './page_state.mjs';

// The backlog: the earlier pages' text over the page (not over its scroll bar), at its end.
export function showBacklog() {
  if (!shared.host || !backlogPanel || !backlogPanel.hidden || !(shared.lastState?.backlogPages > 0)) return;
  const pages = JSON.parse(shared.host.backlogJson());
  backlogPanel.textContent = pages.map((lines) => lines.map((line) => `${line}\n`).join('')).join('\n――――\n\n');
  backlogPanel.hidden = false;
  shared.host.setBacklogOpen(true);
  backlogPanel.scrollTop = backlogPanel.scrollHeight;
  backlogPanel.focus();
}

export function closeBacklog() {
  if (!backlogPanel || backlogPanel.hidden) return;
  backlogPanel.hidden = true;
  if (shared.host) shared.host.setBacklogOpen(false);
  if (backlogPanel.contains(document.activeElement)) document.activeElement.blur();
}

if (backlogPanel) {
  backlogPanel.addEventListener('click', closeBacklog);
  backlogPanel.addEventListener(
    'wheel',
    (event) => {
      const atEnd = backlogPanel.scrollTop + backlogPanel.clientHeight >= backlogPanel.scrollHeight - 1;
      if (event.deltaY > 0 && atEnd) {
        event.preventDefault();
        closeBacklog();
      }
    },
    { passive: false },
  );
}

// Keys while the backlog is up: Escape closes it; nothing chooses behind it; its scrolling keys
// and the menus' shortcuts stay theirs. Any other input stops auto-advance and skipping.
function stopAutoAndSkip() {
  if (!shared.host) return;
  if (shared.options.autoAdvance) saveOptions({ ...shared.options, autoAdvance: false });
  if (shared.lastState?.skipping || shared.options.autoAdvance) command(() => shared.host.stopAutoAndSkip());
}

const kComfortToggles = ['Ctrl+A', 'Ctrl+D'];
window.addEventListener(
  'keydown',
  (event) => {
    if (['Control', 'Shift', 'Alt', 'Meta'].includes(event.key) || document.querySelector('dialog[open]')) return;
    const toggle =
      (event.ctrlKey || event.metaKey) &&
      !event.altKey &&
      !event.shiftKey &&
      kComfortToggles.includes(`Ctrl+${event.key.toUpperCase()}`);
    if (!toggle) stopAutoAndSkip();
    if (!backlogPanel || backlogPanel.hidden) return;
    if (event.key === 'Escape') {
      event.preventDefault();
      event.stopPropagation();
      closeBacklog();
      return;
    }
    const shortcut = event.ctrlKey || event.altKey || event.metaKey || event.key === 'F1' || event.key === 'F11';
    if (!shortcut && (event.key.length === 1 || event.key === 'Enter')) {
      event.preventDefault();
      event.stopPropagation();
    } else if (!shortcut && !backlogPanel.contains(event.target)) {
      // Its scrolling keys scroll it, not the page.
      backlogPanel.focus();
      event.stopPropagation();
    }
  },
  true,
);
window.addEventListener(
  'pointerdown',
  (event) => {
    const menus = document.getElementById('menubar');
    if (!(menus && menus.contains(event.target))) stopAutoAndSkip();
  },
  true,
);

// The clipboard API is there only for pages of a secure origin; elsewhere the older way.
export function copyToClipboard(text) {
  if (navigator.clipboard?.writeText) return navigator.clipboard.writeText(text);
  const area = document.createElement('textarea');
  area.value = text;
  area.style.position = 'fixed';
  area.style.opacity = '0';
  document.body.append(area);
  area.select();
  document.execCommand('copy');
  area.remove();
  return undefined;
}

// Reading aloud through the browser's speech service, in a Japanese voice where there is one.
export function speechSynthesis() {
  return globalThis.speechSynthesis ?? null;
}

export function speakPage() {
  const speech = speechSynthesis();
  const text = shared.lastState?.text?.trim();
  if (!shared.options.speech || !text || !speech || typeof SpeechSynthesisUtterance === 'undefined') return;
  const utterance = new SpeechSynthesisUtterance(text);
  const voice = speech.getVoices().find((v) => /^ja\b/i.test(v.lang));
  utterance.lang = voice?.lang ?? 'ja-JP';
  if (voice) utterance.voice = voice;
  speech.cancel();
  speech.speak(utterance);
}
