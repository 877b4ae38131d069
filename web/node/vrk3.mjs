#!/usr/bin/env node
// vrk3 --headless on WebAssembly: node vrk3.mjs --headless [--slot N] [--seed N] PROJECT_FILE.
// The module reads its .wasm beside it from the file system; node's fetch cannot take a file
// path, and the module prefers fetch whenever one exists.
import { createRequire } from 'node:module';

delete globalThis.fetch;
createRequire(import.meta.url)('./vrk3-core.cjs');
