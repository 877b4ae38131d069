// What every browser test starts from: the built page served from web/dist on a free local
// port, and a browser with a profile of its own, in each engine the suite tests: headless
// Chromium and Firefox through puppeteer-core (Firefox over WebDriver BiDi), WebKitGTK's
// MiniBrowser through WebKitWebDriver (webdriver.mjs) under a virtual X server of its own.
//
//   VRK_BROWSERS=chromium,firefox,webkit   the engines to test (default: every one installed)
//   VRK_CHROMIUM, VRK_FIREFOX, VRK_WEBKIT_DRIVER, VRK_MINIBROWSER   where they are
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';
import { describe } from 'node:test';
import { launchWebDriver } from './webdriver.mjs';

const kTypes = {
  '.html': 'text/html',
  '.js': 'text/javascript',
  '.mjs': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
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
    // Never from a cache: every run tests the page as built (a browser's cache may outlive its profile).
    response.writeHead(200, {
      'Content-Type': kTypes[extname(name)] ?? 'application/octet-stream',
      'Cache-Control': 'no-store',
    });
    response.end(readFileSync(path));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

export const kEngines = Object.freeze(['chromium', 'firefox', 'webkit']);

function miniBrowser() {
  if (process.env.VRK_MINIBROWSER) return process.env.VRK_MINIBROWSER;
  for (const lib of ['/usr/lib/x86_64-linux-gnu', '/usr/lib/aarch64-linux-gnu', '/usr/lib']) {
    for (const api of ['webkit2gtk-4.1', 'webkit2gtk-4.0']) {
      if (existsSync(join(lib, api, 'MiniBrowser'))) return join(lib, api, 'MiniBrowser');
    }
  }
  return '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
}

/// Where each engine's program is.
export const enginePaths = Object.freeze({
  chromium: process.env.VRK_CHROMIUM ?? '/usr/bin/chromium',
  firefox: process.env.VRK_FIREFOX ?? '/usr/bin/firefox-esr',
  webkit: process.env.VRK_WEBKIT_DRIVER ?? '/usr/bin/WebKitWebDriver',
  miniBrowser: miniBrowser(),
  xvfb: '/usr/bin/Xvfb',
});

/// Why ENGINE's browser cannot be started here, or null.
export function engineMissing(engine) {
  if (!kEngines.includes(engine)) return `no engine called ${engine} (VRK_BROWSERS takes ${kEngines.join(', ')})`;
  if (!existsSync(enginePaths[engine]))
    return `no browser at ${enginePaths[engine]} (scripts/install-deps-web installs it)`;
  if (engine === 'webkit') {
    if (!existsSync(enginePaths.miniBrowser))
      return `no MiniBrowser at ${enginePaths.miniBrowser} (scripts/install-deps-web installs it)`;
    if (!process.env.DISPLAY && !existsSync(enginePaths.xvfb))
      return 'no display and no Xvfb (scripts/install-deps-web installs it)';
  }
  return null;
}

/// The engines the suite runs its browser tests in: VRK_BROWSERS, else every one installed
/// (Chromium at least, whose tests then say what is missing).
export function testedEngines() {
  const asked = (process.env.VRK_BROWSERS ?? '')
    .split(',')
    .map((name) => name.trim())
    .filter(Boolean);
  if (asked.length > 0) return asked;
  const installed = kEngines.filter((engine) => engineMissing(engine) === null);
  return installed.length > 0 ? installed : ['chromium'];
}

/// BODY(engine) once per tested engine, its tests grouped under the engine's name.
export function eachEngine(body) {
  for (const engine of testedEngines()) describe(engine, () => body(engine));
}

/// The reason a test cannot run in ENGINE from REASONS ({ engine: reason }), else false (for
/// node:test's skip option).
export const unlessIn = (engine, reasons) => reasons[engine] ?? false;

// A virtual X server for the MiniBrowser when there is no display: started at the first WebKit
// browser, ended with the last.
let xServer = null;
let xUsers = 0;

async function startX() {
  if (process.env.DISPLAY) return { display: process.env.DISPLAY, stop: () => {} };
  if (!xServer) {
    const child = spawn(enginePaths.xvfb, ['-displayfd', '1', '-screen', '0', '1600x1200x24', '-nolisten', 'tcp'], {
      stdio: ['ignore', 'pipe', 'ignore'],
    });
    const display = await new Promise((resolve, reject) => {
      let text = '';
      child.stdout.on('data', (chunk) => {
        text += chunk;
        if (text.includes('\n')) resolve(`:${text.trim()}`);
      });
      child.once('exit', () => reject(new Error('Xvfb did not start')));
    });
    xServer = { child, display };
  }
  ++xUsers;
  const server = xServer;
  return {
    display: server.display,
    stop: () => {
      if (--xUsers === 0 && xServer === server) {
        server.child.kill();
        xServer = null;
      }
    },
  };
}

/// A headless browser of ENGINE with its profile in PROFILE_DIR. Puppeteer hides scroll bars in
/// headless Chromium; SCROLL_BARS keeps them, to be clicked as a reader would. DEVICE_SCALE
/// fixes the device pixel ratio; AUTOPLAY lets sound start without a gesture; EXTRA_ARGS are
/// Chromium's only.
export async function launchBrowser(
  require,
  engine,
  profileDir,
  { extraArgs = [], scrollBars = false, deviceScale = null, autoplay = false } = {},
) {
  if (engine === 'webkit') {
    const x = await startX();
    try {
      const browser = await launchWebDriver({
        driver: enginePaths.webkit,
        binary: enginePaths.miniBrowser,
        env: { ...process.env, DISPLAY: x.display },
      });
      const close = browser.close;
      browser.close = async () => {
        await close();
        x.stop();
      };
      return browser;
    } catch (error) {
      x.stop();
      throw error;
    }
  }
  const { launch } = require('puppeteer-core');
  if (engine === 'firefox') {
    return launch({
      browser: 'firefox',
      protocol: 'webDriverBiDi',
      executablePath: enginePaths.firefox,
      headless: true,
      userDataDir: profileDir,
      extraPrefsFirefox: {
        // The clipboard read by a script without a paste prompt, as Firefox's own tests read it.
        'dom.events.testing.asyncClipboard': true,
        // No sound card here: Firefox's stand-in device, which runs the audio graph as one would.
        'media.cubeb.force_mock_context': true,
        ...(deviceScale ? { 'layout.css.devPixelsPerPx': String(deviceScale) } : {}),
        ...(autoplay ? { 'media.autoplay.default': 0, 'media.autoplay.block-webaudio': false } : {}),
      },
    });
  }
  return launch({
    executablePath: enginePaths.chromium,
    headless: true,
    ignoreDefaultArgs: scrollBars ? ['--hide-scrollbars'] : [],
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      ...(deviceScale ? [`--force-device-scale-factor=${deviceScale}`] : []),
      ...(autoplay ? ['--autoplay-policy=no-user-gesture-required'] : []),
      ...extraArgs,
      `--user-data-dir=${profileDir}`,
    ],
  });
}

/// What a browser test file works with: DIST served (SERVE as serveSite's options), a work
/// folder PREFIX... in the system's temporary folder, and a browser of ENGINE (the rest as
/// launchBrowser's) with its profile in it. Resolves to { url, work, browser, close }; close()
/// ends the browser and the server and removes the folder, unless KEEP_WORK.
export async function openSite(require, engine, dist, prefix, { serve = {}, keepWork = false, ...launchOptions } = {}) {
  const server = await serveSite(dist, serve);
  const work = mkdtempSync(join(tmpdir(), prefix));
  const close = async (browser) => {
    await browser?.close();
    server.close();
    if (!keepWork) rmSync(work, { recursive: true, force: true });
  };
  let browser;
  try {
    browser = await launchBrowser(require, engine, join(work, 'profile'), launchOptions);
  } catch (error) {
    await close(null);
    throw error;
  }
  return { url: server.url, work, browser, close: () => close(browser) };
}

/// Why a browser test cannot run here in ENGINE, or null: its browser, the built page in DIST and
/// puppeteer-core (resolved by REQUIRE) must be there, and every [path, reason] of NEEDS.
export function browserTestMissing(require, engine, dist, needs = []) {
  const noEngine = engineMissing(engine);
  if (noEngine) return noEngine;
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
