// Waits for the page to finish opening a project, answering the slot picker and the name boxes
// as a reader who takes what they offer would (Enter on each), except that the picker is given
// SLOT (the window's picker, like the page's, offers slot 1). Resolves when the project is open
// or the page has said why it is not (a status matching FAILED).
export async function waitForOpening(page, failed = /開けません|ありません/, { slot = 1, timeoutMs = 30000 } = {}) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const done = await page.evaluate(
      (source) =>
        Boolean(
          document.body.dataset.opened || new RegExp(source).test(document.getElementById('status')?.textContent ?? ''),
        ),
      failed.source,
    );
    if (done) return;
    if (Date.now() > deadline) throw new Error('the project did not open');
    const dialog = await page.$('dialog[open]');
    if (dialog) {
      const item = await dialog.$(`input[name="vrk-slot"][value="${slot}"]`);
      if (item && !(await item.evaluate((radio) => radio.checked))) {
        await item.click();
      } else {
        await page.keyboard.press('Enter');
      }
    }
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}
