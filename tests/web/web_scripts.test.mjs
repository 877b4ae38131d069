// The web build's scripts agree: every file scripts/build-web copies from the system into the
// page (its fonts, the soundfont) belongs to a Debian package scripts/install-deps-web installs,
// so a machine set up by it alone builds the whole page. Asks dpkg which package owns each file
// found here; skipped where dpkg or the files are not there.
//
//   node --test tests/web/web_scripts.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const buildWeb = readFileSync(join(root, 'scripts', 'build-web'), 'utf8');
const installDeps = readFileSync(join(root, 'scripts', 'install-deps-web'), 'utf8');

function run(command, args, env = {}) {
  try {
    return execFileSync(command, args, {
      env: { ...process.env, ...env },
      stdio: ['ignore', 'pipe', 'ignore'],
    }).toString();
  } catch {
    return null;
  }
}

const dpkg = run('dpkg-query', ['--version']) !== null;

// The packages install-deps-web always asks for (node and npm only when missing).
function installedPackages() {
  const list = installDeps.match(/^packages=\(([^)]*)\)/m);
  assert.ok(list, 'install-deps-web lists its packages');
  return list[1].trim().split(/\s+/);
}

// The system files build-web copies: each font face through its search paths, then every plain
// path under /usr/share it names.
function systemFiles() {
  const faces = buildWeb.match(/for face in ([^;]+); do/);
  const search = buildWeb.match(/found=\$\(ls (.+?) 2>\/dev\/null/);
  assert.ok(faces && search, 'build-web looks for its font faces');
  const files = faces[1]
    .trim()
    .split(/\s+/)
    .map((face) => ({
      what: `${face}.ttf`,
      path: run('bash', ['-c', `ls ${search[1]} 2>/dev/null | head -n 1`], { face })?.trim() || null,
    }));
  for (const [, path] of buildWeb.matchAll(/^cp (\/usr\/share\/\S+)/gm)) files.push({ what: path, path });
  return files;
}

test(
  'every system file the page is built with comes from a package install-deps-web installs',
  { skip: dpkg ? false : 'no dpkg here' },
  (t) => {
    const packages = installedPackages();
    const files = systemFiles();
    assert.ok(files.length >= 5, `the fonts and the soundfont: ${JSON.stringify(files)}`);
    let checked = 0;
    for (const { what, path } of files) {
      const owner = path && run('dpkg-query', ['--search', path]);
      if (!owner) {
        t.diagnostic(`${what}: not installed here, not checked`);
        continue;
      }
      const names = owner
        .split(':')[0]
        .split(',')
        .map((name) => name.trim());
      assert.ok(
        names.some((name) => packages.includes(name)),
        `${path} comes from ${names.join(', ')}, which install-deps-web does not install`,
      );
      ++checked;
    }
    if (checked === 0) t.skip('none of the files is installed here');
  },
);
