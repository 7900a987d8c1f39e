// The report pane on a large page: the demo with 100,000 more customers, whose "Orders by
// customer" page (about 18 MB) has a drill-down toggle on every row. Prints the time from the
// node click to the report's first contentful paint and to the end of the page's load, and the
// milliseconds per toggle (click to the next frame drawn):
//  - the first toggles near the top, clicked with the mouse as soon as the first row shows,
//    while the page is still arriving (a user does not wait for 18 MB);
//  - then, once the page has loaded and the host's script has taken it up, toggles further
//    down, clicked from script;
// and the worst and the median of all of them. The page's size is read last, since serialising
// 18 MB is itself a long task.
//
//   cd tests/web && NIMBO_BIN=$PWD/../../build/nimbo node ../../bench/web_big_page.mjs [page-head.html]
//
// With a page head file, that head is stored into the copy first (to compare two heads).
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {makeScratch, serve, launch, stopAll, makeBigDemo} from '../tests/web/harness.mjs';

const LATE_TOGGLES = 6;
const scratch = makeScratch();
const folder = path.join(scratch, 'big');
const db = makeBigDemo(folder);
if (process.argv[2]) {
  const head = fs.readFileSync(process.argv[2], 'utf8').replace(/'/g, "''");
  execFileSync('sqlite3', [db, `UPDATE nimbo_pages SET html = '${head}' WHERE id = 2`]);
}

const server = await serve(['--db', db, '--folder', folder]);
const context = await launch(path.join(scratch, 'profile'));
const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
try {
  const page = context.pages()[0] || await context.newPage();
  // In the report frame: each click's time from the input event to the second animation frame
  // after it (the frame that shows the toggle has been drawn by then).
  await page.addInitScript(() => {
    if (window === window.top) return;
    window.nimboBenchToggles = [];
    document.addEventListener('click', (event) => {
      const target = event.target;
      if (!(target instanceof Element) || !/^DTL/.test(target.id)) return;
      const start = event.timeStamp;
      const loading = document.readyState === 'loading';
      requestAnimationFrame(() => requestAnimationFrame(() => {
        window.nimboBenchToggles.push({ms: performance.now() - start, loading});
      }));
    }, true);
  });
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

  // The first rows' toggles with the mouse, at once: open and close the first, open the second.
  // The toggles of the first level (DTL, two digits of level, the key), not the levels inside.
  const recorded = () => report.evaluate(() => window.nimboBenchToggles.length);
  const level = (await frame.locator('img[id^="DTL"]').first().getAttribute('id')).slice(0, 5);
  for (const index of [0, 0, 1]) {
    const before = await recorded();
    const toggle = frame.locator(`img[id^="${level}"]`).nth(index);
    await toggle.waitFor({state: 'visible', timeout: 300000});
    const box = await toggle.boundingBox({timeout: 300000});
    await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
    await report.waitForFunction((n) => window.nimboBenchToggles.length > n, before, {timeout: 300000});
  }
  const early = await report.evaluate(() => window.nimboBenchToggles);

  await report.waitForFunction(() => document.readyState === 'complete' && window.nimboReportWired === true,
      null, {timeout: 300000, polling: 500});
  const loaded = Date.now() - clicked;
  const late = [];
  for (let i = 0; i < LATE_TOGGLES; i++) {
    late.push(await report.evaluate((index) => new Promise((resolve) => {
      const images = document.querySelectorAll('img[id^="DTL"]');
      const image = images[(1 + Math.floor(index / 2)) * 1000 % images.length];
      const start = performance.now();
      image.click();
      requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
    }), i));
  }
  const bytes = await report.evaluate(() => document.documentElement.outerHTML.length);

  const all = early.map((t) => t.ms).concat(late);
  const ms = (t) => t.toFixed(0);
  console.log(`page: ${(bytes / 1e6).toFixed(1)} MB`);
  console.log(`first contentful paint after the click: ${ms(firstPaint)} ms (approximate: clocks of two processes)`);
  console.log(`page loaded and taken up by the host's script: ${loaded} ms after the click`);
  console.log(`first toggle near the top: ${ms(early[0].ms)} ms (page ${early[0].loading ? 'still loading' : 'loaded'})`);
  console.log(`toggles near the top: ${early.map((t) => `${ms(t.ms)}${t.loading ? ' (loading)' : ''}`).join(', ')} ms`);
  console.log(`toggles further down after the load: ${late.map(ms).join(', ')} ms`);
  console.log(`all toggles: worst ${ms(Math.max(...all))} ms, median ${ms(median(all))} ms`);
} finally {
  await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
}
