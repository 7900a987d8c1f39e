// Browser tests of `nimbo serve`: the real program on a free loopback port, driven through
// Debian's Chromium with Playwright. Screenshots of the main states go to build/web-artifacts.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import {root, nimbo, artifacts, makeScratch, servers, stopAll, serve, raw, launch, shot as shotOf,
  reportOf, itemOf, idleOf, makeBigDemo, axeViolations} from './harness.mjs';

const scratch = makeScratch();
let context;
let page;
let base;

const shot = (name, target = page, timeout = 30000) => shotOf(target, name, timeout);
const report = () => reportOf(page);
// The tree row whose label is exactly `text`, in the main window or another one.
const item = (text, target = page) => itemOf(target, text);
const idle = (target = page) => idleOf(target);

before(async () => {
  fs.mkdirSync(artifacts, {recursive: true});
  const demo = await serve(['--folder', path.join(scratch, 'demo'), '--form', path.join(scratch, 'form.json'),
    '--heading', 'Homeware & Co.', '--talking']);
  base = demo.url;
  context = await launch(path.join(scratch, 'profile'));
  page = context.pages()[0] || await context.newPage();
  await page.goto(base);
  await page.waitForSelector('body[data-ready="true"]');
});

after(async () => {
  if (context) await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
});

test('the front page and the tree root come up after the refresh', async () => {
  await assert.doesNotReject(report().locator('body').waitFor());
  const root = item('Data Browser');
  assert.equal(await root.getAttribute('aria-level'), '1');
  assert.equal(await root.getAttribute('aria-expanded'), 'true');
  assert.equal(await root.getAttribute('aria-selected'), 'true');
  // Nodes are drawn in the component's blue, with the image the row names.
  assert.equal(await root.locator('.label').evaluate((el) => getComputedStyle(el).color), 'rgb(0, 0, 255)');
  assert.equal(await root.locator('svg.node-icon').getAttribute('data-image'), 'Net');
  assert.equal(await page.locator('#tree').getAttribute('role'), 'tree');
  assert.deepEqual(await page.locator('[role="treeitem"][aria-level="2"] .label').allTextContents(),
                   ['Customers', 'Finance', 'Products', 'Sales by Region']);
  assert.match(await report().locator('body').innerText(), /Welcome to the Data Browser/);
  await shot('front-page');
});

test('clicking nodes shows their pages and loads their children', async () => {
  await item('Customers').click();
  await idle();
  assert.equal(await item('Customers').getAttribute('aria-expanded'), 'true');
  assert.equal(await item('Customers').getAttribute('aria-selected'), 'true');
  await item('Blue Door Bakery').click();
  await idle();
  const card = report().locator('table[id^="TBL"]').first();
  await card.waitFor();
  assert.match(await card.innerText(), /Blue Door Bakery/);
  assert.match(await page.locator('#crumbs').innerText(), /Customers\s*\/\s*Blue Door Bakery/);
  // Each display is in the audit trail.
  await page.locator('#audit li', {hasText: 'Data Browser\\Customers\\Blue Door Bakery'}).waitFor();
  await shot('record-page');
  // NIMBO_DOCS_SCREENSHOT=1 also renews the README's picture.
  if (process.env.NIMBO_DOCS_SCREENSHOT === '1') {
    await page.screenshot({path: path.join(root, 'docs/screenshot.png')});
  }
});

test('the keyboard moves, opens, closes and selects like a tree view', async (t) => {
  // Answers to displays come late, after the component's Busy events: the tree must stay
  // disabled until the answer brings the tree that goes with them.
  const late = async (route) => {
    const response = await route.fetch();
    await new Promise((r) => setTimeout(r, 300));
    await route.fulfill({response});
  };
  await page.route('**/api/display', late);
  t.after(() => page.unroute('**/api/display', late));
  const tree = page.locator('#tree');
  await tree.focus();
  await page.keyboard.press('Home');
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('Data Browser').getAttribute('id'));
  await page.keyboard.press('End');
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('Sales by Region').getAttribute('id'));
  await page.keyboard.press('Enter');
  await idle();
  assert.equal(await item('Sales by Region').getAttribute('aria-selected'), 'true');
  assert.equal(await item('Sales by Region').getAttribute('aria-expanded'), 'true');
  await report().locator('table[id^="TBL"]').first().waitFor();

  // Left closes the open node, Right opens it again and then steps to its first child.
  await page.keyboard.press('ArrowLeft');
  assert.equal(await item('Sales by Region').getAttribute('aria-expanded'), 'false');
  assert.equal(await item('North').count(), 0);
  await page.keyboard.press('ArrowRight');
  assert.equal(await item('Sales by Region').getAttribute('aria-expanded'), 'true');
  // Its children are back (a slow server takes a moment), and the tree takes keys again: keys
  // pressed while the component is busy are not acted on.
  await item('North').waitFor();
  await idle();
  await page.keyboard.press('ArrowRight');
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('North').getAttribute('id'));
  await page.keyboard.press('ArrowDown');
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('South').getAttribute('id'));
  await page.keyboard.press('ArrowLeft');  // a leaf: back to its parent
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('Sales by Region').getAttribute('id'));
  await page.keyboard.press('ArrowUp');
  assert.equal(await tree.getAttribute('aria-activedescendant'), await item('Products').getAttribute('id'));
  await page.keyboard.press('Enter');
  await idle();
  assert.equal(await item('Products').getAttribute('aria-selected'), 'true');
  assert.equal(await item('Catalogue').count(), 1);
});

test('a second window follows what the first one does to the tree', async () => {
  const other = await context.newPage();
  await other.goto(base);
  await other.waitForSelector('body[data-ready="true"]');
  await item('Categories', other).click();  // the page's own tree shows Products open
  await item('Categories', other).waitFor();
  await idle(other);
  // The first window's tree follows: Categories selected, its children there, clickable.
  await page.waitForFunction(() => {
    const selected = document.querySelector('[role="treeitem"][aria-selected="true"] .label');
    return selected && selected.textContent === 'Categories';
  });
  await other.close();
  await item('Products').click();
  await idle();
  assert.equal(await item('Products').getAttribute('aria-selected'), 'true');
});

test('a chart and a drill-down row open and close', async () => {
  await item('Sales by Region').click();
  await idle();
  // The pane loads the new page after the tree settles: wait for its chart icon.
  const icon = report().locator('img[id^="CTL"]').first();
  await icon.waitFor();
  const id = (await icon.getAttribute('id')).slice(3);
  const chart = report().locator(`[id="CGR${id}"]`).first();
  const wasShown = await chart.isVisible();
  await icon.click();
  assert.equal(await chart.isVisible(), !wasShown);
  await shot('chart');
  await icon.click();
  assert.equal(await chart.isVisible(), wasShown);

  await item('Customers').click();
  await idle();
  const plus = report().locator('img[id^="DTL"]').first();
  await plus.waitFor();
  const key = (await plus.getAttribute('id')).slice(3);
  const row = report().locator(`[id="ROW${key}"]`).first();
  assert.equal(await row.isVisible(), false);
  await plus.click();
  assert.equal(await row.isVisible(), true);
  await shot('drill-down');
  await plus.click();
  assert.equal(await row.isVisible(), false);
});

test('a form link opens the entry form with the record, and is not followed', async () => {
  await item('Customers').click();
  await idle();
  await item('Blue Door Bakery').click();
  await idle();
  const before = await page.locator('#report').getAttribute('src');
  await report().getByText('Click to Open Entry Form . . .').first().click();
  const dialog = page.locator('#formDialog');
  await dialog.waitFor({state: 'visible'});
  assert.equal(await page.locator('#formNumber').innerText(), '00001');
  assert.match(await page.locator('#formRecord').innerText(), /^0{9}\d$|^\d{10}$/);
  assert.match(await page.locator('#formFields').innerText(), /name\s+Blue Door Bakery/);
  await shot('entry-form');
  await dialog.getByRole('button', {name: 'Close'}).last().click();
  await dialog.waitFor({state: 'hidden'});
  assert.equal(await page.locator('#report').getAttribute('src'), before);
  await page.locator('#audit li', {hasText: /Form #:00001,\s+ID=/}).waitFor();
});

test('save downloads the shown page and print prints the report pane, both audited', async () => {
  await item('Customers').click();
  await idle();
  await item('Blue Door Bakery').click();
  await idle();
  const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#save').click()]);
  assert.equal(download.suggestedFilename(), 'oDatNav.htm');
  const saved = path.join(scratch, 'saved.htm');
  await download.saveAs(saved);
  // The download carries the folder's pictures as data: URIs; apart from the picture sources it
  // is the folder's page byte for byte, and the page on disk keeps its file names.
  const onDisk = fs.readFileSync(path.join(scratch, 'demo', 'oDatNav.htm'), 'utf8');
  const sources = /(<img\b[^>]*?\ssrc=)("[^"]*"|'[^']*'|[^\s>]+)/gi;
  const downloaded = fs.readFileSync(saved, 'utf8');
  assert.equal(downloaded.replace(sources, '$1*'), onDisk.replace(sources, '$1*'));
  assert.match(downloaded, /src=['"]?data:image\/gif;base64,/);
  assert.doesNotMatch(onDisk, /data:image/);
  await page.locator('#audit li', {hasText: /^.*Save.*Blue Door Bakery$/s}).first().waitFor();

  // The pane's own print is what the page calls; count the calls instead of opening a dialog.
  await page.evaluate(() => {
    window.printed = 0;
    document.getElementById('report').contentWindow.print = () => { window.printed++; };
  });
  await page.locator('#print').click();
  await page.locator('#audit li', {hasText: /Print/}).first().waitFor();
  assert.equal(await page.evaluate(() => window.printed), 1);
});

test('mail sends the shown page through the SMTP server and reports the outcome', async () => {
  const mailbox = path.join(scratch, 'mailbox');
  const portFile = path.join(scratch, 'smtp-port');
  fs.mkdirSync(mailbox);
  // Debian's Python, which has aiosmtpd, whatever else is first on the PATH.
  const sink = spawn('/usr/bin/python3', [path.join(root, 'tests/mail/smtp_sink.py'), portFile, mailbox],
    {stdio: ['ignore', 'ignore', 'inherit']});
  servers.push(sink);
  let sinkExit = null;
  sink.on('exit', (code) => { sinkExit = code; });
  while (!fs.existsSync(portFile) || !fs.readFileSync(portFile, 'utf8').trim()) {
    assert.equal(sinkExit, null, 'the SMTP sink exited before listening');
    await new Promise((r) => setTimeout(r, 50));
  }
  const smtpPort = fs.readFileSync(portFile, 'utf8').trim();
  const mailer = await serve(['--folder', path.join(scratch, 'mailer'), '--can-mail', '--smtp', `127.0.0.1:${smtpPort}`,
    '--from', 'browser@example.com']);
  const tab = await context.newPage();
  await tab.goto(mailer.url);
  await tab.waitForSelector('body[data-ready="true"]');
  // The mail carries the report page file and its pictures: show a report first.
  await item('Customers', tab).click();
  await idle(tab);
  await tab.locator('#mail').click();
  await tab.getByLabel('Recipient').fill('manager@example.com');
  assert.equal(await tab.getByLabel('Subject').inputValue(), 'Report: Customers');  // offered
  await tab.getByLabel('Subject').fill('Front page');
  await tab.getByLabel('Message').fill('The figures for Monday.');
  await tab.getByRole('button', {name: 'Send'}).click();
  await tab.locator('.notice.ok', {hasText: 'Message Sent Successfully.'}).waitFor({timeout: 20000});
  assert.equal(await tab.locator('.notice', {hasText: 'Sending to'}).count(), 0);  // replaced by the outcome
  const envelope = JSON.parse(fs.readFileSync(path.join(mailbox, '1.json'), 'utf8'));
  assert.deepEqual(envelope.rcpt_tos, ['manager@example.com']);
  const mail = fs.readFileSync(path.join(mailbox, '1.eml'), 'latin1');
  assert.match(mail, /\r\nSubject:Front page\r\n/);
  assert.match(mail, /The figures for Monday\./);
  const report = mail.split('\r\nbegin 664 oDatNav.htm\r\n')[1];
  assert.ok(report, 'the report page is attached');
  assert.match(report, /\r\nend\r\n/);
  await tab.locator('#audit li', {hasText: 'To:manager@example.com <manager@example.com>'}).waitFor();
  await shot('mail-sent', tab);

  // With the server gone, the socket's failure reaches the user as the component's message.
  sink.kill('SIGTERM');
  await new Promise((resolve) => (sinkExit === null ? sink.on('exit', resolve) : resolve()));
  await tab.locator('#mail').click();
  await tab.getByRole('button', {name: 'Send'}).click();
  await tab.locator('.notice.error', {hasText: /Winsock Error #: \d+/}).waitFor({timeout: 20000});
  await tab.close();
});

test('a mail server that accepts and stays silent is given up after --mail-timeout', async () => {
  const silent = net.createServer((socket) => { socket.on('error', () => {}); });  // never answers
  await new Promise((resolve) => silent.listen(0, '127.0.0.1', resolve));
  try {
    const mailer = await serve(['--folder', path.join(scratch, 'silent'), '--can-mail',
      '--smtp', `127.0.0.1:${silent.address().port}`, '--mail-timeout', '1']);
    const tab = await context.newPage();
    await tab.goto(mailer.url);
    await tab.waitForSelector('body[data-ready="true"]');
    for (let attempt = 0; attempt < 2; attempt++) {  // the socket is free again afterwards
      await tab.locator('#mail').click();
      await tab.getByLabel('Recipient').fill('manager@example.com');
      await tab.getByRole('button', {name: 'Send'}).click();
      const timedOut = tab.locator('.notice.error', {hasText: /Winsock Error #: 10060\s+Connection timed out/});
      await timedOut.waitFor({timeout: 20000});
      await timedOut.getByRole('button', {name: 'Dismiss'}).click();
    }
    assert.equal(await tab.locator('.notice', {hasText: 'Sending to'}).count(), 0);
    await tab.close();
  } finally {
    silent.close();
  }
});

test('mail is refused, with the component\'s message, when the host may not mail', async () => {
  // The page shows Mail off; a request made anyway is still the component's to refuse.
  assert.equal(await page.locator('#mail').getAttribute('aria-disabled'), 'true');
  await page.evaluate(() => fetch('/api/mail', {method: 'POST',
    headers: {'Content-Type': 'application/json', 'X-Nimbo-Request': '1'},
    body: JSON.stringify({to: 'someone@example.com', subject: 'Report', message: ''})}));
  await page.locator('.notice.error', {hasText: 'Sorry! You are not authorised to E-Mail the Report'}).waitFor();
  assert.equal(await page.locator('.notice', {hasText: 'Sending to'}).count(), 0);
  const refusal = page.locator('.notice', {hasText: 'Sorry! You are not authorised'});
  await refusal.getByRole('button', {name: 'Dismiss'}).click();
  assert.equal(await refusal.count(), 0);
});

test('a node the role may not open shows no page', async () => {
  await item('Finance').click();
  await idle();
  assert.equal(await page.locator('#empty').isVisible(), true);
  assert.equal(await page.locator('#report').isVisible(), false);
  assert.equal(await item('Finance').getAttribute('aria-expanded'), null);  // no children loaded
  assert.equal(await page.locator('#audit li', {hasText: /View.*Data Browser\\Finance/s}).count(), 0);
  // With nothing shown, the browser's save command fails and the component says so.
  await page.locator('#save').click();
  await page.locator('.notice', {hasText: 'Save As command Error: '}).waitFor();
  await shot('refused-node');
});

test('the design page draws pPage1 at its positions and applies through the component', async () => {
  const design = await context.newPage();
  await design.goto(new URL('/design', base).href);
  await design.waitForSelector('body[data-ready="true"]');
  assert.equal(await design.locator('#caption').innerText(), 'Nimbo Properties');
  const box = await design.locator('#txtActivePort').evaluate((el) => [el.offsetLeft, el.offsetTop, el.offsetWidth, el.offsetHeight]);
  assert.deepEqual(box.map(Math.round), [6, 25, 180, 22]);  // 90, 370, 2700, 330 twips
  assert.equal(await design.getByLabel('ActivePort:').inputValue(), '0');
  // The keyboard takes the boxes in the page's tab order, from the document's order alone.
  assert.deepEqual(await design.locator('[tabindex]').evaluateAll(
    (els) => els.filter((el) => el.tabIndex > 0).map((el) => el.id)), []);
  const order = await design.locator('#page input').evaluateAll((els) => els.map((el) => el.id));
  assert.equal(order.length > 1, true);
  await design.locator(`#${order[0]}`).focus();
  for (const id of order.slice(1)) {
    await design.keyboard.press('Tab');
    assert.equal(await design.evaluate(() => document.activeElement.id), id);
  }
  assert.deepEqual(await axeViolations(design), []);

  await design.getByLabel('ActivePort:').fill('abc');
  await design.getByRole('button', {name: 'Apply'}).click();
  await design.getByText('Error: 13, Type mismatch').waitFor();
  await shot('design-error', design);

  await design.getByLabel('ActivePort:').fill('80');
  await design.getByLabel('DAMode:').fill('12.5');
  await design.getByRole('button', {name: 'Apply'}).click();
  await design.getByText(/Applied and saved/).waitFor();
  assert.equal(await design.getByLabel('DAMode:').inputValue(), '12');
  assert.deepEqual(JSON.parse(fs.readFileSync(path.join(scratch, 'form.json'), 'utf8')),
                   {ActivePort: 80, DAMode: 12});
  await design.close();
});

test('the server refuses foreign hosts, escapes from the folder and unmarked state changes', async () => {
  const port = Number(new URL(base).port);
  fs.writeFileSync(path.join(scratch, 'secret.txt'), 'secret');
  assert.equal((await raw(port, {headers: {Host: 'attacker.example'}})).status, 403);
  assert.equal((await raw(port, {headers: {Host: `attacker.example:${port}`}})).status, 403);
  assert.equal((await raw(port, {headers: {Host: `localhost:${port}`}})).status, 200);
  for (const target of ['/app/../secret.txt', '/app/%2e%2e/secret.txt', '/app/..%2fsecret.txt',
                        '/app/%2E%2E%2Fsecret.txt', '/assets/../app/fp.htm', '/app/%2fetc%2fpasswd']) {
    const answer = await raw(port, {target});
    assert.notEqual(answer.status, 200, target);
    assert.doesNotMatch(answer.body, /secret|root:/, target);
  }
  assert.equal((await raw(port, {target: '/app/fp.htm'})).status, 200);
  assert.equal((await raw(port, {method: 'POST', target: '/api/refresh'})).status, 403);
  // The page's own fetches carry the header; a page of another site cannot send it.
  const status = await page.evaluate(() => fetch('/api/refresh', {method: 'POST'}).then((r) => r.status));
  assert.equal(status, 403);
});

// Reads the answer to a GET of `target` on a raw connection, pausing `pause` ms after every
// `every` bytes (the first pause at once); resolves to the bytes of the body that arrived and the
// length its head announced.
function readPaced(port, target, {every, pause}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    const chunks = [];
    let received = 0;
    let nextPause = 0;
    socket.on('data', (chunk) => {
      chunks.push(chunk);
      received += chunk.length;
      if (received >= nextPause) {
        nextPause = received + every;
        socket.pause();
        setTimeout(() => socket.resume(), pause);
      }
    });
    socket.on('error', reject);
    socket.on('close', () => {
      const text = Buffer.concat(chunks);
      const end = text.indexOf('\r\n\r\n');
      const length = Number(/Content-Length: (\d+)/i.exec(text.subarray(0, end).toString())?.[1]);
      resolve({body: text.length - end - 4, length});
    });
    socket.write(`GET ${target} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nConnection: close\r\n\r\n`);
  });
}

test('a large answer reaches a peer that reads it slowly; one that stops reading is dropped', async () => {
  // 24 MB: more than the sockets on both sides hold, so the server waits on the reader.
  const port = Number(new URL(base).port);
  fs.writeFileSync(path.join(scratch, 'demo', 'large.htm'), Buffer.alloc(24 << 20, 'x'));
  // One pause at the start (the server waits on it with a piece of the body), then it reads on.
  const cases = [
    // Longer than a request may take (a browser laying out a large page reads nothing for
    // seconds), well within what a piece of an answer may.
    {what: 'a slow reader', every: 64 << 20, pause: 5000, whole: true},
    // Past what a piece of an answer may take (30 s).
    {what: 'a stalled reader', every: 64 << 20, pause: 36000, whole: false},
  ];
  for (const c of cases) {
    const {body, length} = await readPaced(port, '/app/large.htm', c);
    assert.equal(length, 24 << 20, c.what);
    assert.equal(body === length, c.whole, `${c.what}: ${body} of ${length} bytes`);
  }
  fs.rmSync(path.join(scratch, 'demo', 'large.htm'));
});

function demoCustomers(db) {
  return Number(execFileSync('sqlite3', [db, 'SELECT COUNT(*) - 100000 FROM customers']).toString());
}

test('a tree of 100,000 nodes draws only the rows in view', async () => {
  // The demo database with 100,000 more customers: the Customers node lists them all.
  const folder = path.join(scratch, 'big');
  const db = makeBigDemo(folder);
  const big = await serve(['--db', db, '--folder', folder]);
  const tab = await context.newPage();
  await tab.goto(big.url);
  await tab.waitForSelector('body[data-ready="true"]');
  await tab.locator('[role="treeitem"]', {hasText: 'Customers'}).click();
  await tab.waitForFunction(() => document.querySelectorAll('[role="treeitem"]').length > 20 &&
      document.getElementById('tree').getAttribute('aria-busy') === 'false', null, {timeout: 120000});
  const drawn = await tab.locator('[role="treeitem"]').count();
  assert.ok(drawn < 80, `${drawn} rows in the document`);
  await tab.locator('#tree').focus();
  await tab.keyboard.press('End');
  const active = tab.locator('[role="treeitem"].active');
  assert.equal(await active.locator('.label').innerText(), 'Sales by Region');
  for (let i = 0; i < 3; i++) await tab.keyboard.press('ArrowUp');
  // The last of the 100,000 and more customers, drawn after a jump to the bottom of the list.
  assert.equal(await active.getAttribute('aria-level'), '3');
  assert.equal(Number(await active.getAttribute('aria-setsize')), 100000 + (await demoCustomers(db)));
  assert.ok(await tab.locator('[role="treeitem"]').count() < 80);
  // The report pane may still be laying out the 100,000-row page, which holds back the
  // compositor's next frame on a slow machine.
  await shot('large-tree', tab, 180000);
  await tab.close();
});

test('a narrow window stacks the tree above the report', async () => {
  const narrow = await context.newPage();
  await narrow.setViewportSize({width: 390, height: 844});
  await narrow.goto(base);
  await narrow.waitForSelector('body[data-ready="true"]');
  const tree = await narrow.locator('.tree-pane').boundingBox();
  const pane = await narrow.locator('.report-pane').boundingBox();
  assert.ok(tree.y + tree.height <= pane.y + 1, 'tree above report');
  assert.ok(pane.width > 340, 'report spans the width');
  await shot('narrow', narrow);
  await narrow.close();
});

test('Ctrl-C stops the server cleanly, also with an events request waiting', async () => {
  const {child, port} = await serve(['--folder', path.join(scratch, 'stopping')]);
  let out = '';
  child.stdout.on('data', (chunk) => { out += chunk; });
  assert.equal((await raw(port, {target: '/'})).status, 200);
  // A page's long poll for events is open when the signal comes.
  const waiting = raw(port, {target: '/api/events?after=1000000&wait=1'}).catch((e) => e);
  await new Promise((r) => setTimeout(r, 200));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({code, signal})));
  child.kill('SIGINT');
  assert.deepEqual(await exited, {code: 0, signal: null});
  assert.match(out, /nimbo serve: stopped/);
  await waiting;
});
