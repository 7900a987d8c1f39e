// The report pane on a large page: the demo with 100,000 more customers, whose "Orders by
// customer" page (about 18 MB) has a drill-down toggle on every row. Prints the time from the
// node click to the report's first contentful paint, to the first toggle shown, to the end of
// parsing and to the end of the host script's work, and the milliseconds per toggle (from the
// input event to the second frame after it, when the change has been drawn):
//  - the first row's toggle, clicked with the mouse as soon as it shows and then every
//    CLICK_EVERY_MS until the page has loaded (a user does not wait for 18 MB): these clicks
//    land while the parser and the host's script are at work;
//  - then, once all is done, toggles further down, clicked from script;
// and the worst and the median of each, and the main thread's long tasks until all was done
// (a click waits for the task it lands in); for the clicks while loading also the browser's
// Event Timing duration, input to the next paint. The page's size is read last, since serialising
// 18 MB is itself a long task.
//
//   cd tests/web && NIMBO_BIN=$PWD/../../build/nimbo node ../../bench/web_big_page.mjs \
//       [--browser-parses] [page-head.html]
//
// With a page head file, that head is stored into the copy first (to compare two heads). With
// --browser-parses the page is not fed to its document a piece at a time by the host but
// parsed by the browser as it arrives, as a page under the feed size is (to compare the two).
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {makeScratch, serve, launch, stopAll, makeBigDemo} from '../tests/web/harness.mjs';

const LATE_TOGGLES = 6;
const CLICK_EVERY_MS = 250;
const scratch = makeScratch();
const folder = path.join(scratch, 'big');
const db = makeBigDemo(folder);
const headFile = process.argv.slice(2).find((arg) => !arg.startsWith('--'));
if (headFile) {
  const head = fs.readFileSync(headFile, 'utf8').replace(/'/g, "''");
  execFileSync('sqlite3', [db, `UPDATE nimbo_pages SET html = '${head}' WHERE id = 2`]);
}

const server = await serve(['--db', db, '--folder', folder]);
const context = await launch(path.join(scratch, 'profile'));
const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
try {
  const page = context.pages()[0] || await context.newPage();
  // With --browser-parses, a large page is not fed to its document a piece at a time but
  // parsed by the browser as it arrives (what the pane did before), for comparison.
  if (process.argv.includes('--browser-parses')) {
    await page.route(/\/app\/.*[?&]feed=1/, (route) =>
      route.continue({url: route.request().url().replace(/[?&]feed=1/, '')}));
  }
  // The report frame tells the bench where its first toggle is as soon as it can be seen, so
  // that the mouse goes there without waiting for a locator to search an 18 MB document.
  let shown;
  const whenShown = new Promise((resolve) => { shown = resolve; });
  await page.exposeBinding('nimboBenchShown', (source, where) => shown(where));
  await page.addInitScript(() => {
    if (window === window.top) return;
    window.nimboBenchToggles = [];
    // Each click's time from the input event to the second animation frame after it.
    // Listened for once the first toggle is there: a page fed to its document in pieces opens
    // the document again, which drops the listeners added before.
    const listen = () => document.addEventListener('click', (event) => {
      const target = event.target;
      if (!(target instanceof Element) || !/^DTL/.test(target.id)) return;
      const start = event.timeStamp;
      const loading = document.readyState === 'loading' || window.nimboReportWired !== true;
      requestAnimationFrame(() => requestAnimationFrame(() => {
        window.nimboBenchToggles.push({ms: performance.now() - start, at: start, loading});
      }));
    }, true);
    // The browser's own measure of each click on a toggle: from the input to the next frame
    // painted after its handlers (Event Timing, as interaction-to-next-paint counts it; 8 ms
    // steps), with when it came.
    window.nimboBenchPaints = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) {
        if (entry.name !== 'click' || !entry.target || !/^DTL/.test(entry.target.id || '')) continue;
        window.nimboBenchPaints.push({ms: entry.duration, at: entry.startTime});
      }
    }).observe({type: 'event', durationThreshold: 16, buffered: true});
    // The main thread's long tasks while the page arrives.
    window.nimboBenchLongTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.nimboBenchLongTasks.push({ms: entry.duration, at: entry.startTime});
    }).observe({type: 'longtask', buffered: true});
    // When the first toggle can be seen (checked once a frame until it can): drawn, its row
    // and row group no longer skipped by content-visibility, as known after a fresh layout.
    const look = () => {
      const toggle = document.querySelector('img[id^="DTL"]');
      if (toggle && toggle.getBoundingClientRect().width > 0 &&
          toggle.checkVisibility({contentVisibilityAuto: true})) {
        window.nimboBenchToggleShown = performance.now();
        listen();
        document.addEventListener('DOMContentLoaded', () => { window.nimboBenchParsed = performance.now(); });
        const box = toggle.getBoundingClientRect();
        window.top.nimboBenchShown({x: box.x + box.width / 2, y: box.y + box.height / 2});
      } else {
        requestAnimationFrame(look);
      }
    };
    requestAnimationFrame(look);
  });
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready="true"]');
  const item = page.locator('[role="treeitem"]', {hasText: /^\s*Orders by customer\s*$/}).first();
  const node = (await item.count()) ? item : page.locator('[role="treeitem"]', {hasText: 'Customers'}).first();
  const pane = await page.locator('#report').boundingBox();
  const clicked = Date.now();
  await node.click();

  // The first row's toggle, again and again while the page loads (open, close, open, ...).
  const where = await whenShown;
  const report = page.frames().find((f) => f.parentFrame() === page.mainFrame());
  let done = false;
  const finished = report.waitForFunction(
      () => document.readyState === 'complete' && window.nimboReportWired === true,
      null, {timeout: 300000, polling: 200}).then(() => { done = true; });
  let clicks = 0;
  while (!done) {
    await page.mouse.click(pane.x + where.x, pane.y + where.y);
    clicks++;
    await sleep(CLICK_EVERY_MS);
  }
  await finished;
  const loaded = Date.now() - clicked;
  if (clicks % 2) {  // closed again
    await page.mouse.click(pane.x + where.x, pane.y + where.y);
    clicks++;
  }
  await sleep(500);
  const early = await report.evaluate(() => window.nimboBenchToggles);
  const timing = await report.evaluate(() => {
    const paint = performance.getEntriesByName('first-contentful-paint')[0];
    return {
      paint: paint ? paint.startTime : NaN,
      paintAt: paint ? performance.timeOrigin + paint.startTime : NaN,
      parsed: window.nimboBenchParsed,
      shown: window.nimboBenchToggleShown,
      longTasks: window.nimboBenchLongTasks,
      // When the page's own fetch (by the host's feed) had all of the answer: DevTools, which
      // drives this browser, decodes its copy of the body then, in a task of its own.
      bodyEnd: performance.getEntriesByType('resource')
          .filter((entry) => entry.initiatorType === 'fetch' && /\.html?(\?|$)/.test(entry.name))
          .map((entry) => entry.responseEnd)[0],
      paints: window.nimboBenchPaints,
    };
  });

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
  // "Display All" and back: every level of the page at once.
  const all = [];
  for (let i = 0; i < 2; i++) {
    all.push(await report.evaluate(() => new Promise((resolve) => {
      const start = performance.now();
      document.getElementById('DISPALL').click();
      const handled = performance.now() - start;
      requestAnimationFrame(() => requestAnimationFrame(() => resolve([performance.now() - start, handled])));
    })));
  }
  const bytes = await report.evaluate(() => document.documentElement.outerHTML.length);

  const ms = (t) => t.toFixed(0);
  const summary = (list) => list.length ? `worst ${ms(Math.max(...list))} ms, median ${ms(median(list))} ms` : 'none';
  const whileLoading = early.filter((t) => t.loading).map((t) => t.ms);
  console.log(`page: ${(bytes / 1e6).toFixed(1)} MB`);
  console.log(`from the start of the report frame's navigation: first contentful paint ${ms(timing.paint)} ms, ` +
      `first toggle shown ${ms(timing.shown)} ms, page parsed ${ms(timing.parsed)} ms`);
  console.log(`first contentful paint ${ms(timing.paintAt - clicked)} ms after the node's click (clocks of two processes)`);
  console.log(`page loaded and taken up by the host's script: ${loaded} ms after the node's click`);
  // The clicks wait for the tasks after the first toggle has shown; those before are the
  // node's click itself and the shell taking the tree's new branch.
  const afterShown = timing.longTasks.filter((t) => t.at >= timing.shown).map((t) => t.ms);
  console.log(`long tasks until then: ${timing.longTasks.length}, ` +
      `${summary(timing.longTasks.map((t) => t.ms))}; after the first toggle showed: ` +
      `${afterShown.length}, ${summary(afterShown)}`);
  console.log(`toggles of the first row while loading (${whileLoading.length}): ${summary(whileLoading)}` +
      (early.length === clicks ? '' : ` (${clicks - early.length} of ${clicks} clicks missed the toggle)`));
  // A click whose input came while a long task ran waits for the rest of it: marked *.
  const during = (task, at) => at >= task.at && at <= task.at + task.ms;
  const inLongTask = (t) => timing.longTasks.some((task) => during(task, t.at));
  // DevTools' own: the first long task that starts within 300 ms of the end of the page's
  // fetch (the renderer hears of the end a little after the network has it). A trace of the
  // same load in a browser started without DevTools has no long task there.
  const devtools = timing.longTasks.find((task) => task.at + task.ms >= timing.bodyEnd &&
      task.at <= timing.bodyEnd + 300);
  const inDevtools = (t) => devtools !== undefined && during(devtools, t.at);
  console.log(`  ${early.map((t) => `${ms(t.ms)}${inDevtools(t) ? '+' : inLongTask(t) ? '*' : ''}` +
      `${t.loading ? '' : ' (loaded)'}`).join(', ')}` +
      ` (* came during a long task: ${early.filter((t) => inLongTask(t) && !inDevtools(t)).length};` +
      ` + during DevTools' decoding of the page when its fetch ended: ${early.filter(inDevtools).length})`);
  console.log(`  without those that came during DevTools' task: ` +
      `${summary(early.filter((t) => t.loading && !inDevtools(t)).map((t) => t.ms))}`);
  console.log(`  long tasks after the first toggle showed, ms@ms from the navigation: ` +
      `${timing.longTasks.filter((t) => t.at >= timing.shown).map((t) => `${ms(t.ms)}@${ms(t.at)}` +
          (t === devtools ? ' (DevTools)' : '')).join(', ')}; the page's fetch ended at ${ms(timing.bodyEnd)}`);
  // Clicks under 16 ms to their paint leave no entry: counted as 16.
  const paints = early.map((t) => {
    const entry = timing.paints.find((p) => Math.abs(p.at - t.at) < 1);
    return entry ? entry.ms : 16;
  });
  console.log(`the same clicks to their next paint (Event Timing): ${summary(paints)}; without ` +
      `those that came during DevTools' task: ${summary(paints.filter((p, i) => !inDevtools(early[i])))}`);
  console.log(`toggles further down after the load: ${late.map(ms).join(', ')} ms; ${summary(late)}`);
  console.log(`Display All, then Close All: ${all.map((t) => `${ms(t[0])} (handlers ${ms(t[1])})`).join(', ')} ms`);
  console.log(`all toggles: ${summary(early.map((t) => t.ms).concat(late))}`);
} finally {
  await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
}
