// The browser's gamepads: read once a frame into one pad's state (the buttons by where they sit
// on the standard layout, the left stick) and handed to the page's host, which counts each press
// once and runs it through the reading's rule (src/app/pad_mapping.h). What the host leaves to
// the page comes back: a choice button's click, a menu item, the backlog closed or scrolled.
import { closeBacklog } from './comforts.mjs';
import { applyState } from './drawing.mjs';
import { model } from './model.mjs';
import { clickButton, keepSlots } from './opening.mjs';
import { backlogPanel, shared } from './page_state.mjs';

// The standard layout's buttons by their index, under the page model's names for a pad's buttons.
const kStandardButtons = new Map([
  [0, 'south'],
  [1, 'east'],
  [2, 'west'],
  [3, 'north'],
  [4, 'leftShoulder'],
  [5, 'rightShoulder'],
  [8, 'back'],
  [9, 'start'],
  [12, 'up'],
  [13, 'down'],
  [14, 'left'],
  [15, 'right'],
]);

/// The state of PADS (navigator.getGamepads()) together, as one pad: { held, x, y }, HELD a bit
/// for each button down in the order of NAMES (the page model's padButtons), the stick pushed
/// furthest on any pad. Pads without the standard layout are not read: their buttons could be
/// anywhere.
export function padState(pads, names) {
  let held = 0;
  let x = 0;
  let y = 0;
  for (const pad of pads ?? []) {
    if (!pad?.connected || pad.mapping !== 'standard') continue;
    pad.buttons.forEach((button, index) => {
      const bit = names.indexOf(kStandardButtons.get(index));
      if (bit >= 0 && (button.pressed || button === 1)) held |= 1 << bit;
    });
    const [ax = 0, ay = 0] = pad.axes;
    if (Math.max(Math.abs(ax), Math.abs(ay)) > Math.max(Math.abs(x), Math.abs(y))) {
      x = ax;
      y = ay;
    }
  }
  return { held, x, y };
}

function scrollBacklog({ amount, pages }) {
  if (!backlogPanel || backlogPanel.hidden) return;
  const line = parseFloat(getComputedStyle(backlogPanel).lineHeight) || 16;
  backlogPanel.scrollBy(0, amount * (pages ? backlogPanel.clientHeight : line));
}

/// Reads the gamepads every animation frame from now on; RUNMENUITEM(id) carries out a menu item.
export function readGamepads(runMenuItem) {
  if (typeof navigator === 'undefined' || typeof navigator.getGamepads !== 'function') return;
  let last = '';
  const frame = () => {
    requestAnimationFrame(frame);
    // A dialog has the reader's input; the pads wait, and a button held through it is no press.
    if (!shared.host || shared.busy || document.querySelector('dialog[open]')) return;
    const { held, x, y } = padState(navigator.getGamepads(), model().padButtons);
    const now = `${held} ${x} ${y}`;
    if (now === last) return;
    last = now;
    const actions = JSON.parse(shared.host.padState(held, x, y));
    applyState();
    keepSlots();
    for (const action of actions) {
      if (action.kind === 'click') clickButton(action.button);
      else if (action.kind === 'menu') runMenuItem(action.item);
      else if (action.kind === 'closeBacklog') closeBacklog();
      else if (action.kind === 'scrollBacklog') scrollBacklog(action);
    }
  };
  requestAnimationFrame(frame);
}
