// A client of the WebDriver HTTP API shaped like the part of puppeteer the browser tests use, for
// the engine puppeteer cannot drive: WebKitGTK, through WebKitWebDriver and its MiniBrowser.
// One session is one browser with its own storage; a page is a window of it.
//
// What WebDriver classic cannot do, this cannot either: a page's console, requests and responses
// are not heard (page.on takes 'pageerror' only, heard from the page itself once it has loaded),
// and a script "on new document" runs on a blank page of the same origin before the page (so
// what it stores is there when the page starts) and again once the page has loaded.
import { spawn } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import { createServer } from 'node:net';

const kElement = 'element-6066-11e4-a52e-4f735466cecf';
const kKeys = {
  Backspace: '\uE003',
  Tab: '\uE004',
  Enter: '\uE007',
  Shift: '\uE008',
  Control: '\uE009',
  Alt: '\uE00A',
  Escape: '\uE00C',
  PageUp: '\uE00E',
  PageDown: '\uE00F',
  End: '\uE010',
  Home: '\uE011',
  ArrowLeft: '\uE012',
  ArrowUp: '\uE013',
  ArrowRight: '\uE014',
  ArrowDown: '\uE015',
  Insert: '\uE016',
  Delete: '\uE017',
  Meta: '\uE03D',
  ...Object.fromEntries(Array.from({ length: 12 }, (_, i) => [`F${i + 1}`, String.fromCharCode(0xe031 + i)])),
};
const keyValue = (key) => kKeys[key] ?? key;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

class WebDriverError extends Error {}

async function request(base, method, path, body, timeoutMs = 120000) {
  const response = await fetch(base + path, {
    method,
    signal: AbortSignal.timeout(timeoutMs),
    headers: { 'Content-Type': 'application/json' },
    body: method === 'POST' ? JSON.stringify(body ?? {}) : undefined,
  });
  const answer = await response.json().catch(() => ({}));
  if (!response.ok) {
    const error = new WebDriverError(`${method} ${path}: ${answer.value?.error}: ${answer.value?.message}`);
    error.code = answer.value?.error;
    throw error;
  }
  return answer.value;
}

// The page's errors, kept by the page for the client to collect after each script it runs.
const kErrorCollector = `if (!window.__vrkErrors) {
  window.__vrkErrors = [];
  window.addEventListener('error', (e) => window.__vrkErrors.push(String(e.message ?? e)));
  window.addEventListener('unhandledrejection', (e) => window.__vrkErrors.push(String(e.reason?.message ?? e.reason)));
}`;

const serialize = (value) => (value instanceof ElementHandle ? { [kElement]: value.id } : value);

class ElementHandle {
  constructor(page, id) {
    this.page = page;
    this.id = id;
  }

  async click(options = {}) {
    return this.page.clickAt(await this.page.centreOf(this, options.offset), options);
  }

  evaluate(fn, ...args) {
    return this.page.evaluate(fn, this, ...args);
  }

  async $(selector) {
    return this.page.find(selector, this);
  }

  $eval(selector, fn, ...args) {
    return this.page.script(
      `(within, selector, ...args) => {
      const element = within.querySelector(selector);
      if (!element) throw new Error('no element matches ' + selector);
      return (${fn})(element, ...args);
    }`,
      [this, selector, ...args],
    );
  }

  async uploadFile(...paths) {
    await this.page.use();
    await request(this.page.session.base, 'POST', `${this.page.session.path}/element/${this.id}/value`, {
      text: paths.join('\n'),
    });
  }

  async screenshot({ path } = {}) {
    await this.page.use();
    const png = Buffer.from(
      await request(this.page.session.base, 'GET', `${this.page.session.path}/element/${this.id}/screenshot`),
      'base64',
    );
    if (path) writeFileSync(path, png);
    return png;
  }
}

class Page {
  constructor(session, handle) {
    this.session = session;
    this.handle = handle;
    this.preload = [];
    this.handlers = { pageerror: [] };
    this.pointer = { x: 0, y: 0 };
    this.keyboard = {
      press: (key) =>
        this.keys([
          { type: 'keyDown', value: keyValue(key) },
          { type: 'keyUp', value: keyValue(key) },
        ]),
      down: (key) => this.keys([{ type: 'keyDown', value: keyValue(key) }]),
      up: (key) => this.keys([{ type: 'keyUp', value: keyValue(key) }]),
      type: (text) =>
        this.keys(
          [...text].flatMap((c) => [
            { type: 'keyDown', value: c },
            { type: 'keyUp', value: c },
          ]),
        ),
      sendCharacter: (text) => this.evaluate((t) => document.execCommand('insertText', false, t), text),
    };
    this.mouse = {
      move: (x, y) =>
        this.pointerActions([{ type: 'pointerMove', x: Math.round(x), y: Math.round(y), origin: 'viewport' }], {
          x,
          y,
        }),
      down: () => this.pointerActions([{ type: 'pointerDown', button: 0 }]),
      up: () => this.pointerActions([{ type: 'pointerUp', button: 0 }]),
      click: (x, y) => this.clickAt({ x, y }),
      wheel: ({ deltaX = 0, deltaY = 0 } = {}) =>
        this.actions([
          {
            type: 'wheel',
            id: 'wheel',
            actions: [
              {
                type: 'scroll',
                x: Math.round(this.pointer.x),
                y: Math.round(this.pointer.y),
                deltaX,
                deltaY,
                origin: 'viewport',
              },
            ],
          },
        ]),
    };
  }

  on(event, handler) {
    if (!this.handlers[event]) throw new Error(`WebDriver classic does not hear a page's '${event}' events`);
    this.handlers[event].push(handler);
    return this;
  }

  async use() {
    if (this.session.current !== this.handle) {
      await this.session.call('POST', '/window', { handle: this.handle });
      this.session.current = this.handle;
    }
  }

  async script(source, args) {
    await this.use();
    const wrapped = `const done = arguments[arguments.length - 1];
${kErrorCollector}
Promise.resolve().then(() => (${source}).apply(null, Array.prototype.slice.call(arguments, 0, -1)))
  .then((value) => done(value instanceof Element ? { element: value, errors: window.__vrkErrors.splice(0) }
    : { json: value === undefined ? undefined : JSON.stringify(value), errors: window.__vrkErrors.splice(0) }),
    (error) => done({ thrown: String(error?.stack ?? error), errors: window.__vrkErrors.splice(0) }));`;
    const answer = await this.session.call('POST', '/execute/async', { script: wrapped, args: args.map(serialize) });
    for (const message of answer?.errors ?? []) this.handlers.pageerror.forEach((h) => h(new Error(message)));
    if (answer?.thrown !== undefined) throw new Error(`evaluation failed: ${answer.thrown}`);
    // As puppeteer gives them: values as JSON makes them, elements as handles.
    if (answer?.element) return new ElementHandle(this, answer.element[kElement]);
    return typeof answer?.json === 'string' ? JSON.parse(answer.json) : undefined;
  }

  evaluate(fn, ...args) {
    const source = typeof fn === 'function' ? fn.toString() : `() => (${fn})`;
    return this.script(source, args);
  }

  $eval(selector, fn, ...args) {
    return this.script(
      `(selector, ...args) => {
      const element = document.querySelector(selector);
      if (!element) throw new Error('no element matches ' + selector);
      return (${fn})(element, ...args);
    }`,
      [selector, ...args],
    );
  }

  $$eval(selector, fn, ...args) {
    return this.script(`(selector, ...args) => (${fn})(Array.from(document.querySelectorAll(selector)), ...args)`, [
      selector,
      ...args,
    ]);
  }

  async find(selector, within = null) {
    await this.use();
    const path = within ? `/element/${within.id}/element` : '/element';
    try {
      const found = await this.session.call('POST', path, { using: 'css selector', value: selector });
      return new ElementHandle(this, found[kElement]);
    } catch (error) {
      if (error.code === 'no such element') return null;
      throw error;
    }
  }

  $(selector) {
    return this.find(selector);
  }

  async waitForFunction(fn, options = {}, ...args) {
    const deadline = Date.now() + (options.timeout ?? 30000);
    for (;;) {
      const value = await this.evaluate(fn, ...args);
      if (value) return value;
      if (Date.now() > deadline) throw new Error(`waiting for ${String(fn).slice(0, 120)} timed out`);
      await sleep(typeof options.polling === 'number' ? options.polling : 50);
    }
  }

  async waitForSelector(selector, options = {}) {
    const shown = await this.waitForFunction(
      (s, visible, hidden) => {
        const element = document.querySelector(s);
        const seen =
          element && element.getClientRects().length > 0 && getComputedStyle(element).visibility !== 'hidden';
        if (hidden) return !seen;
        return visible ? Boolean(seen) : Boolean(element);
      },
      { timeout: options.timeout },
      selector,
      Boolean(options.visible),
      Boolean(options.hidden),
    );
    return shown && !options.hidden ? this.find(selector) : null;
  }

  async runPreload() {
    for (const [source, args] of this.preload) await this.script(source, args);
  }

  async goto(url) {
    if (this.preload.length > 0) {
      await this.session.call('POST', '/url', { url: new URL('/__preload__', url).href });
      await this.runPreload();
    }
    await this.use();
    await this.session.call('POST', '/url', { url });
    await this.runPreload();
  }

  async reload() {
    await this.use();
    await this.session.call('POST', '/refresh');
    await this.runPreload();
  }

  evaluateOnNewDocument(fn, ...args) {
    this.preload.push([fn.toString(), args]);
  }

  async centreOf(target, offset) {
    const element = typeof target === 'string' ? await this.find(target) : target;
    if (!element) throw new Error(`no element matches ${target}`);
    const box = await this.evaluate((e) => {
      e.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      const r = e.getBoundingClientRect();
      return { x: r.left, y: r.top, width: r.width, height: r.height };
    }, element);
    return offset
      ? { x: box.x + offset.x, y: box.y + offset.y }
      : { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  }

  async click(selector, options = {}) {
    return this.clickAt(await this.centreOf(selector, options.offset), options);
  }

  async hover(selector) {
    const { x, y } = await this.centreOf(selector);
    return this.mouse.move(x, y);
  }

  bringToFront() {
    return this.use();
  }

  focus(selector) {
    return this.$eval(selector, (e) => e.focus());
  }

  clickAt({ x, y }, { count = 1, clickCount = count, button = 'left' } = {}) {
    const b = { left: 0, middle: 1, right: 2 }[button] ?? 0;
    const clicks = Array.from({ length: clickCount }, () => [
      { type: 'pointerDown', button: b },
      { type: 'pointerUp', button: b },
    ]).flat();
    return this.pointerActions(
      [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y), origin: 'viewport' }, ...clicks],
      { x, y },
    );
  }

  pointerActions(actions, at = null) {
    if (at) this.pointer = at;
    return this.actions([{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions }]);
  }

  keys(actions) {
    return this.actions([{ type: 'key', id: 'keyboard', actions }]);
  }

  async actions(sources) {
    await this.use();
    await this.session.call('POST', '/actions', { actions: sources });
  }

  // The window's size for a viewport of WIDTH x HEIGHT: the browser's own frame is added.
  async setViewport({ width, height, deviceScaleFactor = 1 }) {
    if (deviceScaleFactor !== 1) throw new Error('WebDriver classic sets no device pixel ratio');
    await this.use();
    for (let i = 0; i < 3; ++i) {
      const inner = await this.evaluate(() => [window.innerWidth, window.innerHeight]);
      if (inner[0] === width && inner[1] === height) return;
      const rect = await this.session.call('GET', '/window/rect');
      await this.session.call('POST', '/window/rect', {
        width: rect.width + width - inner[0],
        height: rect.height + height - inner[1],
      });
    }
  }

  async close() {
    await this.use();
    const left = await this.session.call('DELETE', '/window');
    this.session.current = null;
    this.session.pages.delete(this);
    if (left.length === 0) await this.session.end();
  }
}

// One WebDriver session: its windows are its pages.
class Session {
  constructor(base, id, onEnd) {
    this.base = base;
    this.path = `/session/${id}`;
    this.current = null;
    this.pages = new Set();
    this.fresh = true; // the first window is there already, unused
    this.onEnd = onEnd;
    this.ended = false;
  }

  call(method, path, body) {
    return request(this.base, method, this.path + path, body);
  }

  async newPage() {
    let handle;
    if (this.fresh) {
      this.fresh = false;
      handle = await this.call('GET', '/window');
    } else {
      // A new window is opened from an open one: the one in use may have been closed.
      const [open] = await this.call('GET', '/window/handles');
      await this.call('POST', '/window', { handle: open });
      handle = (await this.call('POST', '/window/new', { type: 'tab' })).handle;
    }
    const page = new Page(this, handle);
    this.pages.add(page);
    await page.use();
    return page;
  }

  async end() {
    if (this.ended) return;
    this.ended = true;
    // A browser whose last window closed has ended already, and its driver may not answer.
    await request(this.base, 'DELETE', this.path, undefined, 3000).catch(() => {});
    this.onEnd?.(this);
  }
}

async function startDriver(driver, env) {
  const port = await freePort();
  const child = spawn(driver, [`--port=${port}`, '--host=127.0.0.1'], { stdio: 'ignore', env });
  const base = `http://127.0.0.1:${port}`;
  const exited = new Promise((resolve) => child.once('exit', resolve));
  for (let i = 0; ; ++i) {
    try {
      await request(base, 'GET', '/status');
      break;
    } catch (error) {
      if (i > 100 || child.exitCode !== null) {
        child.kill();
        throw new Error(`${driver} did not start: ${error.message}`);
      }
      await sleep(50);
    }
  }
  return {
    base,
    stop: async () => {
      child.kill();
      const killed = setTimeout(() => child.kill('SIGKILL'), 2000);
      await exited;
      clearTimeout(killed);
    },
  };
}

/// WebKitWebDriver at DRIVER (its environment ENV) starting BINARY (the MiniBrowser). Resolves to
/// a browser with newPage, createBrowserContext and close. The driver keeps one session at a
/// time, so each context (a browser with storage of its own) has a driver of its own.
export async function launchWebDriver({ driver, binary, args = [], env = process.env }) {
  const capabilities = { alwaysMatch: { 'webkitgtk:browserOptions': { binary, args: ['--automation', ...args] } } };
  // A context's driver and session, made at its first page and ended with it.
  const context = () => {
    let made = null;
    const open = async () => {
      if (made && !made.session.ended) return made.session;
      // A browser whose last page closed has ended: its driver goes with it.
      if (made) await made.started.stop();
      made = null;
      const started = await startDriver(driver, env);
      try {
        const answer = await request(started.base, 'POST', '/session', { capabilities });
        made = { started, session: new Session(started.base, answer.sessionId, () => {}) };
      } catch (error) {
        await started.stop();
        throw error;
      }
      return made.session;
    };
    return {
      newPage: async () => (await open()).newPage(),
      close: async () => {
        if (!made) return;
        const { started, session } = made;
        made = null;
        await session.end();
        await started.stop();
      },
    };
  };
  const main = context();
  const others = new Set();
  return {
    engine: 'webkit',
    newPage: () => main.newPage(),
    createBrowserContext: async () => {
      const made = context();
      others.add(made);
      return made;
    },
    close: async () => {
      await Promise.all([main, ...others].map((c) => c.close()));
    },
  };
}
