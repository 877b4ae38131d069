// The reading page: a project folder goes into the player's in-memory files, and each report
// the player prints (the terminal's @page / "| " / @choices / @end lines) is drawn on the canvas.
'use strict';

const canvas = document.getElementById('page');
const status = document.getElementById('status');
const choiceBar = document.getElementById('choices');
let player = null;
let choiceCount = 0;
let ended = true;

const kCssWidth = 640;
const kCssHeight = 400;
const kFontPx = 16;
const kLineGap = 4;

function drawPage(lines, note) {
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(kCssWidth * ratio);
  canvas.height = Math.round(kCssHeight * ratio);
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.fillStyle = '#000';
  g.fillRect(0, 0, kCssWidth, kCssHeight);
  g.font = `${kFontPx}px "IPAGothic", "IPAゴシック", monospace`;
  g.textBaseline = 'top';
  g.fillStyle = '#fff';
  let y = 8;
  for (const line of lines) {
    g.fillText(line, 8, y);
    y += kFontPx + kLineGap;
  }
  if (note) {
    g.fillStyle = '#f66';
    g.fillText(note, 8, kCssHeight - kFontPx - 8);
  }
}

function showReport(report) {
  const lines = [];
  let note = '';
  for (const line of report.split('\n')) {
    if (line.startsWith('| ')) {
      lines.push(line.slice(2));
    } else if (line.startsWith('@choices ')) {
      choiceCount = Number(line.slice(9));
      ended = false;
    } else if (line === '@end') {
      choiceCount = 0;
      ended = true;
      note = '（おわり）';
    } else if (line.startsWith('@error ')) {
      note = line.slice(7);
    } else if (line.startsWith('@exec ')) {
      // A browser starts no programs; say which one the story asked for.
      note = `外部プログラム: ${line.slice(6)}`;
    } else if (line.startsWith('vrk3: ')) {
      note = line.slice(6);
    }
  }
  if (lines.length > 0 || note) {
    drawPage(lines, note);
  }
  choiceBar.replaceChildren();
  for (let i = 0; i < choiceCount; ++i) {
    const button = document.createElement('button');
    button.textContent = String.fromCharCode(65 + i);
    button.onclick = () => send(choiceCount === 1 ? '' : button.textContent);
    choiceBar.append(button);
  }
}

function send(line) {
  if (player && !ended) {
    showReport(player.ccall('vrkInput', 'string', ['string'], [line]));
  }
}

async function openFolder(files) {
  if (!player) {
    player = await createVrk3();
  }
  const root = '/project';
  let projectFile = null;
  for (const file of files) {
    const parts = file.webkitRelativePath.split('/').slice(1);  // below the chosen folder
    const path = [root, ...parts].join('/');
    player.FS.mkdirTree(path.slice(0, path.lastIndexOf('/')));
    player.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
    if (parts.length === 1 && /\.vrk$/i.test(parts[0]) && !projectFile) {
      projectFile = path;
    }
  }
  if (!projectFile) {
    status.textContent = 'このフォルダに .vrk ファイルがありません';
    return;
  }
  status.textContent = projectFile.slice(root.length + 1);
  const slot = Number(document.getElementById('slot').value);
  showReport(player.ccall('vrkOpen', 'string', ['string', 'number', 'number'], [projectFile, slot, 0]));
}

document.getElementById('folder').addEventListener('change', (event) => {
  openFolder(Array.from(event.target.files));
});
document.getElementById('save').onclick = () => send(':save');
document.getElementById('load').onclick = () => send(':load');
document.addEventListener('keydown', (event) => {
  if (event.target.tagName === 'INPUT' || event.target.tagName === 'SELECT') {
    return;
  }
  if (event.key === 'Enter') {
    send('');
  } else if (/^[a-fA-F1-6]$/.test(event.key)) {
    send(event.key);
  }
});
drawPage([], '');
