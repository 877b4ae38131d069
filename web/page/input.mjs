// The reader's input on the page: choice keys, scrolling keys, clicks, the wheel and the scroll
// bar, and the page's box dragged to another size.
import { showBacklog } from './comforts.mjs';
import { resizePage } from './drawing.mjs';
import { command } from './opening.mjs';
import { canvas, scroller, shared, sizer } from './page_state.mjs';

const kScrollKeys = { PageUp: 1, PageDown: 2, ArrowUp: 3, ArrowDown: 4, Home: 5, End: 6 };

document.addEventListener('keydown', (event) => {
  const tag = event.target.tagName;
  if (
    !shared.host ||
    shared.busy ||
    tag === 'INPUT' ||
    tag === 'SELECT' ||
    tag === 'TEXTAREA' ||
    event.ctrlKey ||
    event.altKey ||
    event.metaKey ||
    event.defaultPrevented ||
    document.querySelector('dialog[open]')
  ) {
    return;
  }
  if (event.key in kScrollKeys) {
    // PageUp at the top is the backlog's key (the menu's); below, it scrolls.
    if (event.key === 'PageUp' && shared.lastState?.scroll.value === 0) return;
    if (shared.lastState?.scroll.enabled) {
      event.preventDefault();
      command(() => shared.host.scrollByKey(kScrollKeys[event.key]));
    }
    return;
  }
  let code = 0;
  if (event.key === 'Enter') code = 13;
  else if (event.key.length === 1) code = event.key.charCodeAt(0);
  if (code !== 0) {
    // A key that chose is not handed on, so a focused button cannot act on it a second time.
    let chose = false;
    command(() => {
      chose = shared.host.chooseKey(code);
    });
    if (chose) event.preventDefault();
  }
});
canvas.addEventListener('click', () => command(() => shared.host.clickPage()));
canvas.addEventListener(
  'wheel',
  (event) => {
    event.preventDefault();
    if (
      event.deltaY < 0 &&
      shared.host &&
      shared.lastState &&
      (!shared.lastState.scroll.enabled || shared.lastState.scroll.value === 0)
    ) {
      showBacklog();
    } else if (event.deltaY !== 0) {
      command(() => shared.host.wheel(Math.sign(event.deltaY) * 120));
    }
  },
  { passive: false },
);
scroller.addEventListener('scroll', () => {
  if (!shared.scrollFromHost && shared.host)
    command(() => shared.host.scrollTo(Math.round(scroller.scrollTop * shared.ratio)));
});
// A thumb let go lands on a whole line, once the scroll bar has come to rest: an engine may tell
// of its last move only after the button is up, or still be paging after a click on the track
// (a line set meanwhile would stop it short).
scroller.addEventListener('pointerup', () => {
  let last = null;
  let stillFrames = 0;
  const settle = () => {
    const top = scroller.scrollTop;
    stillFrames = top === last ? stillFrames + 1 : 0;
    last = top;
    if (stillFrames < 3) {
      requestAnimationFrame(settle);
      return;
    }
    command(() => {
      shared.host.scrollTo(Math.round(top * shared.ratio));
      shared.host.snapScroll();
    });
  };
  requestAnimationFrame(settle);
});
// An engine whose scroll bar lies over its box (WebKitGTK's) takes a click on the track as a jump
// of the thumb to it, made before the page hears of the click. There the page takes the click as
// the window's scroll bar does, a page towards it from where the page was. Elsewhere the scroll bar
// takes room of its own and the engine pages itself.
scroller.addEventListener('pointerdown', (event) => {
  const scroll = shared.lastState?.scroll;
  if (event.button !== 0 || scroller.offsetWidth - scroller.clientWidth > 0 || !scroll?.enabled) return;
  const track = scroller.clientHeight;
  const thumbTop = (track * scroll.value) / shared.ratio / scroller.scrollHeight;
  const thumbBottom = thumbTop + (track * track) / scroller.scrollHeight;
  if (event.offsetY >= thumbTop && event.offsetY < thumbBottom) return; // the thumb: dragged
  event.preventDefault();
  command(() => shared.host.scrollByKey(event.offsetY < thumbTop ? kScrollKeys.PageUp : kScrollKeys.PageDown));
});
// The page follows its box when the reader drags its corner, as the window follows its edges.
new ResizeObserver(([entry]) => {
  const width = Math.round(entry.contentRect.width);
  const height = Math.round(entry.contentRect.height);
  if (shared.pageSized && width > 0 && height > 0 && (width !== shared.pageWidth || height !== shared.pageHeight)) {
    resizePage(width, height);
  }
}).observe(sizer);
