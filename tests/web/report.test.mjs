// The web host's additions inside report pages: accessibility, keyboard toggles and table tools.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {makeScratch, serve, launch, stopAll, reportOf, itemOf, idleOf, axeViolations, makeBigDemo, shot} from './harness.mjs';

const scratch = makeScratch();
let context;
let page;

const report = () => reportOf(page);
const item = (text) => itemOf(page, text);
const idle = () => idleOf(page);
const frame = () => page.frames().find((f) => f.parentFrame() === page.mainFrame());

// Shows a node's page and waits for the host's script to have run in it.
async function show(text) {
  // Clicking the node already shown reloads its page: start from another one.
  if (await item(text).getAttribute('aria-selected') === 'true') await show(text === 'Finance' ? 'Products' : 'Finance');
  // The page shown before is marked, so that the wait below sees the new one.
  await page.evaluate(() => {
    const view = document.getElementById('report').contentWindow;
    if (view) view.nimboShownBefore = true;
  });
  await item(text).click();
  await idle();
  // A node whose page is the one already shown (a folder) may not load the pane again.
  await page.waitForFunction(() => !document.getElementById('report').contentWindow.nimboShownBefore,
      null, {timeout: 5000}).catch(() => {});
  await page.waitForFunction(() => {
    const doc = document.getElementById('report').contentDocument;
    return doc && doc.readyState === 'complete' && doc.defaultView.nimboReportWired === true;
  }, null, {timeout: 30000});
}

before(async () => {
  const demo = await serve(['--folder', path.join(scratch, 'demo')]);
  context = await launch(path.join(scratch, 'profile'));
  page = context.pages()[0] || await context.newPage();
  await page.goto(demo.url);
  await page.waitForSelector('body[data-ready="true"]');
});

after(async () => {
  if (context) await context.close();
  stopAll();
  fs.rmSync(scratch, {recursive: true, force: true});
});

test('report pages have no critical or serious accessibility violation', async () => {
  await page.waitForFunction(() => {
    const doc = document.getElementById('report').contentDocument;
    return doc && doc.defaultView && doc.defaultView.nimboReportWired === true;
  }, null, {timeout: 30000});
  // The front page, a grouped page (with a level opened), a record page, a folder page, a table
  // page and a page with a table and a chart.
  const nodes = ['Data Browser', 'Customers', 'Blue Door Bakery', 'Products', 'Catalogue', 'Sales by Region', 'Finance'];
  for (const node of nodes) {
    await show(node);
    if (node === 'Customers') {
      const plus = report().locator('img[id^="DTL"]').first();
      await plus.focus();
      await page.keyboard.press('Enter');
      assert.equal(await plus.getAttribute('aria-expanded'), 'true');
    }
    // Only what lies inside the report pane: the shell around it has tests of its own.
    const inside = (await axeViolations(page)).map((v) => ({...v, nodes: v.nodes.filter((n) => n.startsWith('#report '))}))
        .filter((v) => v.nodes.length);
    assert.deepEqual(inside, [], node);
    // Every image has a text alternative, possibly empty.
    assert.equal(await report().locator('img:not([alt])').count(), 0, node);
  }
});

test('chart and drill-down toggles work from the keyboard and the mouse and say whether they are open', async () => {
  // Each toggle with what it shows: the chart's table, or the level's ROW row.
  const cases = [
    {node: 'Sales by Region', toggle: 'img[id^="CTL"]', shows: (id) => `#CGR${id.replace(/^CTL/, '')}`},
    {node: 'Customers', toggle: 'img[id^="DTL"]', shows: (id) => `#ROW${id.replace(/^DTL/, '')}`},
  ];
  for (const c of cases) {
    await show(c.node);
    const toggle = report().locator(c.toggle).first();
    assert.equal(await toggle.getAttribute('role'), 'button', c.node);
    assert.equal(await toggle.getAttribute('tabindex'), '0', c.node);
    const shown = report().locator(c.shows(await toggle.getAttribute('id'))).first();
    const before = await toggle.getAttribute('aria-expanded');
    assert.equal(before, String(await shown.isVisible()), c.node);
    for (const press of [() => page.keyboard.press('Enter'), () => page.keyboard.press(' '), () => toggle.click()]) {
      await toggle.focus();
      const was = await toggle.getAttribute('aria-expanded');
      await press();
      const now = await toggle.getAttribute('aria-expanded');
      assert.notEqual(now, was, c.node);
      assert.equal(String(await shown.isVisible()), now, c.node);
    }
    await toggle.click();
    assert.equal(await toggle.getAttribute('aria-expanded'), before, c.node);
  }
});

// The first sortable table of the shown page, as its rows' texts.
async function rows() {
  return frame().evaluate(() => {
    const table = document.querySelector('table[id^="TBL"][border="1"]');
    return Array.from(table.tBodies[0].rows).filter((row) => !row.hidden)
        .map((row) => Array.from(row.cells).map((cell) => cell.textContent.trim()));
  });
}

test('table headers sort by text and by number from the keyboard; a third press restores the page order', async () => {
  await show('Sales by Region');
  const original = await rows();
  assert.ok(original.length > 3, JSON.stringify(original));
  const header = original[0];
  const buttons = report().locator('button.nimbo-sort');
  assert.equal(await buttons.count(), header.length);
  for (let column = 0; column < Math.min(header.length, 3); column++) {
    const button = buttons.nth(column);
    await button.focus();
    await page.keyboard.press('Enter');
    const th = button.locator('xpath=..');
    assert.equal(await th.getAttribute('aria-sort'), 'ascending');
    const sorted = await rows();
    assert.deepEqual(sorted[0], header);
    assert.equal(sorted.length, original.length);
    // Ascending by value: numbers (amounts with separators) as numbers, texts in locale order.
    const totals = await frame().evaluate(() =>
      document.querySelectorAll('table[id^="TBL"][border="1"] td.tfl').length);
    const cells = sorted.slice(1, sorted.length - totals).map((row) => row[column]);
    const numeric = cells.every((c) => /^-?[\d,]+(\.\d+)?$/.test(c.replace(/[^\d.,-]/g, '')) && /\d/.test(c));
    for (let i = 1; i < cells.length; i++) {
      const a = cells[i - 1];
      const b = cells[i];
      if (numeric) assert.ok(Number(a.replace(/[^\d.-]/g, '')) <= Number(b.replace(/[^\d.-]/g, '')), `${a} before ${b}`);
      else assert.ok(a.localeCompare(b) <= 0, `${a} before ${b}`);
    }
    await page.keyboard.press('Enter');
    assert.equal(await th.getAttribute('aria-sort'), 'descending');
    await page.keyboard.press('Enter');
    assert.equal(await th.getAttribute('aria-sort'), 'none');
    assert.deepEqual(await rows(), original);
  }
});

test('the filter keeps matching rows and totals; CSV downloads the rows as shown', async () => {
  await show('Sales by Region');
  const original = await rows();
  const needle = original[1][0];
  await report().locator('.nimbo-tools input').first().fill(needle.toUpperCase());
  const filtered = await rows();
  assert.ok(filtered.length < original.length || original.length === 2);
  const totals = await frame().evaluate(() =>
    document.querySelectorAll('table[id^="TBL"][border="1"] tr:not([hidden]) td.tfl').length);
  for (const row of filtered.slice(1, filtered.length - totals)) {
    assert.ok(row.join(' ').toLowerCase().includes(needle.toLowerCase()), row.join(' '));
  }
  const [download] = await Promise.all([page.waitForEvent('download'),
    report().locator('.nimbo-tools button', {hasText: 'CSV'}).first().click()]);
  const file = path.join(scratch, 'rows.csv');
  await download.saveAs(file);
  const quote = (text) => {
    const safe = /^[=+\-@]/.test(text) ? `'${text}` : text;
    return /[",\r\n]/.test(safe) ? `"${safe.replace(/"/g, '""')}"` : safe;
  };
  const expected = filtered.map((row) => row.map((cell) => quote(cell.replace(/\u00a0/g, ' ').trim())).join(',')).join('\r\n') + '\r\n';
  assert.equal(fs.readFileSync(file, 'utf8'), expected);
  await report().locator('.nimbo-tools input').first().fill('');
});

test('wide tables scroll inside their own box at 1280 and 390 pixels', async () => {
  await show('Sales by Region');
  for (const width of [1280, 390]) {
    await page.setViewportSize({width, height: 800});
    await page.waitForFunction((w) => window.innerWidth === w, width);
    const sizes = await frame().evaluate(() => {
      const table = document.querySelector('table[id^="TBL"][border="1"]');
      const box = table.parentElement;
      return {boxed: box.classList.contains('nimbo-scroll'), overflow: getComputedStyle(box).overflowX,
        page: document.documentElement.scrollWidth, view: document.documentElement.clientWidth};
    });
    assert.deepEqual([sizes.boxed, sizes.overflow], [true, 'auto'], String(width));
    assert.ok(sizes.page <= sizes.view + 1, `${width}: page ${sizes.page} wider than ${sizes.view}`);
  }
  await page.setViewportSize({width: 1280, height: 800});
});

// How the shown page's drill-down levels came out: for the top level and each level opened,
// the rows' order against the page file's, rows left out of the layout, rows whose cells do not
// line up with the heading's, and whether the level fits its box. The host's script moves a
// level's rows into groups as they arrive and lays each row out on its own, so none of this
// comes from the page's own table layout any more.
function levelsOf(target) {
  return target.evaluate(async () => {
    const file = await (await fetch(location.href)).text();
    const order = (text) => Array.from(text.matchAll(/<img id="?(DTL\w+)/g), (m) => m[1]);
    const shown = (element) => getComputedStyle(element).display !== 'none';
    const levels = [document.getElementById('SHP010')].concat(
        Array.from(document.querySelectorAll('tr[id^="ROW"]')).filter(shown)
            .flatMap((row) => Array.from(row.querySelectorAll(':scope > td > div[id^="SHP"]'))));
    return {
      sameOrder: order(document.body.innerHTML).join() === order(file).join(),
      toggles: order(file).length,
      levels: levels.map((block) => {
        const table = block.querySelector(':scope > table');
        const rows = Array.from(table.rows).filter((row) => !/^ROW/.test(row.id));
        const lefts = (row) => Array.from(row.cells, (cell) => Math.round(cell.getBoundingClientRect().left));
        const heading = lefts(rows[0]);
        // Each sampled row brought into view (its box may scroll sideways too), then measured
        // against the heading as it stands then.
        const sample = [rows[1], rows[Math.floor(rows.length / 2)], rows[rows.length - 1]];
        const misaligned = sample.filter((row) => {
          row.scrollIntoView({block: 'center'});
          const line = lefts(rows[0]);
          return lefts(row).some((left, i) => Math.abs(left - (line[i] ?? left)) > 1);
        }).length;
        block.scrollIntoView({block: 'start'});
        const box = table.closest('.nimbo-scroll') || block;
        return {
          id: block.id, rows: rows.length, hidden: rows.filter((row) => !shown(row)).length,
          misaligned, columns: heading.length,
          fits: box.scrollWidth <= box.clientWidth + 1,
        };
      }),
    };
  });
}

test('drill-down levels show every row in the page\'s order, with columns in line, fitting the pane', async () => {
  await page.setViewportSize({width: 1280, height: 800});
  await show('Customers');
  // Open the first record's level: its rows and the level under them.
  await report().locator('img[id^="DTL"]').first().click();
  const small = await levelsOf(frame());
  assert.equal(small.sameOrder, true);
  assert.equal(small.levels.length, 2);
  for (const level of small.levels) {
    assert.equal(level.hidden, 0, level.id);
    assert.equal(level.misaligned, 0, level.id);
  }
  // The top level has room at 1280 pixels, as the page's own table layout would give it.
  assert.equal(small.levels[0].fits, true);
  await shot(page, 'report-drilldown-columns');

  // A level of 20,000 rows arrives over many pieces while the host's script groups it.
  const folder = path.join(scratch, 'big');
  const big = await serve(['--db', makeBigDemo(folder, 20000), '--folder', folder]);
  const second = await context.newPage();
  try {
    await second.goto(big.url);
    await second.waitForSelector('body[data-ready="true"]');
    await itemOf(second, 'Customers').click();
    await second.waitForFunction(() => {
      const doc = document.getElementById('report').contentDocument;
      return doc && doc.readyState === 'complete' && doc.defaultView.nimboReportWired === true &&
          doc.getElementById('SHP010') !== null;
    }, null, {timeout: 120000, polling: 200});
    const target = second.frames().find((f) => f.parentFrame() === second.mainFrame());
    const grouped = await levelsOf(target);
    assert.equal(grouped.sameOrder, true);
    assert.ok(grouped.toggles > 20000, String(grouped.toggles));
    const top = grouped.levels[0];
    assert.deepEqual([top.hidden, top.misaligned, top.fits], [0, 0, true]);
    // In groups, a record's ROW rows always in its own group.
    const groups = await target.evaluate(() => {
      const table = document.querySelector('#SHP010 > table');
      return {
        count: table.querySelectorAll(':scope > tbody.nimbo-rows').length,
        split: Array.from(table.querySelectorAll(':scope > tbody > tr:first-child[id^="ROW"]')).length,
        settled: table.classList.contains('nimbo-settled'),
      };
    });
    assert.ok(groups.count >= 100, String(groups.count));
    assert.deepEqual([groups.split, groups.settled], [0, true]);

    // Every toggle is a button with a text; those of rows drawn so far, of small levels and
    // of the last rows are named after their row's first cell, the others "Details" until
    // their rows are drawn (scrolled to) or the toggle is focused.
    const names = () => target.evaluate(() => {
      const toggles = Array.from(document.querySelectorAll('img[id^="DTL"]'));
      const wrong = toggles.filter((t) => {
        const cell = t.closest('td').nextElementSibling;
        const named = t.alt === `Details of ${cell.textContent.trim()}`;
        return t.getAttribute('role') !== 'button' || !(named || t.alt === 'Details') ||
            named !== t.hasAttribute('data-nimbo-named');
      });
      const named = (t) => t.hasAttribute('data-nimbo-named');
      // A group's rows are named together, when it is first drawn.
      const partly = Array.from(document.querySelectorAll('tbody.nimbo-rows')).filter((group) => {
        const own = Array.from(group.querySelectorAll(':scope > tr > td > img[id^="DTL"]'));
        const count = own.filter(named).length;
        return count > 0 && count < own.length;
      });
      return {
        partly: partly.length,
        wrong: wrong.map((t) => `${t.id}: ${t.alt}`).slice(0, 3),
        first: named(toggles[0]),
        last: named(toggles[toggles.length - 1]),
        nested: toggles.filter((t) => t.closest('tr[id^="ROW"]')).every(named),
        unnamed: toggles.filter((t) => !named(t)).length,
        total: toggles.length,
      };
    });
    const before = await names();
    assert.deepEqual([before.wrong, before.partly, before.first, before.last, before.nested],
        [[], 0, true, true, true]);
    assert.ok(before.unnamed > before.total / 2, JSON.stringify(before));
    const far = await target.evaluate(() => {
      const unnamed = document.querySelectorAll('img[id^="DTL"]:not([data-nimbo-named])');
      const [scrolled, focused] = [unnamed[Math.floor(unnamed.length / 2)], unnamed[unnamed.length - 1]];
      const was = [scrolled.alt, focused.alt];
      focused.focus();
      scrolled.scrollIntoView();
      return {was, focused: focused.alt, scrolled: scrolled.id};
    });
    assert.deepEqual(far.was, ['Details', 'Details']);
    assert.match(far.focused, /^Details of [A-Z]-\d+$/);
    await target.waitForFunction((id) => /^Details of [A-Z]-\d+$/.test(document.getElementById(id).alt),
        far.scrolled, {timeout: 10000});
    assert.deepEqual((await names()).wrong, []);

    // "Display All" on 20,000 toggles: the levels open at once, the pictures and states of the
    // toggles follow in short tasks; one toggle clicked meanwhile keeps its own state, and
    // "Close All" then closes every one.
    const states = () => target.evaluate(() => {
      const toggles = Array.from(document.querySelectorAll('img[id^="DTL"]'));
      const count = (test) => toggles.filter(test).length;
      return {
        minus: count((t) => /minus\.gif$/.test(t.getAttribute('src'))),
        expanded: count((t) => t.getAttribute('aria-expanded') === 'true'),
        total: toggles.length,
        label: document.getElementById('DISPALL').textContent.trim(),
      };
    });
    const clicked = await target.evaluate(() => {
      document.getElementById('DISPALL').click();
      // Right away, before the rest have changed: the last row's toggle, far from the window.
      const toggles = document.querySelectorAll('img[id^="DTL"]');
      const last = toggles[toggles.length - 1];
      last.click();
      return {id: last.id, src: last.getAttribute('src')};
    });
    assert.equal(clicked.src, 'plus.gif');
    await target.waitForFunction(() => {
      const toggles = document.querySelectorAll('img[id^="DTL"]');
      const open = Array.from(toggles).filter((t) => t.getAttribute('aria-expanded') === 'true' &&
          /minus\.gif$/.test(t.getAttribute('src')));
      return open.length === toggles.length - 1;
    }, null, {timeout: 30000});
    const opened = await states();
    assert.deepEqual(opened, {minus: opened.total - 1, expanded: opened.total - 1, total: opened.total, label: 'Close All'});
    await target.evaluate(() => document.getElementById('DISPALL').click());
    await target.waitForFunction(() => Array.from(document.querySelectorAll('img[id^="DTL"]'))
        .every((t) => t.getAttribute('aria-expanded') === 'false' && /plus\.gif$/.test(t.getAttribute('src'))),
        null, {timeout: 30000});
    assert.equal((await states()).label, 'Display All');
  } finally {
    await second.close();
    // Stopped before the next file's tests start, so that they do not share the machine with it.
    await new Promise((resolve) => {
      big.child.once('exit', resolve);
      big.child.kill('SIGINT');
      setTimeout(resolve, 10000);
    });
  }
});

test('a large page is written into the pane a piece at a time: all of it, at its own address; Stop keeps what came', async () => {
  const folder = path.join(scratch, 'fed');
  const server = await serve(['--db', makeBigDemo(folder, 3000), '--folder', folder]);
  const second = await context.newPage();
  const pane = () => second.frames().find((f) => f.parentFrame() === second.mainFrame());
  // Shows Customers (again) and waits for a new page in the pane with the host's script done.
  const showCustomers = async (fed = true) => {
    await second.evaluate(() => {
      const view = document.getElementById('report').contentWindow;
      if (view) view.nimboShownBefore = true;
    });
    await itemOf(second, 'Customers').click();
    await second.waitForFunction((fed) => {
      const view = document.getElementById('report').contentWindow;
      return view && !view.nimboShownBefore && view.document.readyState === 'complete' &&
          view.nimboReportWired === true && (!fed || view.nimboFeed.state === 'done');
    }, fed, {timeout: 60000, polling: 100});
  };
  const shown = () => pane().evaluate(() => ({
    fed: window.nimboFeed ? window.nimboFeed.state : null,
    address: location.pathname + location.search,
    ids: Array.from(document.querySelectorAll('[id]'), (e) => e.id).filter((id) => /^(DTL|ROW|SHP|TBL)/.test(id)),
    loadingBar: !window.parent.document.getElementById('pageLoading').hidden,
  }));
  const pageAddress = () => second.evaluate(() => fetch('/api/state').then((r) => r.json()).then((s) => s.page));
  try {
    await second.goto(server.url);
    await second.waitForSelector('body[data-ready="true"]');
    await showCustomers();
    const file = fs.readFileSync(path.join(folder, 'oDatNav.htm'), 'utf8');
    const fileIds = Array.from(file.matchAll(/\sid=["']?([^"'\s>]+)/gi), (m) => m[1])
        .filter((id) => /^(DTL|ROW|SHP|TBL)/.test(id));
    assert.ok(fileIds.length > 3000, String(fileIds.length));
    const whole = await shown();
    // Every element of the file, in its order; the pane's address is the page's own.
    assert.deepEqual({...whole, ids: whole.ids.length}, {fed: 'done', address: await pageAddress(), ids: fileIds.length, loadingBar: false});
    assert.deepEqual(whole.ids, fileIds);

    // Stop as soon as the page's head is in: what has been written stays, and nothing more
    // comes; the host's script finishes with it.
    await second.evaluate(() => {
      document.getElementById('report').addEventListener('nimbofeed', (event) => {
        if (event.detail === 'writing') document.getElementById('stopLoading').click();
      }, {once: true});
    });
    await showCustomers();
    const stopped = await shown();
    await second.waitForTimeout(500);
    assert.deepEqual(await shown(), stopped);
    assert.ok(stopped.ids.length < fileIds.length, String(stopped.ids.length));
    assert.deepEqual(stopped.ids, fileIds.slice(0, stopped.ids.length));
    assert.deepEqual([stopped.fed, stopped.loadingBar], ['done', false]);
    await shot(second, 'report-large-page-stopped');

    // A page that the start cannot fetch is loaded as any page is.
    const refuse = (route) => route.request().resourceType() === 'fetch' ? route.abort() : route.continue();
    await second.route(/\/app\/oDatNav\.htm\?v=\d+$/, refuse);
    try {
      await showCustomers(false);
      const loaded = await shown();
      assert.deepEqual([loaded.fed, loaded.address, loaded.loadingBar], [null, await pageAddress(), false]);
      assert.deepEqual(loaded.ids, fileIds);
    } finally {
      await second.unroute(/\/app\/oDatNav\.htm\?v=\d+$/, refuse);
    }
  } finally {
    await second.close();
    server.child.kill('SIGINT');
  }
});

test('the saved page shows its pictures from disk with the network off', async () => {
  await show('Customers');
  await show('Blue Door Bakery');
  const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#save').click()]);
  const saved = path.join(scratch, 'saved.htm');
  await download.saveAs(saved);
  const offline = await context.newPage();
  try {
    await context.setOffline(true);
    await offline.route('http://**', (route) => route.abort());
    await offline.goto('file://' + saved);
    const images = await offline.locator('img').evaluateAll((all) => all.map((image) => ({
      src: image.getAttribute('src').slice(0, 30), complete: image.complete, width: image.naturalWidth})));
    assert.ok(images.length > 0);
    for (const image of images) {
      assert.ok(image.complete && image.width > 0, JSON.stringify(image));
    }
  } finally {
    await context.setOffline(false);
    await offline.close();
  }
});
