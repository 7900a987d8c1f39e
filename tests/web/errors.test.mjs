// Browser tests of what `nimbo serve` says when something is wrong: the cause of a failed read
// in the Diagnostics panel (with --talking), and the host's own page for a database without a
// browser definition. Small SQLite files made from the demo, each broken in one way.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {nimbo, makeScratch, stopAll, serve, raw, launch, shot, reportOf, itemOf, idleOf} from './harness.mjs';

const scratch = makeScratch();
let context;
let demoDb;

// A copy of the demo database with SQL run on it (through the sqlite3 module of Python, which
// every test machine has, so that no client program is needed).
function brokenCopy(name, sql) {
  const file = path.join(scratch, name);
  fs.copyFileSync(demoDb, file);
  execFileSync('python3', ['-c', 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.executescript(sys.argv[2]); c.commit()', file, sql]);
  return file;
}

before(async () => {
  const out = execFileSync(nimbo, ['demo', path.join(scratch, 'demo')], {encoding: 'utf8'});
  demoDb = out.trim().split('\n').pop();
  assert.ok(fs.existsSync(demoDb), out);
  context = await launch(path.join(scratch, 'profile'));
});

after(async () => {
  if (context) await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
});

async function open(url) {
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

test('a broken procedure keeps its message and shows its cause among the diagnostics', async () => {
  const db = brokenCopy('broken.db',
    "UPDATE nimbo_procedures SET body = 'SELECT id AS ID, name AS Customer FROM vanished_customers' WHERE name = 'CustomerList';");
  const server = await serve(['--db', db, '--folder', path.join(scratch, 'demo'), '--talking']);
  const page = await open(server.url);
  await itemOf(page, 'Customers').click();
  await idleOf(page);
  // The component's own message, as it always was.
  await page.locator('#notices', {hasText: 'Error Reading Data From Database'}).waitFor();
  // The cause, in the database's words, with the procedure that was read.
  const cause = page.locator('#diag li', {hasText: 'Cause:'});
  await cause.first().waitFor();
  const text = await cause.first().innerText();
  assert.match(text, /no such table: vanished_customers/);
  assert.match(text, /CustomerList/);
  assert.ok(await page.locator('#diagPanel').isVisible());
  await shot(page, 'errors-read-cause');
  await page.close();
});

test('without --talking the cause is not shown', async () => {
  const db = brokenCopy('broken-quiet.db',
    "UPDATE nimbo_procedures SET body = 'SELECT nothing_here FROM customers' WHERE name = 'CustomerList';");
  const server = await serve(['--db', db, '--folder', path.join(scratch, 'demo')]);
  const page = await open(server.url);
  await itemOf(page, 'Customers').click();
  await idleOf(page);
  await page.locator('#notices', {hasText: 'Error Reading Data From Database'}).waitFor();
  assert.equal(await page.locator('#diag li').count(), 0);
  assert.ok(await page.locator('#diagPanel').isHidden());
  await page.close();
});

test('a database without a browser definition gets a page saying what it lacks', async () => {
  // A folder name with markup in it: the page must show it as text.
  const folder = path.join(scratch, '<img src=x onerror=alert(1)>');
  fs.mkdirSync(folder);
  const db = path.join(folder, 'plain.db');
  execFileSync('python3', ['-c', 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute("CREATE TABLE t (x)"); c.commit()', db]);
  const server = await serve(['--db', db]);
  // The terminal says so too (stderr, which may arrive after the address on stdout).
  for (let i = 0; i < 100 && !/nimbo_procedures/.test(server.errors()); i++) {
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  assert.match(server.errors(), /has no browser definition/);
  assert.match(server.errors(), /nimbo_procedures/);

  const page = await open(server.url);
  const body = reportOf(page).locator('body');
  await body.locator('h1').waitFor();
  assert.match(await body.locator('h1').innerText(), /no browser definition/);
  const text = await body.innerText();
  assert.match(text, /the table nimbo_procedures/);
  assert.ok(text.includes(db), text);  // the path as text, markup and all
  assert.equal(await reportOf(page).locator('img').count(), 0);
  assert.doesNotMatch(text, /"error"/);
  await shot(page, 'errors-no-definition');

  // The page is the host's: HTML with a policy that runs nothing.
  const answer = await raw(server.port, {target: '/host/definition'});
  assert.equal(answer.status, 200);
  assert.match(answer.headers['content-type'], /^text\/html/);
  assert.match(answer.headers['content-security-policy'], /default-src 'none'/);
  await page.close();
});

test('a database missing one procedure of the definition names it', async () => {
  const db = brokenCopy('no-sections.db', "DELETE FROM nimbo_procedures WHERE name = 'xspb2';");
  const server = await serve(['--db', db, '--folder', path.join(scratch, 'demo')]);
  const page = await open(server.url);
  const body = reportOf(page).locator('body');
  await body.locator('h1').waitFor();
  const items = await body.locator('li').allInnerTexts();
  assert.equal(items.length, 1, items.join('\n'));
  assert.match(items[0], /the procedure xspb2 in nimbo_procedures/);

  // Once the definition is complete, Refresh brings the front page without a restart.
  execFileSync('python3', ['-c', 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute("ATTACH ? AS demo", (sys.argv[2],)); c.execute("INSERT INTO nimbo_procedures SELECT * FROM demo.nimbo_procedures WHERE name = \'xspb2\'"); c.commit()', db, demoDb]);
  await page.locator('#refresh').click();
  await idleOf(page);
  await reportOf(page).locator('body', {hasText: 'Welcome to the Data Browser'}).waitFor();
  assert.equal(await reportOf(page).locator('h1', {hasText: 'no browser definition'}).count(), 0);
  await page.close();
});
