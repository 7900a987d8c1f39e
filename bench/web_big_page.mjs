// The report pane on a large page: the demo with 100,000 more customers, whose "Orders by
// customer" page (about 18 MB) has a drill-down toggle on every row. Prints the time from the
// node click to the report's first contentful paint and the milliseconds per toggle (click to
// the next frame drawn).
//
//   cd tests/web && NIMBO_BIN=$PWD/../../build/nimbo node ../../bench/web_big_page.mjs [page-head.html]
//
// With a page head file, that head is stored into the copy first (to compare two heads).
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {makeScratch, serve, launch, stopAll, makeBigDemo} from '../tests/web/harness.mjs';

const TOGGLES = 6;
const scratch = makeScratch();
const folder = path.join(scratch, 'big');
const db = makeBigDemo(folder);
if (process.argv[2]) {
  const head = fs.readFileSync(process.argv[2], 'utf8').replace(/'/g, "''");
  execFileSync('sqlite3', [db, `UPDATE nimbo_pages SET html = '${head}' WHERE id = 2`]);
}

const server = await serve(['--db', db, '--folder', folder]);
const context = await launch(path.join(scratch, 'profile'));
try {
  const page = context.pages()[0] || await context.newPage();
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready="true"]');
  const item = page.locator('[role="treeitem"]', {hasText: /^\s*Orders by customer\s*$/}).first();
  const node = (await item.count()) ? item : page.locator('[role="treeitem"]', {hasText: 'Customers'}).first();
  const clicked = Date.now();
  await node.click();
  const frame = page.frameLocator('#report');
  await frame.locator('img[id^="DTL"]').first().waitFor({timeout: 300000});
  const report = page.frames().find((f) => f.parentFrame() === page.mainFrame());
  const paint = await report.waitForFunction(() => {
    const entry = performance.getEntriesByName('first-contentful-paint')[0];
    return entry ? performance.timeOrigin + entry.startTime : null;
  }, null, {timeout: 300000});
  const firstPaint = (await paint.jsonValue()) - clicked;
  const bytes = await report.evaluate(() => document.documentElement.outerHTML.length);
  // The host's stylesheet and script arrive after the load: wait for the frame they cause.
  const settle = await report.evaluate(() => new Promise((resolve) => {
    const start = performance.now();
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
  }));
  const times = [];
  for (let i = 0; i < TOGGLES; i++) {
    times.push(await report.evaluate((index) => new Promise((resolve) => {
      const images = document.querySelectorAll('img[id^="DTL"]');
      const image = images[Math.floor(index / 2) * 1000 % images.length];
      const start = performance.now();
      image.click();
      requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
    }), i));
  }
  console.log(`page: ${(bytes / 1e6).toFixed(1)} MB`);
  console.log(`first contentful paint after the click: ${firstPaint} ms (approximate: clocks of two processes)`);
  console.log(`first frame after the host's additions: ${settle.toFixed(0)} ms`);
  console.log(`toggle: ${times.map((t) => t.toFixed(0)).join(', ')} ms; median ${
    [...times].sort((a, b) => a - b)[Math.floor(times.length / 2)].toFixed(0)} ms`);
} finally {
  await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
}
