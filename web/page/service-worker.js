// The offline copy of a published story (vrkc --web): at installation the page, the engine, the
// story's files, the faces cut to its text and the soundfont, as story.json lists them; a face's
// other slices once a name typed in the reading asks for them. Every request of the site is
// answered from the copy when it holds it, from the network otherwise. The page registers it as
// service-worker.js?v=DIGEST of story.json, so a story published again installs a new worker,
// whose copy replaces the old one.
const version = new URL(self.location.href).searchParams.get('v') ?? '0';
const scope = new URL(self.registration.scope).pathname;
const prefix = `vrk3:${scope}:`;
const name = `${prefix}${version}`;

// A face's slices beyond the story's characters: fetched only if the reader types outside them.
const kSlice = /^fonts\/[^/]+-\d+\.woff2$/;

self.addEventListener('install', (event) => {
  event.waitUntil(
    (async () => {
      const response = await fetch('story.json', { cache: 'no-cache' });
      const manifest = await response.json();
      const files = (manifest.site ?? []).filter((file) => !kSlice.test(file));
      const cache = await caches.open(name);
      await cache.addAll(['./', ...files].map((file) => new Request(file, { cache: 'no-cache' })));
      await self.skipWaiting();
    })(),
  );
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    (async () => {
      for (const key of await caches.keys()) {
        if (key.startsWith(prefix) && key !== name) await caches.delete(key);
      }
      await self.clients.claim();
    })(),
  );
});

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(
    (async () => {
      const cache = await caches.open(name);
      // The manifest from the site whenever it answers: a story published again is seen at once.
      if (new URL(request.url).pathname === `${scope}story.json`) {
        try {
          return await fetch(request);
        } catch {
          return (await cache.match(request, { ignoreSearch: true })) ?? Response.error();
        }
      }
      const kept = await cache.match(request, { ignoreSearch: true });
      if (kept) return kept;
      const response = await fetch(request);
      if (response.ok && response.type === 'basic' && new URL(request.url).pathname.startsWith(scope)) {
        await cache.put(request, response.clone());
      }
      return response;
    })(),
  );
});
