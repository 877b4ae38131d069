// vrkc --web on the demo: the site it writes (its files, the manifest, relative addresses only,
// the faces and the soundfont cut), its zip, and the site opened in headless Chromium from a
// sub-folder of a host, served gzipped by scripts/serve-page: the story opens at once and its
// first text is marked.
//
//   VRKC (default build/tools/vrkc/vrkc), VRK_DEMO_DIR (default build/samples/demo)
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import {
  existsSync,
  mkdirSync,
  mkdtempSync,
  readFileSync,
  readdirSync,
  rmSync,
  statSync,
  writeFileSync,
} from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, relative } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const vrkc = process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc');
const demo = process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo');
const chromium = process.env.VRK_CHROMIUM ?? '/usr/bin/chromium';
const missing = [vrkc, join(demo, 'DEMO.VRK'), join(dist, 'vrk3-page.wasm')].filter((path) => !existsSync(path));

function filesBelow(dir) {
  return readdirSync(dir, { recursive: true, withFileTypes: true })
    .filter((entry) => entry.isFile())
    .map((entry) => relative(dir, join(entry.parentPath ?? entry.path, entry.name)));
}

// Every address index.html, the style sheet and the app manifest name.
function addresses(site) {
  const html = readFileSync(join(site, 'index.html'), 'utf8');
  const css = readFileSync(join(site, 'fonts', 'faces.css'), 'utf8');
  const app = JSON.parse(readFileSync(join(site, 'app.webmanifest'), 'utf8'));
  return [
    ...[...html.matchAll(/\b(?:src|href)="([^"]*)"/g)].map((m) => m[1]),
    ...[...css.matchAll(/url\("([^"]*)"\)/g)].map((m) => `fonts/${m[1]}`),
    app.start_url,
    app.scope,
    ...app.icons.map((icon) => icon.src),
  ];
}

describe('vrkc --web', { skip: missing.length > 0 && `needs ${missing.join(', ')} (make web, a build)` }, () => {
  let work;
  let site;

  before(() => {
    work = mkdtempSync(join(tmpdir(), 'vrk3-publish-'));
    site = join(work, 'host', 'stories', 'demo');
    mkdirSync(dirname(site), { recursive: true });
    // The quickest WOFF2 compression: the test looks at what the faces hold, not at their size.
    execFileSync(vrkc, ['--web', site, '--zip', '--font-effort', '1', join(demo, 'DEMO.VRK')], { stdio: 'inherit' });
  });

  after(() => rmSync(work, { recursive: true, force: true }));

  test('the manifest names the project and every file of the story with its size', () => {
    const manifest = JSON.parse(readFileSync(join(site, 'story.json'), 'utf8'));
    assert.equal(manifest.project, 'DEMO.VRK');
    assert.equal(manifest.folder, 'story/');
    assert.equal(manifest.title, '霧の駅');
    const names = manifest.files.map((file) => file.name);
    for (const name of ['DEMO.VRK', 'DEMO.VRJ', 'DEMO.V01', 'theme.mid', 'night.jpg', 'bell.wav', 'chime.mid']) {
      assert.ok(names.includes(name), name);
    }
    for (const file of manifest.files) {
      assert.equal(statSync(join(site, 'story', file.name)).size, file.size, file.name);
      assert.deepEqual(readFileSync(join(site, 'story', file.name)), readFileSync(join(demo, file.name)), file.name);
    }
    // The first page's music and picture come with the project's own files; later ones after.
    const start = manifest.files.filter((file) => file.start).map((file) => file.name);
    assert.ok(start.includes('theme.mid') && start.includes('night.jpg'), start.join());
    assert.ok(!start.includes('chime.mid'), start.join());
    // The site's own list is what is on disk, within what a host takes.
    assert.deepEqual([...manifest.site].sort(), filesBelow(site).sort());
    assert.ok(manifest.site.length <= 1000, `${manifest.site.length} files`);
    // The node player is not part of a site.
    assert.ok(!manifest.site.includes('vrk3.mjs') && !manifest.site.includes('vrk3-core.wasm'));
  });

  test('every address is relative, inside the site, and names a file there', () => {
    for (const address of addresses(site)) {
      assert.doesNotMatch(address, /^(\/|[a-z]+:)/i, address);
      const path = decodeURIComponent(address.split('?')[0]);
      assert.ok(!path.split('/').includes('..'), address);
      if (path !== './') assert.ok(existsSync(join(site, path)), `${address} is not in the site`);
    }
    const app = JSON.parse(readFileSync(join(site, 'app.webmanifest'), 'utf8'));
    assert.equal(app.name, '霧の駅');
    assert.equal(app.display, 'standalone');
    assert.ok(app.icons.some((icon) => icon.sizes === '256x256'));
  });

  test('the faces are cut to the story and far smaller than the served ones', async () => {
    const faces = JSON.parse(readFileSync(join(site, 'fonts', 'faces.json'), 'utf8'));
    assert.deepEqual(Object.keys(faces).sort(), ['IPAGothic', 'IPAMincho', 'IPAPGothic', 'IPAPMincho']);
    for (const [stem, family] of [
      ['ipag', 'IPAGothic'],
      ['ipam', 'IPAMincho'],
      ['ipagp', 'IPAPGothic'],
      ['ipamp', 'IPAPMincho'],
    ]) {
      const whole = statSync(join(dist, 'fonts', `${stem}.ttf`)).size;
      const text = statSync(join(site, 'fonts', `${stem}.woff2`)).size;
      assert.ok(text < whole / 20, `${stem}.woff2 is ${text} bytes of ${whole}`);
      // The story's characters have their advances: 霧 (the title) is in, 亜 is not the story's.
      const advance = (code) => faces[family].advances.find(([first, last]) => first <= code && code <= last);
      assert.ok(advance(0x9727), `${family} lacks 霧`);
      assert.equal(advance(0x4e9c), undefined);
    }
    // The page lays the story out by these as by the whole face: the same metrics and advances
    // as canvas.mjs reads from the served file.
    const { faceAdvances, faceMetrics } = await import(join(dist, 'canvas.mjs'));
    for (const [stem, family] of [
      ['ipag', 'IPAGothic'],
      ['ipamp', 'IPAPMincho'],
    ]) {
      const ttf = readFileSync(join(dist, 'fonts', `${stem}.ttf`));
      const { unitsPerEm, ascent, descent, advances } = faces[family];
      assert.deepEqual({ unitsPerEm, ascent, descent }, faceMetrics(ttf), family);
      const whole = faceAdvances(ttf);
      for (const [first, last, advance] of advances) {
        for (let code = first; code <= last; ++code)
          assert.equal(advance, whole.advance(code), `${family} U+${code.toString(16)}`);
      }
    }
    // The fixed-pitch faces, which the first page draws in, are asked for from the page's head.
    assert.equal(faces.IPAGothic.fixedPitch, true);
    assert.equal(faces.IPAPGothic.fixedPitch, false);
    const html = readFileSync(join(site, 'index.html'), 'utf8');
    assert.match(html, /<link rel="preload" href="fonts\/ipam\.woff2" as="font" type="font\/woff2" crossorigin>/);
    assert.doesNotMatch(html, /href="fonts\/ipamp\.woff2"/);
    // The rest of each face is there for a name the reader types, in slices the sheet ranges.
    const css = readFileSync(join(site, 'fonts', 'faces.css'), 'utf8');
    assert.match(css, /src: url\("ipag-1\.woff2"\) format\("woff2"\); unicode-range: U\+/);
  });

  test('the soundfont holds only what the music plays', () => {
    const whole = statSync(join(dist, 'TimGM6mb.sf2')).size;
    const cut = statSync(join(site, 'TimGM6mb.sf2')).size;
    assert.ok(cut < whole / 3, `${cut} of ${whole} bytes`);
  });

  test('the zip holds the site below its folder name', async () => {
    const require = createRequire(join(root, 'web', 'package.json'));
    const { unzipSync } = require('fflate');
    const members = Object.keys(unzipSync(readFileSync(`${site}.zip`))).sort();
    assert.deepEqual(
      members,
      filesBelow(site)
        .map((name) => `demo/${name}`)
        .sort(),
    );
  });

  test('a folder holding other files is refused and left alone', () => {
    const other = join(work, 'other');
    mkdirSync(other);
    writeFileSync(join(other, 'mine.txt'), 'mine');
    const run = spawnSync(vrkc, ['--web', other, '--font-effort', '1', join(demo, 'DEMO.VRK')], { encoding: 'utf8' });
    assert.equal(run.status, 1);
    assert.match(run.stderr, /holds other files/);
    assert.deepEqual(readdirSync(other), ['mine.txt']);
  });

  test(
    'opens from a sub-folder of a gzipping host at once, its first text marked',
    {
      skip: !existsSync(chromium) && `no Chromium at ${chromium}`,
    },
    async () => {
      const require = createRequire(join(root, 'web', 'package.json'));
      const { launch } = require('puppeteer-core');
      const server = spawn(
        'python3',
        [join(root, 'scripts', 'serve-page'), '--port', '0', '--quiet', join(work, 'host')],
        { stdio: ['ignore', 'pipe', 'inherit'] },
      );
      const browser = await launch({
        executablePath: chromium,
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
      });
      try {
        const port = await new Promise((done) => {
          let said = '';
          server.stdout.on('data', (chunk) => {
            said += chunk;
            const found = /:(\d+)\//.exec(said);
            if (found) done(Number(found[1]));
          });
        });
        const page = await browser.newPage();
        const errors = [];
        page.on('pageerror', (error) => errors.push(error.message));
        const requested = [];
        page.on('request', (request) => requested.push(new URL(request.url()).pathname));
        await page.goto(`http://127.0.0.1:${port}/stories/demo/`);
        // The slot picker and the names a fresh slot asks are answered as they come: the first
        // slot, the default names.
        const firstText = async () => {
          const deadline = Date.now() + 30000;
          while (!(await page.evaluate(() => performance.getEntriesByName('vrk:first-text').length > 0))) {
            assert.ok(Date.now() < deadline, 'no first text within 30 s');
            if (await page.$('dialog[open]')) await page.keyboard.press('Enter');
            await new Promise((done) => setTimeout(done, 50));
          }
        };
        await firstText();
        const lines = await page.evaluate(() => window.vrkPage.lines().join('\n'));
        assert.match(lines, /\S/);
        assert.deepEqual(errors, []);
        // Everything came from the story's folder; the whole faces were never asked for.
        for (const path of requested) assert.ok(path.startsWith('/stories/demo/'), path);
        assert.ok(!requested.some((path) => path.endsWith('.ttf')), requested.join('\n'));
        assert.ok(requested.includes('/stories/demo/story/DEMO.VRK'));

        // Once the service worker has kept the site, the story opens with the host gone, and the
        // page names itself by the story's title.
        await page.waitForFunction(
          async () => (await navigator.serviceWorker.getRegistration())?.active?.state === 'activated',
          { timeout: 60000 },
        );
        server.kill();
        await new Promise((done) => server.on('exit', done));
        await page.reload();
        await firstText();
        assert.match(await page.evaluate(() => window.vrkPage.lines().join('\n')), /\S/);
        assert.match(await page.title(), /^霧の駅/);
        assert.deepEqual(errors, []);
      } finally {
        await browser.close();
        server.kill();
      }
    },
  );
});
