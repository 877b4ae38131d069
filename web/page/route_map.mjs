// The view menu's route map: the map of the pages read so far, built and laid out by the reading
// session (readerMapJson) and only drawn here, as SVG: a box for each page (its label when read,
// "？" when not), a line for each way on with its caption beside it, the whole caption as its tip.
import { shared } from './page_state.mjs';

const kSvg = 'http://www.w3.org/2000/svg';

function installStyle() {
  if (!document.getElementById('vrk-route-map-style')) {
    const link = document.createElement('link');
    link.id = 'vrk-route-map-style';
    link.rel = 'stylesheet';
    link.href = new URL('route_map.css', import.meta.url).href;
    document.head.append(link);
  }
}

function svg(tag, attributes, text) {
  const made = document.createElementNS(kSvg, tag);
  for (const [name, value] of Object.entries(attributes)) made.setAttribute(name, String(value));
  if (text !== undefined) made.textContent = text;
  return made;
}

// A filled arrowhead at the line's tip, along the curve's last direction.
function arrowHead([x1, y1, cx, cy, x2, y2]) {
  let dx = cx - x2;
  let dy = cy - y2;
  if (Math.hypot(dx, dy) < 1) [dx, dy] = [x1 - x2, y1 - y2];
  const length = Math.hypot(dx, dy) || 1;
  const [ux, uy] = [(dx / length) * 9, (dy / length) * 9];
  const turn = (angle) => {
    const c = Math.cos(angle);
    const s = Math.sin(angle);
    return `${x2 + ux * c - uy * s},${y2 + ux * s + uy * c}`;
  };
  const spread = (25 * Math.PI) / 180;
  return `${x2},${y2} ${turn(spread)} ${turn(-spread)}`;
}

/// The map as an SVG element, from the session's JSON.
export function drawRouteMap(map) {
  const width = Math.max(map.width, 240);
  const height = Math.max(map.height, 80);
  const root = svg('svg', { width, height, viewBox: `0 0 ${width} ${height}`, class: 'vrk-route-map' });
  if (map.nodes.length === 0) {
    root.append(svg('text', { x: 24, y: 40, class: 'vrk-map-empty' }, map.empty));
    return root;
  }
  const lines = svg('g', { class: 'vrk-map-lines' });
  const captions = svg('g', { class: 'vrk-map-captions' });
  for (const edge of map.edges) {
    const [x1, y1, cx, cy, x2, y2] = edge.line;
    const kind = `${edge.back ? 'back' : 'on'} ${edge.choice ? 'choice' : 'jump'}`;
    const group = svg('g', { class: `vrk-map-way ${kind}` });
    group.append(
      svg('path', { d: `M${x1},${y1} Q${cx},${cy} ${x2},${y2}`, fill: 'none' }),
      svg('polygon', { points: arrowHead(edge.line) }),
    );
    lines.append(group);
    if (edge.shortCaption) {
      const caption = svg('text', { x: edge.labelX, y: edge.labelY, class: 'vrk-map-caption' }, edge.shortCaption);
      caption.append(svg('title', {}, edge.caption));
      captions.append(caption);
    }
  }
  const pages = svg('g', { class: 'vrk-map-pages' });
  for (const node of map.nodes) {
    const kinds = ['vrk-map-page', node.known ? 'read' : 'unread'];
    if (node.current) kinds.push('current');
    const group = svg('g', { class: kinds.join(' ') });
    const box = { x: node.x, y: node.y, width: map.nodeWidth, height: map.nodeHeight, rx: 6 };
    group.append(svg('rect', box));
    // Where readings begin and end, a second frame inside the first.
    if (node.start || node.ending) {
      group.append(
        svg('rect', {
          x: node.x + 3,
          y: node.y + 3,
          width: map.nodeWidth - 6,
          height: map.nodeHeight - 6,
          rx: 4,
          class: 'vrk-map-inner',
        }),
      );
    }
    group.append(
      svg(
        'text',
        { x: node.x + map.nodeWidth / 2, y: node.y + map.nodeHeight / 2, class: 'vrk-map-label' },
        node.label,
      ),
    );
    pages.append(group);
  }
  root.append(lines, pages, captions);
  return root;
}

/// Opens the route map in a modal dialog; it closes with its button, Escape or a click outside.
export function showRouteMap() {
  if (!shared.host) return;
  installStyle();
  const map = JSON.parse(shared.host.readerMapJson());
  const dialog = document.createElement('dialog');
  dialog.id = 'route-map';
  dialog.className = 'vrk-route-map-dialog';
  dialog.setAttribute('aria-label', map.title);
  const title = document.createElement('div');
  title.className = 'vrk-route-map-title';
  title.textContent = map.title;
  const view = document.createElement('div');
  view.className = 'vrk-route-map-view';
  view.append(drawRouteMap(map));
  const form = document.createElement('form');
  form.method = 'dialog';
  const close = document.createElement('button');
  close.type = 'submit';
  close.textContent = '閉じる';
  form.append(close);
  dialog.append(title, view, form);
  dialog.addEventListener('close', () => dialog.remove());
  dialog.addEventListener('click', (event) => {
    if (event.target === dialog) dialog.close();
  });
  document.body.append(dialog);
  dialog.showModal();
  // The page on show in sight.
  const current = view.querySelector('.vrk-map-page.current rect');
  if (current) current.scrollIntoView({ block: 'center', inline: 'center' });
  close.focus();
}
