// The page's JavaScript and its node entry: ESLint's recommended rules in the browser (the page)
// and in node (the entry and this file).
import js from '@eslint/js';
import globals from 'globals';

export default [
  { ignores: ['dist/', 'node_modules/'] },
  js.configs.recommended,
  {
    files: ['page/**/*.{js,mjs}'],
    languageOptions: {
      ecmaVersion: 2023,
      sourceType: 'module',
      // createVrk3 is the page module's factory, loaded by index.html before the page.
      globals: { ...globals.browser, createVrk3: 'readonly' },
    },
  },
  {
    files: ['node/**/*.mjs', 'eslint.config.js'],
    languageOptions: { ecmaVersion: 2023, sourceType: 'module', globals: { ...globals.node } },
  },
];
