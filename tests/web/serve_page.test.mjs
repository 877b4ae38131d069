// scripts/serve-page, which `make serve` runs: gzip for a browser that takes it, the bytes as
// they are for one that does not and for formats that are compressed already, and loopback only.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { get } from 'node:http';
import { networkInterfaces, tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { gunzipSync } from 'node:zlib';

const script = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'scripts', 'serve-page');

function request(host, port, path, headers = {}) {
  return new Promise((done, fail) => {
    get({ host, port, path, headers }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () =>
        done({ status: response.statusCode, headers: response.headers, body: Buffer.concat(chunks) }),
      );
    }).on('error', fail);
  });
}

describe('serve-page', () => {
  let dir;
  let server;
  let address;
  const engine = Buffer.from('export const page = "reading";\n'.repeat(400));
  const picture = Buffer.alloc(4096, 7);

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'vrk3-serve-'));
    writeFileSync(join(dir, 'page.mjs'), engine);
    writeFileSync(join(dir, 'back.png'), picture);
    writeFileSync(join(dir, 'tiny.json'), '{}');
    server = spawn('python3', [script, '--port', '0', '--quiet', dir], { stdio: ['ignore', 'pipe', 'inherit'] });
    address = await new Promise((done, fail) => {
      let said = '';
      server.stdout.on('data', (chunk) => {
        said += chunk;
        const found = /http:\/\/([^/]+):(\d+)\//.exec(said);
        if (found) done({ host: found[1], port: Number(found[2]) });
      });
      server.on('exit', (code) => fail(new Error(`serve-page ended (${code})`)));
    });
  });

  after(() => {
    server?.kill();
    rmSync(dir, { recursive: true, force: true });
  });

  test('listens on the loopback address only', async () => {
    assert.equal(address.host, '127.0.0.1');
    // Another address of this machine, where there is one, gets no answer.
    const other = Object.values(networkInterfaces())
      .flat()
      .find((a) => a && a.family === 'IPv4' && !a.internal);
    if (other) {
      await assert.rejects(request(other.address, address.port, '/page.mjs'), /ECONNREFUSED|EHOSTUNREACH|ETIMEDOUT/);
    }
  });

  test('gzips for a browser that takes gzip, by its Accept-Encoding', async () => {
    const zipped = await request(address.host, address.port, '/page.mjs', { 'Accept-Encoding': 'br, gzip, deflate' });
    assert.equal(zipped.status, 200);
    assert.equal(zipped.headers['content-encoding'], 'gzip');
    assert.equal(zipped.headers['content-type'], 'text/javascript');
    assert.match(zipped.headers.vary, /Accept-Encoding/);
    assert.ok(zipped.body.length < engine.length / 10);
    assert.deepEqual(gunzipSync(zipped.body), engine);
    // Asked twice, the same bytes (kept, not compressed again differently).
    const again = await request(address.host, address.port, '/page.mjs', { 'Accept-Encoding': 'gzip' });
    assert.deepEqual(again.body, zipped.body);
  });

  test('sends the bytes as they are to a browser that refuses gzip or does not name it', async () => {
    for (const accept of [undefined, 'identity', 'gzip;q=0', 'br']) {
      const plain = await request(address.host, address.port, '/page.mjs', accept ? { 'Accept-Encoding': accept } : {});
      assert.equal(plain.headers['content-encoding'], undefined, accept);
      assert.deepEqual(plain.body, engine, accept);
    }
  });

  test('leaves compressed formats and tiny files alone', async () => {
    const png = await request(address.host, address.port, '/back.png', { 'Accept-Encoding': 'gzip' });
    assert.equal(png.headers['content-encoding'], undefined);
    assert.deepEqual(png.body, picture);
    const tiny = await request(address.host, address.port, '/tiny.json', { 'Accept-Encoding': 'gzip' });
    assert.equal(tiny.headers['content-encoding'], undefined);
    assert.equal(tiny.body.toString(), '{}');
  });

  test('serves nothing outside its folder', async () => {
    const missing = await request(address.host, address.port, '/../serve-page', { 'Accept-Encoding': 'gzip' });
    assert.equal(missing.status, 404);
    const escaped = await request(address.host, address.port, '/%2e%2e/%2e%2e/etc/passwd', {
      'Accept-Encoding': 'gzip',
    });
    assert.equal(escaped.status, 404);
  });
});
