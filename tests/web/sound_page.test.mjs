// The page's sound in headless Chromium: a small story plays a MIDI file as its music and a WAV
// as an effect. The page must start them, render the MIDI with the real synthesizer and
// soundfont, and hand their ends to the engine, which repeats the music after its pause.
// (Chromium driven by the test lets audio start without a gesture whatever its autoplay policy,
// so the wait for the first gesture is tested under node, in sound.test.mjs.)
//
//   VRKC=build/tools/vrkc/vrkc VRK_TESTDATA_DIR=../shared/testdata node --test tests/web/sound_page.test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { waitForOpening } from './opening.mjs';
import { browserTestMissing, eachEngine, launchBrowser, serveSite, testedEngines } from './site.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const vrkc = resolve(process.env.VRKC ?? join(root, 'build', 'tools', 'vrkc', 'vrkc'));
const testdata = resolve(process.env.VRK_TESTDATA_DIR ?? join(root, '..', 'shared', 'testdata'));
const song = join(testdata, 'sound', 'midi', 'dmidiplayer-examples', 'test.mid');
const hit = join(testdata, 'sound', 'wav', 'cpython-testsuite', 'pluck-pcm16.wav');
const voice = join(testdata, 'sound', 'wav', 'generated', 'espeak_en_22050_mono_ima_adpcm.wav');
const require = createRequire(join(root, 'web', 'package.json'));

const missing = (engine) =>
  browserTestMissing(require, engine, dist, [
    [join(dist, 'TimGM6mb.sf2'), 'no page with its soundfont in web/dist (make web)'],
    [vrkc, `no compiler at ${vrkc}`],
    ...[song, hit, voice].map((path) => [path, `test data not found at ${testdata}`]),
  ]);
// The story is made once, when any engine can play it.
const anyEngine = testedEngines().some((engine) => !missing(engine));

// Music on the first page, an effect on the second (the music is not named there, so it stops),
// an ADPCM voice, which browsers cannot decode themselves, on the third.
const kStory = `*START
>BGM=song.mid
音楽が鳴る。
?
次へ
HIT
?END
*HIT
>WAV=hit.wav
効果音が鳴った。
?
次へ
VOICE
?END
*VOICE
>WAV=voice.wav
声がした。
?
戻る
START
?END
*VRKALTER
${'????\n'.repeat(18)}音
`;

let server;
let work;
let url;
let zip;
const fetched = [];

before(async () => {
  if (!anyEngine) return;
  server = await serveSite(dist, { fetched: (name) => fetched.push(name) });
  url = server.url;
  work = mkdtempSync(join(tmpdir(), 'vrk3-sound-'));
  const project = join(work, 'project');
  mkdirSync(project);
  writeFileSync(join(work, 'story.txt'), kStory);
  execFileSync(vrkc, ['--slots', join(work, 'story.txt'), join(project, 'SOUND')]);
  copyFileSync(song, join(project, 'song.mid'));
  copyFileSync(hit, join(project, 'hit.wav'));
  copyFileSync(voice, join(project, 'voice.wav'));
  const { zipSync } = await import(join(dist, 'fflate.mjs'));
  const members = {};
  for (const name of readdirSync(project)) members[name] = readFileSync(join(project, name));
  zip = join(work, 'sound.zip');
  writeFileSync(zip, zipSync(members));
});

after(() => {
  server?.close();
  if (work) rmSync(work, { recursive: true, force: true });
});

const launch = (engine) => launchBrowser(require, engine, mkdtempSync(join(work, 'profile-')), { autoplay: true });

async function openStory(page) {
  await page.goto(url);
  const input = await page.$('#zip');
  await input.uploadFile(zip);
  await waitForOpening(page);
}

// The page's sound module is the one page.js imported: same address, same instance.
const stats = (page) => page.evaluate(async () => (await import('./sound.mjs')).soundStats());
const waitStats = (page, condition, timeout = 20000) =>
  page.waitForFunction(`import('./sound.mjs').then((s) => { const stats = s.soundStats(); return ${condition}; })`, {
    timeout,
    polling: 50,
  });

eachEngine((engine) => {
  const skip = missing(engine) ?? false;

  test('music and an effect sound, and their ends reach the engine', { skip }, async (t) => {
    const browser = await launch(engine);
    try {
      const page = await browser.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(error.message));
      fetched.length = 0;
      await openStory(page);

      // The synthesizer with the soundfont makes sound.
      await waitStats(page, 'stats.midiStarts >= 1 && stats.midiPeak > 0.01');
      const first = await stats(page);
      assert.equal(first.contextState, 'running');
      assert.equal(first.soundFontFetches, 1);
      t.diagnostic(`first MIDI request to sound: ${Math.round(first.firstMidiSound - first.firstMidiRequest)} ms`);

      // The music ran to its end; the engine took the end and played it again after its pause.
      await waitStats(page, 'stats.midiStarts >= 2');
      const repeated = await stats(page);
      assert.equal(repeated.endsTaken, 1);
      assert.equal(repeated.failures, 0);
      const pause = repeated.lastStart - repeated.lastEnd;
      assert.ok(pause >= 500 && pause < 2000, `repeat ${pause} ms after the end`);

      // The effect on the next page: the music stops, the WAV plays to its end and the engine hears it.
      await page.keyboard.press('Enter');
      await waitStats(page, `stats.starts >= ${repeated.starts + 1} && stats.endsTaken >= 2`);
      const effect = await stats(page);
      assert.equal(effect.midiStarts, repeated.midiStarts, 'the music stopped with its page');
      assert.equal(effect.failures, 0);
      assert.equal(effect.soundFontFetches, 1, 'the soundfont is fetched once');
      assert.equal(fetched.filter((name) => name === 'TimGM6mb.sf2').length, 1);

      await page.keyboard.press('Enter');
      await waitStats(page, `stats.starts >= ${effect.starts + 1} && stats.endsTaken >= 3`);
      assert.equal((await stats(page)).failures, 0);
      assert.deepEqual(errors, []);
    } finally {
      await browser.close();
    }
  });
});

eachEngine((engine) => {
  const skip = missing(engine) ?? false;

  // As a reader gets it: no sound before a gesture. The story's MIDI is asked for once the slot
  // picker is answered; by then the synthesizer must be on its way, and the music must follow the
  // key that answered, after a reload as on the first visit.
  test("the music follows the reader's first key closely, after a reload too", { skip }, async (t) => {
    const browser = await launchBrowser(require, engine, mkdtempSync(join(work, 'profile-')));
    try {
      const page = await browser.newPage();
      await page.goto(url);
      for (const visit of ['first visit', 'after a reload']) {
        if (visit !== 'first visit') await page.reload();
        const input = await page.$('#zip');
        await input.uploadFile(zip);
        await page.waitForSelector('dialog[open]');
        await waitStats(page, 'stats.soundFontFetches === 1');
        assert.equal((await stats(page)).firstSound, null, 'nothing sounds before the picker is answered');
        await page.evaluate(() =>
          window.addEventListener('keydown', () => (window.firstKeyAt ??= performance.now()), { capture: true }),
        );
        await waitForOpening(page);
        await waitStats(page, 'stats.firstSound !== null');
        const took = await page.evaluate(
          () => performance.getEntriesByName('vrk:first-sound')[0].startTime - window.firstKeyAt,
        );
        t.diagnostic(`${engine}, ${visit}: first key to first sound ${Math.round(took)} ms`);
        assert.ok(took >= 0 && took < 5000, `${took} ms`);
      }
    } finally {
      await browser.close();
    }
  });
});
