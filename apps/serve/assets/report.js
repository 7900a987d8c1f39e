// Added by the web host to each report page it shows (the pages' markup stays as the component
// wrote it): text alternatives for images, keyboard-operable chart and drill-down toggles, wide
// tables in their own scrolling box, and filter, sort and CSV tools on tables with a header row.
// Record data only ever goes into the page as text (textContent), never as markup.
//
// The host adds this script as soon as a page's head has arrived, and a large page (18 MB,
// 100,000 rows) goes on arriving for many seconds after that. So nothing here walks the whole
// document at once: the page's elements are taken up in short slices as they arrive, a toggle
// is made ready on the spot when it is clicked first, and window.nimboReportWired turns true
// once every element of the loaded page has been taken up.
(function () {
  'use strict';
  if (window.nimboReportTools) return;  // once per document
  window.nimboReportTools = true;
  document.documentElement.classList.add('nimbo-grouping');

  var MAX_ALT = 120;

  function textOf(element) {
    return element ? element.textContent.replace(/\s+/g, ' ').trim().slice(0, MAX_ALT) : '';
  }

  // ---- Images: decorative ones get an empty text, the rest a text from their context ----

  var DECORATIVE = /(^|\/)(circle|cbg|bg|spacer|blank)\.(gif|jpe?g|png)$/i;

  var headingText = '';
  function heading() {
    if (!headingText) headingText = textOf(document.querySelector('.mh'));
    return headingText;
  }

  function describeImage(image) {
    if (image.hasAttribute('alt')) return;
    var src = image.getAttribute('src') || '';
    if (DECORATIVE.test(src)) {
      image.alt = '';
      return;
    }
    // A record's picture: the record form's heading; otherwise the cell before it.
    var cell = image.closest('td');
    var label = cell && cell.previousElementSibling ? textOf(cell.previousElementSibling) : '';
    image.alt = label || heading() || 'Picture';
  }

  // ---- Toggles: buttons for the keyboard and for assistive technology ----

  function chartOf(id) {
    var match = /^CTL(?:CAP)?(\d+)$/.exec(id);
    return match ? document.getElementById('CGR' + match[1]) : null;
  }

  function expandedOf(element) {
    var id = element.id;
    if (/^DTL/.test(id)) return /minus\.gif$/.test(element.getAttribute('src') || '');
    if (id === 'DISPALL') return /^Close/.test(element.textContent.trim());
    var chart = chartOf(id);
    return chart ? chart.style.display !== 'none' : false;
  }

  function markToggle(element, label, expanded) {
    element.setAttribute('data-nimbo-toggle', '');
    element.setAttribute('role', 'button');
    element.tabIndex = 0;
    if (label !== null) {
      if (element.tagName === 'IMG') element.alt = label;
      else element.setAttribute('aria-label', label);
    }
    if (expanded === undefined) expanded = expandedOf(element);
    element.setAttribute('aria-expanded', String(expanded));
  }

  var TOGGLE = 'img[id^="DTL"], img[id^="CTL"], td[id^="CTLCAP"], [id="DISPALL"]';

  // Makes one toggle (and a chart icon's caption partner) a button, once.
  function wireToggle(element) {
    if (element.hasAttribute('data-nimbo-toggle')) return;
    var id = element.id;
    if (id === 'DISPALL') {
      markToggle(element, null);
      return;
    }
    if (/^DTL/.test(id)) {
      nameRowToggle(element);
      return;
    }
    var match = /^CTL(?:CAP)?(\d+)$/.exec(id);
    if (!match) return;
    var icon = document.getElementById('CTL' + match[1]);
    var caption = document.getElementById('CTLCAP' + match[1]);
    var text = textOf(caption) || 'Chart';
    if (icon && icon.tagName === 'IMG' && !icon.hasAttribute('data-nimbo-toggle')) {
      markToggle(icon, 'Chart: ' + text);
    }
    if (caption && !caption.hasAttribute('data-nimbo-toggle')) markToggle(caption, null);
    if (element !== icon && element !== caption) markToggle(element, null);
  }

  // A drill-down toggle, known to be one by the query that found it. A large page has one on
  // each of 100,000 rows, and every text that passes between the page and this script (an id
  // read, a name made from the row's cell and set) is a string the next full garbage
  // collection has to clear in the pause a click may wait for: 80 ms of a 120 ms pause on
  // such a page. So a toggle is made a button here from constant texts, and named after its
  // row (nameRowToggle) only once its rows are drawn, focused, or in a level that is not
  // put in groups: until then it is "Details", which its table row gives the context of.
  function wireRowToggle(image) {
    if (image.hasAttribute('data-nimbo-toggle')) return;
    markToggle(image, 'Details', /minus\.gif$/.test(image.getAttribute('src') || ''));
  }

  var UNNAMED_TOGGLES = 'img[id^="DTL"]:not([data-nimbo-named])';
  // Those of a row group's or a table body's own rows (a level under a row has its own).
  var UNNAMED_ROW_TOGGLES = ':scope > tr > td > ' + UNNAMED_TOGGLES;

  // Makes the toggle a button if its slice has not come yet, and names it, but only once its
  // row is complete: the parser may be in the middle of the cell's text.
  function nameRowToggle(image) {
    wireRowToggle(image);
    if (image.hasAttribute('data-nimbo-named')) return;
    var row = image.closest('tr');
    if (row && !closed(row)) return;
    image.setAttribute('data-nimbo-named', '');
    var cell = image.closest('td');
    var first = cell && row ? cell.nextElementSibling : null;
    image.alt = 'Details of ' + (textOf(first) || 'this row');
  }

  function nameTogglesIn(body) {
    body.querySelectorAll(UNNAMED_ROW_TOGGLES).forEach(nameRowToggle);
  }

  // A group of rows is about to be drawn (it comes into view, or is searched or focused in).
  document.addEventListener('contentvisibilityautostatechange', function (event) {
    var group = event.target;
    if (!event.skipped && group instanceof Element && group.tagName === 'TBODY') nameTogglesIn(group);
  }, true);

  document.addEventListener('focusin', function (event) {
    var element = event.target;
    if (element instanceof Element && element.matches(UNNAMED_TOGGLES)) nameRowToggle(element);
  }, true);

  function wireImage(image) {
    var id = image.id || '';
    if (/^DTL/.test(id)) wireRowToggle(image);  // its row may not be complete yet
    else if (/^CTL\d/.test(id)) wireToggle(image);
    else describeImage(image);
  }

  // After the page's own click handler (added earlier, so it runs first) the state is known.
  document.addEventListener('click', function (event) {
    var element = event.target instanceof Element ? event.target.closest(TOGGLE) : null;
    if (!element) return;
    wireToggle(element);  // clicked before its slice came
    if (/^DTL/.test(element.id)) sizeLevelsUnder(element);
    if (element.id === 'DISPALL') {
      markAll(element);
      return;
    }
    var expanded = String(expandedOf(element));
    if (ariaRun && /^DTL/.test(element.id)) ariaRun.clicked.add(element);
    var match = /^CTL(?:CAP)?(\d+)$/.exec(element.id);
    var partners = match ? [document.getElementById('CTL' + match[1]),
                            document.getElementById('CTLCAP' + match[1])] : [element];
    partners.forEach(function (partner) {
      if (partner) partner.setAttribute('aria-expanded', expanded);
    });
  });

  // After "Display All" or "Close All": every drill-down toggle says so, in short tasks (there
  // may be 100,000; the page's script may still be changing their pictures); a newer press
  // stops an older one, and a toggle clicked meanwhile keeps the state its click gave it.
  var ARIA_STEP = 5000;
  var ariaRun = null;
  function markAll(label) {
    label.setAttribute('aria-expanded', String(expandedOf(label)));
    var open = String(/^Close/.test(label.textContent.trim()));
    var toggles = null;
    var run = ariaRun = {clicked: new WeakSet()};
    var next = 0;
    function step() {
      if (run !== ariaRun) return;
      if (!toggles) toggles = document.querySelectorAll('img[id^="DTL"][data-nimbo-toggle]');
      for (var end = Math.min(next + ARIA_STEP, toggles.length); next < end; next++) {
        if (!run.clicked.has(toggles[next])) toggles[next].setAttribute('aria-expanded', open);
      }
      if (next < toggles.length) setTimeout(step, 0);
      else ariaRun = null;
    }
    requestAnimationFrame(function () { setTimeout(step, 0); });  // after the next frame
  }

  document.addEventListener('keydown', function (event) {
    var element = event.target instanceof Element && event.target.hasAttribute('data-nimbo-toggle')
        ? event.target : null;
    if (!element || (event.key !== 'Enter' && event.key !== ' ')) return;
    event.preventDefault();
    element.click();
  });

  // ---- Wide tables: their own scrolling box ----

  // Done as soon as a table arrives, before the page has laid out its rows: moving a table of
  // 100,000 laid-out rows into the box would lay all of them out again.
  function scrollBox(table) {
    if (table.parentElement && table.parentElement.classList.contains('nimbo-scroll')) return;
    var box = document.createElement('div');
    box.className = 'nimbo-scroll';
    table.parentNode.insertBefore(box, table);
    box.appendChild(table);
  }

  // ---- Table tools ----

  function rowsOf(table) {
    var body = table.tBodies[0];
    return body ? Array.prototype.slice.call(body.rows) : [];
  }

  function isHeaderRow(row) {
    return row.cells.length > 0 &&
        Array.prototype.every.call(row.cells, function (cell) { return cell.classList.contains('thc'); });
  }

  function isTotalsRow(row) {
    return row.querySelector('td.tfl, td.tfr') !== null;
  }

  var MONTH_FIRST = true;  // 1/2/2024 reads as January 2 unless the first part exceeds 12

  function dateValue(text) {
    var m = /^(\d{4})-(\d{1,2})-(\d{1,2})/.exec(text);
    if (m) return Date.UTC(+m[1], m[2] - 1, +m[3]);
    m = /^(\d{1,2})([./-])(\d{1,2})\2(\d{4})$/.exec(text);
    if (!m) return null;
    var a = +m[1], b = +m[3];
    var month = MONTH_FIRST && m[2] === '/' && a <= 12 ? a : b;
    var day = month === a ? b : a;
    if (month < 1 || month > 12 || day < 1 || day > 31) return null;
    return Date.UTC(+m[4], month - 1, day);
  }

  function numberValue(text) {
    var cleaned = text.replace(/[\s\u00a0$€£¥%]/g, '').replace(/,/g, '');
    var negative = /^\(.*\)$/.test(cleaned);
    if (negative) cleaned = cleaned.slice(1, -1);
    if (!/^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i.test(cleaned)) return null;
    var value = parseFloat(cleaned);
    return negative ? -value : value;
  }

  // How a column sorts: by date or number when every filled cell reads as one, else as text.
  function keyOf(rows, column) {
    var kinds = {date: true, number: true};
    var any = false;
    rows.forEach(function (row) {
      var cell = row.cells[column];
      var text = cell ? cell.textContent.trim() : '';
      if (!text) return;
      any = true;
      if (kinds.date && dateValue(text) === null) kinds.date = false;
      if (kinds.number && numberValue(text) === null) kinds.number = false;
    });
    var parse = any && kinds.date ? dateValue : any && kinds.number ? numberValue : null;
    return function (row) {
      var cell = row.cells[column];
      var text = cell ? cell.textContent.trim() : '';
      if (!parse) return text;
      var value = text ? parse(text) : null;
      return value === null ? -Infinity : value;
    };
  }

  function csvCell(text) {
    var safe = /^[=+\-@]/.test(text) ? "'" + text : text;
    return /[",\r\n]/.test(safe) ? '"' + safe.replace(/"/g, '""') + '"' : safe;
  }

  var toolCount = 0;

  function addTools(table) {
    var rows = rowsOf(table);
    if (rows.length < 2 || !isHeaderRow(rows[0])) return;
    var header = rows[0];
    var body = rows.slice(1);
    body.forEach(function (row, index) { row.nimboOrder = index; });
    var number = ++toolCount;

    var tools = document.createElement('div');
    tools.className = 'nimbo-tools';
    var label = document.createElement('label');
    label.textContent = 'Filter ';
    var filter = document.createElement('input');
    filter.type = 'search';
    filter.id = 'nimbo-filter-' + number;
    filter.setAttribute('aria-controls', table.id);
    label.htmlFor = filter.id;
    var csv = document.createElement('button');
    csv.type = 'button';
    csv.textContent = 'CSV';
    csv.setAttribute('aria-label', 'Download the rows as shown as CSV');
    tools.append(label, filter, csv);
    var anchor = table.parentElement && table.parentElement.classList.contains('nimbo-scroll')
        ? table.parentElement : table;
    anchor.parentNode.insertBefore(tools, anchor);

    filter.addEventListener('input', function () {
      var needle = filter.value.trim().toLowerCase();
      body.forEach(function (row) {
        if (isTotalsRow(row)) return;  // totals stay
        row.hidden = needle !== '' && row.textContent.toLowerCase().indexOf(needle) < 0;
      });
    });

    // Sorting: ascending, descending, then the page's own order again.
    var state = {column: -1, step: 0};
    Array.prototype.forEach.call(header.cells, function (cell, column) {
      var button = document.createElement('button');
      button.type = 'button';
      button.className = 'nimbo-sort';
      while (cell.firstChild) button.appendChild(cell.firstChild);
      cell.appendChild(button);
      cell.setAttribute('role', 'columnheader');  // the page writes its header row as td
      cell.setAttribute('aria-sort', 'none');
      button.addEventListener('click', function () {
        state.step = state.column === column ? (state.step + 1) % 3 : 1;
        state.column = column;
        Array.prototype.forEach.call(header.cells, function (other) { other.setAttribute('aria-sort', 'none'); });
        var sortable = body.filter(function (row) { return !isTotalsRow(row); });
        var totals = body.filter(isTotalsRow);
        if (state.step === 0) {
          sortable.sort(function (a, b) { return a.nimboOrder - b.nimboOrder; });
        } else {
          var key = keyOf(sortable, column);
          var keys = new Map();
          sortable.forEach(function (row) { keys.set(row, key(row)); });
          var sign = state.step === 1 ? 1 : -1;
          sortable.sort(function (a, b) {
            var x = keys.get(a), y = keys.get(b);
            var order = typeof x === 'string' ? x.localeCompare(y) : x < y ? -1 : x > y ? 1 : 0;
            return order * sign || a.nimboOrder - b.nimboOrder;
          });
          cell.setAttribute('aria-sort', state.step === 1 ? 'ascending' : 'descending');
        }
        var parent = header.parentNode;
        sortable.concat(totals).forEach(function (row) { parent.appendChild(row); });
      });
    });

    csv.addEventListener('click', function () {
      var lines = [header].concat(rowsOf(table).slice(1).filter(function (row) { return !row.hidden; }))
          .map(function (row) {
            return Array.prototype.map.call(row.cells, function (cell) {
              return csvCell(cell.textContent.replace(/\u00a0/g, ' ').trim());
            }).join(',');
          });
      var blob = new Blob([lines.join('\r\n') + '\r\n'], {type: 'text/csv;charset=utf-8'});
      var link = document.createElement('a');
      link.href = URL.createObjectURL(blob);
      var title = textOf(document.querySelector('.mh')) || 'table';
      link.download = title.replace(/[^\w .-]+/g, '_').slice(0, 60) + '.csv';
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(function () { URL.revokeObjectURL(link.href); }, 10000);
    });
  }

  // ---- Drill-down levels: their rows in groups ----

  // A level's rows go into groups of about GROUP_ROWS (tbody elements of the same table, so
  // that the page's own rules for its rows still apply), which the stylesheet lays out only
  // when they come into view: opening one row then lays out its group and places the others,
  // rather than placing 100,000 rows. A group never parts a row from the ROW rows after it,
  // which the page's toggle finds as its next siblings. The parser goes on adding rows to the
  // table's last tbody; the rows before the last one are complete and may move.
  //
  // While this script is at work in a page (the "nimbo-grouping" class on the root), the
  // stylesheet keeps the rows of a section's own level (not one under a row) that are not yet
  // in a group out of the layout until the level is marked "nimbo-settled", so that the
  // parser's rows cost no layout until they are grouped, and are first drawn as they stay.
  // Such a level's groups are made of whatever rows are complete, so that they show within a
  // slice of their arrival. Otherwise every frame while the page arrives would place the
  // growing run of rows again, and a click would wait seconds for its frame.
  var GROUP_ROWS = 200;
  var ROW_PX = 34;  // a row's height as the stylesheet guesses it (its 34px)
  // A section's own level, as the stylesheet finds it.
  var SECTION_LEVEL = 'table[id^="TBL"] > tbody > tr > td > div[id^="SHP"] > table';

  // Whether the parser has gone past the element.
  function closed(element) {
    for (var node = element; node && node !== document.body; node = node.parentNode) {
      if (node.nextSibling) return true;
    }
    return !loading();
  }

  function isLevelRow(row) {
    return /^ROW/.test(row.id);
  }

  // Moves the next group of complete rows of a level into a tbody of its own; false when there
  // is none (yet).
  function groupRows(table) {
    var body = table.tBodies[table.tBodies.length - 1];
    var first = body && !body.classList.contains('nimbo-rows') ? body.firstElementChild : null;
    if (!first) return false;
    var arriving = table.nimboSectionLevel && !table.classList.contains('nimbo-settled');
    // The row the group ends before: the first row after GROUP_ROWS that is not a ROW row, or
    // while the level arrives, the last such row there is. Every row before one that exists
    // is complete.
    var cut = null;
    var count = 1;
    var shown = 1;  // rows before the cut other than ROW rows (which start hidden)
    for (var row = first.nextElementSibling; row; row = row.nextElementSibling, count++) {
      if (isLevelRow(row)) continue;
      if (cut) shown++;
      cut = row;
      if (count >= GROUP_ROWS) break;
    }
    if (!cut || (count < GROUP_ROWS && !arriving)) return false;
    sizeLevel(table);
    var group = document.createElement('tbody');
    group.className = 'nimbo-rows';
    // The height it is taken to have until it is first laid out: the groups made while a level
    // arrives are of any size.
    group.style.containIntrinsicBlockSize = 'auto ' + shown * ROW_PX + 'px';
    var range = document.createRange();
    range.setStartBefore(first);
    range.setEndBefore(cut);
    group.appendChild(range.extractContents());
    table.insertBefore(group, body);
    return true;
  }

  // Each row of a level is laid out on its own (see report.css), so the columns of a level
  // cannot take their widths from the level's content as one table's would. Once a level's
  // heading and first rows are there, its rows become grids of the same columns, each column
  // between the least it can do with and a share in proportion to what it would like, as a
  // table's own layout weighs them; both are reckoned from text lengths (counted, not
  // measured, which would lay the level out). A level narrower than its columns' least widths
  // scrolls in its box.
  var SAMPLE_ROWS = 200;
  var EM_PER_LABEL_CHARACTER = 0.65;  // upper-case labels of 12px with letter spacing
  var EM_PER_VALUE_CHARACTER = 0.55;
  var EM_LONGEST_VALUE = 20;          // longer texts wrap
  var EM_PER_CELL = 1.6;              // the cells' padding
  var EM_LEAST_COLUMN = 3;
  var EM_TOGGLE_COLUMN = 2.5;

  function sizeLevel(table) {
    if (table.nimboSized) return;
    var rows = table.rows;
    var heading = rows[0];
    if (!heading) return;
    table.nimboSized = true;
    var columns = heading.cells.length;
    // For each column the width it would like (its longest text on one line) and the least it
    // can do with (its longest word; labels and numbers do not wrap), as a table's own layout
    // weighs them.
    var wants = [];
    var leasts = [];
    for (var column = 0; column < columns; column++) {
      var cell = heading.cells[column];
      var width = cell.classList.contains('thc')
          ? Math.max(cell.textContent.trim().length * EM_PER_LABEL_CHARACTER + EM_PER_CELL, EM_LEAST_COLUMN)
          : EM_TOGGLE_COLUMN;
      wants.push(width);
      leasts.push(width);
    }
    for (var index = 1, seen = 0; index < rows.length && seen < SAMPLE_ROWS; index++) {
      var row = rows[index];
      if (isLevelRow(row)) continue;
      seen++;
      for (column = 0; column < columns && column < row.cells.length; column++) {
        if (!heading.cells[column].classList.contains('thc')) continue;  // the toggles' column
        var value = row.cells[column];
        var text = value.textContent.trim();
        var word = value.classList.contains('tdr') ? text.length
            : text.split(/\s+/).reduce(function (longest, part) { return Math.max(longest, part.length); }, 0);
        wants[column] = Math.max(wants[column],
            Math.min(text.length * EM_PER_VALUE_CHARACTER, EM_LONGEST_VALUE) + EM_PER_CELL);
        leasts[column] = Math.max(leasts[column],
            Math.min(word * EM_PER_VALUE_CHARACTER, EM_LONGEST_VALUE) + EM_PER_CELL);
      }
    }
    var least = 0;
    var tracks = wants.map(function (want, column) {
      least += leasts[column];
      return 'minmax(' + leasts[column].toFixed(1) + 'em, ' + want.toFixed(1) + 'fr)';
    });
    table.style.setProperty('--nimbo-columns', tracks.join(' '));
    table.style.minWidth = least.toFixed(1) + 'em';
    table.classList.add('nimbo-sized');
  }

  // The levels a drill-down toggle opens: sized at once if their turn has not come yet.
  function sizeLevelsUnder(toggle) {
    var id = 'ROW' + toggle.id.slice(3);
    for (var row = document.getElementById(id); row && row.id === id; row = row.nextElementSibling) {
      row.querySelectorAll(':scope > td > div[id^="SHP"] > table').forEach(sizeLevel);
    }
  }

  // A level whose rows have all arrived: the last rows, fewer than a group, show where they are.
  function finishLevel(table) {
    sizeLevel(table);
    table.classList.add('nimbo-settled');
    // The toggles of rows left out of groups (a small level, or the last rows of a large one)
    // are named now; those in groups as each group is first drawn.
    for (var i = 0; i < table.tBodies.length; i++) {
      var body = table.tBodies[i];
      if (!body.classList.contains('nimbo-rows')) nameTogglesIn(body);
    }
  }

  // ---- Taking the page up in slices as it arrives ----

  // The page's elements are taken up in document order by a cursor that stays at the last one
  // taken: the parser only adds after it, and this script's own changes (row groups, scroll
  // boxes) keep the order, so each element is met once. (Lists of the document's images or
  // tables would be counted again from the top after each of the parser's additions.) A
  // complete table row is taken up whole, by a query for what matters in it, rather than
  // element by element: each element met gets a script object that every full garbage
  // collection traces from then on (300,000 more made one of a 400,000-element page 60-100 ms
  // longer), and the collector's pauses are what a click may wait for.
  var cursor = null;
  var cursorWhole = false;  // the cursor's descendants are taken up too
  var levels = [];      // drill-down levels' tables, in the order of the page
  var levelsDone = 0;
  var toolTables = [];  // tables whose tools wait for the whole table
  var SLICE_MS = 8;
  var WAIT_MS = 50;     // between slices while the page is still arriving and all is taken up

  function loading() {
    return document.readyState === 'loading';
  }

  // The element after the cursor in document order; null when the parser has not added it yet.
  // From the top (again) when there is no cursor or the page's own script has removed it.
  function following() {
    if (!cursor || !cursor.isConnected) return document.documentElement;
    if (!cursorWhole && cursor.firstElementChild) return cursor.firstElementChild;
    for (var node = cursor; node; node = node.parentElement) {
      if (node.nextElementSibling) return node.nextElementSibling;
    }
    return null;
  }

  function takeTable(table) {
    if (table.nimboTaken) return;
    table.nimboTaken = true;
    var parent = table.parentElement;
    if (parent && parent.tagName === 'DIV' && /^SHP/.test(parent.id)) {
      // Levels under a row start hidden, and are complete before their row can be opened.
      table.nimboSectionLevel = table.matches(SECTION_LEVEL);
      levels.push(table);
    }
    if (!/^TBL/.test(table.id)) return;
    scrollBox(table);
    if (table.getAttribute('border') === '1') toolTables.push(table);
  }

  function take(element) {
    switch (element.tagName) {
      case 'TABLE': takeTable(element); break;
      case 'IMG': wireImage(element); break;
      case 'P': if (element.id === 'DISPALL') wireToggle(element); break;
    }
  }

  // Runs the next steps until the slice's time is up; true when everything arrived is done.
  function slice() {
    var end = performance.now() + SLICE_MS;
    var steps = 0;
    // Light steps look at the clock every 64th time; heavy ones (a group of rows, a table's
    // tools) every time.
    function timeLeft(heavy) {
      return (!heavy && (++steps & 63) !== 0) || performance.now() < end;
    }
    for (var next = following(); next; next = following()) {
      if (!timeLeft()) return false;
      cursor = next;
      // A row is complete once the parser has gone on to the next one.
      cursorWhole = next.tagName === 'TR' && (next.nextElementSibling !== null || !loading());
      if (cursorWhole) {
        next.querySelectorAll('img:not([id^="DTL"]), table, p').forEach(take);
        next.querySelectorAll('img[id^="DTL"]').forEach(wireRowToggle);
      }
      else take(next);
    }
    while (levelsDone < levels.length) {
      if (!timeLeft(true)) return false;
      if (groupRows(levels[levelsDone])) continue;
      if (!closed(levels[levelsDone])) break;  // more rows to come
      finishLevel(levels[levelsDone]);
      levelsDone++;
    }
    // A table's tools need all of its rows: they wait for the end of the page.
    if (loading()) return true;
    while (toolTables.length) {
      if (!timeLeft(true)) return false;
      addTools(toolTables.shift());
    }
    return true;
  }

  function run() {
    var caughtUp = slice();
    if (!caughtUp) setTimeout(run, 0);
    else if (loading()) setTimeout(run, WAIT_MS);
    else window.nimboReportWired = true;
  }

  run();
})();
