// What every browser test starts from: the built page served from web/dist on a free local
// port, and a headless Chromium with a profile of its own.
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';

const kTypes = {
  '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png',
};

/// Serves DIST. ROUTES maps a path (without the leading "/") to { type, body } served in its
/// place; FETCHED(name) hears of every file served from DIST. Resolves to { url, close }.
export async function serveSite(dist, { routes = {}, fetched = () => {} } = {}) {
  const server = createServer((request, response) => {
    const name = new URL(request.url, 'http://localhost').pathname.slice(1) || 'index.html';
    const route = routes[name];
    if (route) {
      response.writeHead(200, { 'Content-Type': route.type }).end(route.body);
      return;
    }
    const path = join(dist, name);
    if (name.includes('..') || !existsSync(path)) {
      response.writeHead(404).end();
      return;
    }
    fetched(name);
    response.writeHead(200, { 'Content-Type': kTypes[extname(name)] ?? 'application/octet-stream' });
    response.end(readFileSync(path));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

/// Headless CHROMIUM through puppeteer-core (resolved by REQUIRE) with its profile in
/// PROFILE_DIR; EXTRA_ARGS are added to the quiet defaults. Puppeteer hides scroll bars in a
/// headless browser; SCROLL_BARS keeps them, to be clicked as a reader would.
export function launchChromium(require, chromium, profileDir, extraArgs = [], { scrollBars = false } = {}) {
  const { launch } = require('puppeteer-core');
  return launch({
    executablePath: chromium,
    headless: true,
    ignoreDefaultArgs: scrollBars ? ['--hide-scrollbars'] : [],
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', ...extraArgs, `--user-data-dir=${profileDir}`],
  });
}

/// What a browser test file works with: DIST served (SERVE as serveSite's options), a work
/// folder PREFIX... in the system's temporary folder, and Chromium (EXTRA_ARGS, SCROLL_BARS as
/// launchChromium's) with its profile in it. Resolves to { url, work, browser, close }; close() ends the browser and the server and
/// removes the folder, unless KEEP_WORK.
export async function openSite(require, chromium, dist, prefix,
  { serve = {}, extraArgs = [], scrollBars = false, keepWork = false } = {}) {
  const server = await serveSite(dist, serve);
  const work = mkdtempSync(join(tmpdir(), prefix));
  const close = async (browser) => {
    await browser?.close();
    server.close();
    if (!keepWork) rmSync(work, { recursive: true, force: true });
  };
  let browser;
  try {
    browser = await launchChromium(require, chromium, join(work, 'profile'), extraArgs, { scrollBars });
  } catch (error) {
    await close(null);
    throw error;
  }
  return { url: server.url, work, browser, close: () => close(browser) };
}

/// Why a browser test cannot run here, or null: CHROMIUM, the built page in DIST and
/// puppeteer-core (resolved by REQUIRE) must be there, and every [path, reason] of NEEDS.
export function browserTestMissing(require, chromium, dist, needs = []) {
  if (!existsSync(chromium)) return `no browser at ${chromium} (scripts/install-deps-web installs it)`;
  if (!existsSync(join(dist, 'index.html'))) return 'no page in web/dist (make web)';
  for (const [path, reason] of needs) {
    if (!existsSync(path)) return reason;
  }
  try {
    require.resolve('puppeteer-core');
  } catch {
    return 'puppeteer-core is not installed (scripts/install-deps-web)';
  }
  return null;
}
