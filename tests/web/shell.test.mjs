// Browser tests of the web host's shell around the report: addresses for nodes, Back and
// Forward, the Mail button's permission, reconnecting after a restart, accessibility, dark
// mode and printing. The real program on a loopback port, driven through Chromium.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {makeScratch, stopAll, serve, launch, shot, reportOf, itemOf, idleOf, axeViolations} from './harness.mjs';

const scratch = makeScratch();
let context;
let page;
let base;

const item = (text, target = page) => itemOf(target, text);
const selectedLabel = (target = page) =>
  target.locator('[role="treeitem"][aria-selected="true"] .label').textContent();

async function ready(target = page) {
  await target.waitForSelector('body[data-ready="true"]');
  await idleOf(target);
}

before(async () => {
  const demo = await serve(['--folder', path.join(scratch, 'demo')]);
  base = demo.url;
  context = await launch(path.join(scratch, 'profile'));
  page = context.pages()[0] || await context.newPage();
  await page.goto(base);
  await ready();
});

after(async () => {
  if (context) await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
});

test('each display gets an address that a reload, Back and Forward come back to', async () => {
  assert.equal(new URL(page.url()).hash, '#/');
  await item('Customers').click();
  await idleOf(page);
  await item('Blue Door Bakery').click();
  await idleOf(page);
  assert.equal(new URL(page.url()).hash, '#/Customers/Blue%20Door%20Bakery');

  await page.reload();
  await ready();
  assert.equal(await selectedLabel(), 'Blue Door Bakery');
  assert.match(await reportOf(page).locator('table[id^="TBL"]').first().innerText(), /Blue Door Bakery/);
  assert.match(await page.locator('#crumbs').innerText(), /Customers\s*\/\s*Blue Door Bakery/);

  // Back walks the displays, not the reloads; Forward comes back.
  await page.evaluate(() => history.back());
  await page.waitForFunction(() => location.hash === '#/Customers');
  await item('Customers').and(page.locator('[aria-selected="true"]')).waitFor();
  await idleOf(page);
  await page.evaluate(() => history.back());
  await page.waitForFunction(() => location.hash === '#/');
  await item('Data Browser').and(page.locator('[aria-selected="true"]')).waitFor();
  await idleOf(page);
  await page.evaluate(() => history.forward());
  await item('Customers').and(page.locator('[aria-selected="true"]')).waitFor();
  await idleOf(page);
  await page.evaluate(() => history.forward());
  await item('Blue Door Bakery').and(page.locator('[aria-selected="true"]')).waitFor();
  await idleOf(page);
  await shot(page, 'shell-address-forward');
});

test('a pasted address opens its node, and stops with a notice at a label not found', async () => {
  const cases = [
    {hash: '#/Customers/Blue%20Door%20Bakery', selected: 'Blue Door Bakery', after: '#/Customers/Blue%20Door%20Bakery'},
    {hash: '#/Products', selected: 'Products', after: '#/Products'},
    {hash: '#/Customers/No%20Such%20Customer/Orders', selected: 'Customers', after: '#/Customers',
      notice: 'No Such Customer'},
    {hash: '#/Nowhere', selected: 'Data Browser', after: '#/', notice: 'Nowhere'},
  ];
  for (const c of cases) {
    // A new window each time: the address alone must lead there, whatever the tree shows.
    const tab = await context.newPage();
    await tab.goto(base + c.hash);
    await ready(tab);
    assert.equal(await selectedLabel(tab), c.selected, c.hash);
    assert.equal(new URL(tab.url()).hash, c.after, c.hash);
    const notices = tab.locator('.notice.error', {hasText: c.notice || '\u0000'});
    assert.equal(await notices.count(), c.notice ? 1 : 0, c.hash);
    if (c.notice) await shot(tab, 'shell-address-not-found');
    await tab.close();
  }
  await page.bringToFront();
});

test('a click is answered with the change to the tree, and the tree drawn stays the whole tree', async () => {
  const answers = [];
  const reads = [];  // the bodies are read after the event: all are awaited below
  const listen = (response) => {
    if (response.url().endsWith('/api/display')) reads.push(response.json().then((answer) => answers.push(answer)));
  };
  page.on('response', listen);
  // A branch loaded (Products' children), the selection moving up and down, a node reopened.
  for (const label of ['Products', 'Customers', 'Blue Door Bakery', 'Products', 'Data Browser']) {
    await item(label).click();
    await idleOf(page);
  }
  page.off('response', listen);
  await Promise.all(reads);
  assert.ok(answers.length >= 5);
  for (const answer of answers) {
    assert.equal(answer.tree, undefined, 'no answer to a click carries the whole tree');
    assert.equal(typeof answer.treeVersion, 'number');
  }
  assert.ok(answers.some((answer) => answer.treeDelta && answer.treeDelta.splices.length > 0));
  // A page opened now reads the tree whole: both draw the same rows.
  const labels = (target) => target.locator('[role="treeitem"]').evaluateAll(
    (rows) => rows.map((row) => [row.getAttribute('aria-level'), row.getAttribute('aria-expanded'),
      row.getAttribute('aria-selected'), row.querySelector('.label').textContent]));
  const fresh = await context.newPage();
  try {
    await fresh.goto(base);
    await ready(fresh);
    await idleOf(page);
    // The first page redraws when it hears of the second one's opening: compare once both rest.
    let mine = await labels(page);
    let theirs = await labels(fresh);
    for (let tries = 0; tries < 20 && JSON.stringify(mine) !== JSON.stringify(theirs); tries++) {
      await new Promise((resolve) => setTimeout(resolve, 250));
      mine = await labels(page);
      theirs = await labels(fresh);
    }
    assert.deepEqual(theirs, mine);
  } finally {
    await fresh.close();
  }
});

test('nodes that make children when opened show an expander before, and opening one displays it', async () => {
  const server = await serve(['--folder', path.join(scratch, 'expanders')]);
  const other = await context.newPage();
  try {
    await other.goto(server.url);
    await ready(other);
    for (const label of ['Customers', 'Finance', 'Products', 'Sales by Region']) {
      assert.equal(await item(label, other).getAttribute('aria-expanded'), 'false', label);
      assert.equal(await item(label, other).locator('[data-toggle]').count(), 1, label);
    }
    const products = item('Products', other);
    await products.locator('[data-toggle]').click();
    await idleOf(other);
    assert.equal(await products.getAttribute('aria-selected'), 'true');
    assert.equal(await products.getAttribute('aria-expanded'), 'true');
    assert.ok(await other.locator('[role="treeitem"][aria-level="3"]').count() > 0);
    // Finance is closed to this role: opened, it has no children and loses its expander.
    const finance = item('Finance', other);
    await finance.locator('[data-toggle]').click();
    await idleOf(other);
    assert.equal(await finance.getAttribute('aria-selected'), 'true');
    assert.equal(await finance.getAttribute('aria-expanded'), null);
    assert.equal(await finance.locator('[data-toggle]').count(), 0);
  } finally {
    await other.close();
    server.child.kill('SIGINT');
  }
});

test('typed letters, PageUp/PageDown, Home and End move the focus in the tree', async () => {
  await page.goto(base + '#/Customers');
  await page.reload();
  await ready();
  const focused = () => page.evaluate(() =>
    document.getElementById(document.getElementById('tree').getAttribute('aria-activedescendant'))
      .querySelector('.label').textContent);
  await page.locator('#tree').focus();
  const steps = [
    {keys: ['Home'], focused: 'Data Browser'},
    {keys: ['p'], focused: 'Products'},
    {keys: ['Home', 'b', 'l', 'u'], focused: 'Blue Door Bakery'},
    {keys: ['End'], focused: 'Sales by Region'},
    {keys: ['Home', 'PageDown', 'PageUp'], focused: 'Data Browser'},
  ];
  for (const step of steps) {
    for (const key of step.keys) await page.keyboard.press(key);
    assert.equal(await focused(), step.focused, step.keys.join(' '));
    // Let the typed letters lapse before the next case.
    await page.waitForTimeout(1100);
  }
  await page.keyboard.press('PageDown');
  assert.notEqual(await focused(), 'Data Browser');
  await shot(page, 'shell-type-ahead');
});

test('the filter shows the loaded nodes that match, with their ancestors, and Escape clears it', async () => {
  await page.goto(base + '#/Customers');
  await page.reload();
  await ready();
  const labels = () => page.locator('[role="treeitem"] .label').allTextContents();
  const filter = page.getByLabel('Filter the loaded nodes');
  await filter.fill('BAKERY');
  assert.deepEqual(await labels(), ['Data Browser', 'Customers', 'Blue Door Bakery']);
  await shot(page, 'shell-filter');
  assert.deepEqual(await axeViolations(page).then((found) =>
    found.filter((v) => v.nodes.some((n) => !n.startsWith('#report ')))), []);
  await filter.fill('no node has this');
  assert.deepEqual(await labels(), []);
  await filter.press('Escape');
  assert.equal(await filter.inputValue(), '');
  assert.ok((await labels()).includes('Products'));
});

test('while a report page loads the pane shows a bar whose Stop ends the load', async () => {
  await page.goto(base + '#/');
  await page.reload();
  await ready();
  // The report page is held back until Stop, as a slow page would be.
  let release;
  const held = new Promise((resolve) => { release = resolve; });
  const hold = async (route) => { await held; await route.abort().catch(() => {}); };
  await page.route('**/app/**', hold);
  try {
    await item('Products').click();
    const bar = page.locator('#pageLoading');
    await bar.waitFor();
    await shot(page, 'shell-page-loading');
    await bar.getByRole('button', {name: 'Stop'}).click();
    await bar.waitFor({state: 'hidden'});
    await idleOf(page);
  } finally {
    release();
    await page.unroute('**/app/**', hold);
  }
});

test('without --can-mail the Mail button is shown off, with its reason', async () => {
  const mail = page.locator('#mail');
  assert.equal(await mail.getAttribute('aria-disabled'), 'true');
  assert.match(await mail.getAttribute('title'), /--can-mail/);
  const describedBy = await mail.getAttribute('aria-describedby');
  assert.match(await page.locator('#' + describedBy).textContent(), /without --can-mail/);
  await mail.evaluate((button) => button.click());
  assert.equal(await page.locator('#mailDialog').evaluate((d) => d.open), false);
});

// Opens the page afresh at an address.
async function open(hash) {
  await page.goto(base + hash);
  await page.reload();
  await ready();
}

test('the shell has no serious accessibility faults in its main states', async () => {
  const states = [
    {name: 'front', set: () => open('#/')},
    {name: 'record', set: () => open('#/Customers/Blue%20Door%20Bakery')},
    {name: 'form-dialog', set: async () => {
      await page.evaluate(() => document.getElementById('formDialog').showModal());
    }, undo: () => page.evaluate(() => document.getElementById('formDialog').close())},
    {name: 'narrow', set: () => page.setViewportSize({width: 390, height: 800}),
      undo: () => page.setViewportSize({width: 1280, height: 800})},
    {name: 'dark', set: () => page.emulateMedia({colorScheme: 'dark'}),
      undo: () => page.emulateMedia({colorScheme: 'light'})},
  ];
  for (const state of states) {
    await state.set();
    await page.locator('#pageLoading').waitFor({state: 'hidden'});
    await shot(page, `shell-axe-${state.name}`);
    // The shell's own faults: the report page's markup is the component's and stays as it is.
    const shell = (await axeViolations(page))
      .map((v) => ({...v, nodes: v.nodes.filter((n) => !n.startsWith('#report '))}))
      .filter((v) => v.nodes.length);
    assert.deepEqual(shell, [], state.name);
    if (state.undo) await state.undo();
  }
});

test('dark mode darkens the shell and leaves the report page as it is', async () => {
  const colours = () => page.evaluate(() => ({
    shell: getComputedStyle(document.body).backgroundColor,
    report: getComputedStyle(document.getElementById('report').contentDocument.body).backgroundColor,
  }));
  await page.emulateMedia({colorScheme: 'light'});
  const light = await colours();
  await page.emulateMedia({colorScheme: 'dark'});
  const dark = await colours();
  await shot(page, 'shell-dark');
  await page.emulateMedia({colorScheme: 'light'});
  assert.notEqual(dark.shell, light.shell);
  assert.equal(dark.report, light.report);
});

test('printing shows the report pane alone', async () => {
  await open('#/Customers/Blue%20Door%20Bakery');
  await page.locator('#pageLoading').waitFor({state: 'hidden'});
  await page.emulateMedia({media: 'print'});
  try {
    for (const hidden of ['.bar', '.tree-pane', '#side', '#crumbs']) {
      assert.equal(await page.locator(hidden).isVisible(), false, hidden);
    }
    assert.equal(await page.locator('#report').isVisible(), true);
    const box = await page.locator('#report').boundingBox();
    assert.ok(box.width >= 1200, `report pane ${box.width}px wide`);
    await shot(page, 'shell-print');
  } finally {
    await page.emulateMedia({media: 'screen'});
  }
});

test('after a restart of the server the page says it is reconnecting, then reconnects', async () => {
  const folder = path.join(scratch, 'restart');
  const first = await serve(['--folder', folder, '--can-mail']);
  const tab = await context.newPage();
  await tab.goto(first.url + '#/Customers');
  await ready(tab);
  assert.equal(await tab.locator('#mail').getAttribute('aria-disabled'), 'false');
  const gone = new Promise((resolve) => first.child.once('exit', resolve));
  first.child.kill('SIGINT');
  await gone;
  await tab.locator('#reconnecting', {hasText: 'Reconnecting'}).waitFor();
  await shot(tab, 'shell-reconnecting');
  await serve(['--folder', folder, '--can-mail'], {port: first.port});
  await tab.locator('.notice', {hasText: 'Reconnected'}).waitFor({timeout: 60000});
  assert.equal(await tab.locator('#reconnecting').count(), 0);
  await idleOf(tab);
  await item('Data Browser', tab).waitFor();
  // The new server answers clicks as the old one did.
  await item('Products', tab).click();
  await idleOf(tab);
  assert.equal(await selectedLabel(tab), 'Products');
  await tab.close();
});
