// The web host's page script: draws the component's tree (only the rows in view), shows the
// report page the component wrote, passes form links to the component, and lists the events
// the component raises (notices, audit trail, diagnostics).
(function () {
  'use strict';

  var ROW = 32;          // row height in pixels, as in the style sheet
  var OVERSCAN = 8;      // rows drawn above and below the view
  var HEADER = {'Content-Type': 'application/json', 'X-Nimbo-Request': '1'};

  var treeBox = document.getElementById('tree');
  var spacer = document.getElementById('treeSpacer');
  var frame = document.getElementById('report');
  var empty = document.getElementById('empty');
  var busyBadge = document.getElementById('busy');

  // Tree rows as the server sends them: [index, depth, text, image, expanded, selected,
  // children, colour], in display order.
  var rows = [];
  var visible = [];      // positions in `rows` of the rows not inside a collapsed node
  var info = [];         // per row: {setsize, posinset, parent}
  var activeIndex = 0;   // the node index of the row with keyboard focus
  var busy = false;
  var talking = false;
  var lastSeq = 0;
  var stateSeq = 0;      // the last event the applied state already includes
  var page = null;
  var queue = Promise.resolve();
  var pending = 0;       // state changes sent and not yet answered

  function api(method, path, body) {
    var options = {method: method, headers: method === 'POST' ? HEADER : {}};
    if (body !== undefined) options.body = JSON.stringify(body);
    return fetch(path, options).then(function (response) {
      return response.json().catch(function () { return {}; }).then(function (data) {
        if (!response.ok) {
          var error = new Error(data.error || ('HTTP ' + response.status));
          error.status = response.status;
          throw error;
        }
        return data;
      });
    });
  }

  // ---- Tree model ----

  // A node with children, or a folder, list or recursive node not yet opened, which may have some.
  function canOpen(r) {
    return r[6] > 0 || r[8] === 1;
  }

  function analyse() {
    info = new Array(rows.length);
    var parents = [];       // row position of the last node seen at each depth
    var positions = [];     // posinset counter per depth
    var roots = 0;
    for (var i = 0; i < rows.length; i++) if (rows[i][1] === 0) roots++;
    for (i = 0; i < rows.length; i++) {
      var depth = rows[i][1];
      positions[depth] = (positions[depth] || 0) + 1;
      positions.length = depth + 1;
      parents[depth] = i;
      parents.length = depth + 1;
      var parent = depth > 0 ? parents[depth - 1] : -1;
      info[i] = {
        parent: parent,
        posinset: positions[depth],
        setsize: parent >= 0 ? rows[parent][6] : roots
      };
    }
    visible = [];
    var hiddenBelow = Infinity;  // rows deeper than this are inside a collapsed node
    for (i = 0; i < rows.length; i++) {
      var d = rows[i][1];
      if (d > hiddenBelow) continue;
      hiddenBelow = Infinity;
      visible.push(i);
      if (rows[i][6] > 0 && !rows[i][4]) hiddenBelow = d;
    }
    if (filterText) visible = filtered();
  }

  function visiblePos(index) {
    for (var v = 0; v < visible.length; v++) if (rows[visible[v]][0] === index) return v;
    return -1;
  }

  function rowByIndex(index) {
    for (var i = 0; i < rows.length; i++) if (rows[i][0] === index) return i;
    return -1;
  }

  // ---- Tree drawing ----

  var chevron = '<svg viewBox="0 0 12 12" aria-hidden="true"><path d="M4.5 2.5L8 6l-3.5 3.5"/></svg>';
  var drawQueued = false;

  function queueDraw() {
    if (drawQueued) return;
    drawQueued = true;
    requestAnimationFrame(function () { drawQueued = false; draw(); });
  }

  function draw() {
    spacer.style.height = (visible.length * ROW) + 'px';
    var first = Math.max(0, Math.floor(treeBox.scrollTop / ROW) - OVERSCAN);
    var last = Math.min(visible.length,
                        Math.ceil((treeBox.scrollTop + treeBox.clientHeight) / ROW) + OVERSCAN);
    var keep = document.createDocumentFragment();
    keep.appendChild(spacer);
    for (var v = first; v < last; v++) keep.appendChild(rowElement(visible[v], v));
    treeBox.replaceChildren(keep);
    var activeRow = document.getElementById('node-' + activeIndex);
    if (activeRow) treeBox.setAttribute('aria-activedescendant', activeRow.id);
    else treeBox.removeAttribute('aria-activedescendant');
  }

  function rowElement(i, v) {
    var r = rows[i];
    var el = document.createElement('div');
    el.className = 'row' + (r[0] === activeIndex ? ' active' : '');
    el.id = 'node-' + r[0];
    el.setAttribute('role', 'treeitem');
    el.setAttribute('aria-level', String(r[1] + 1));
    el.setAttribute('aria-setsize', String(info[i].setsize));
    el.setAttribute('aria-posinset', String(info[i].posinset));
    el.setAttribute('aria-selected', r[5] ? 'true' : 'false');
    if (canOpen(r)) el.setAttribute('aria-expanded', r[4] && r[6] > 0 ? 'true' : 'false');
    el.dataset.index = String(r[0]);
    el.style.top = (6 + v * ROW) + 'px';
    el.style.paddingLeft = (4 + r[1] * 18) + 'px';

    var twisty = document.createElement('span');
    twisty.className = 'twisty';
    if (canOpen(r)) {
      twisty.innerHTML = chevron;
      twisty.dataset.toggle = '1';
    }
    el.appendChild(twisty);

    var holder = document.createElement('span');
    holder.innerHTML = window.NimboIcons.forKey(r[3]);
    var icon = holder.firstChild;
    icon.setAttribute('data-image', r[3]);
    el.appendChild(icon);

    var label = document.createElement('span');
    label.className = 'label';
    label.textContent = r[2];
    label.style.color = r[7];  // the node's own ForeColor
    el.appendChild(label);
    return el;
  }

  function scrollIntoView(index) {
    var v = visiblePos(index);
    if (v < 0) return;
    var top = v * ROW, bottom = top + ROW + 12;
    if (top < treeBox.scrollTop) treeBox.scrollTop = top;
    else if (bottom > treeBox.scrollTop + treeBox.clientHeight) {
      treeBox.scrollTop = bottom - treeBox.clientHeight;
    }
  }

  function setActive(index) {
    activeIndex = index;
    scrollIntoView(index);
    draw();
  }

  // ---- State from the server ----

  // Sends state changes one at a time, in order, and draws only the answer to the last one:
  // an earlier answer would undo what the user has done since.
  function change(path, body) {
    pending++;
    return queue = queue.then(function () {
      // Sent when the request goes, so that the answer is the change from the tree held then.
      var sent = Object.assign({}, body || {}, {since: treeVersion});
      return api('POST', path, sent).then(function (state) {
        if (--pending === 0) {
          applyState(state);
        } else {
          takeTree(state);
        }
      }, function (error) {
        pending--;
        return failed(error);
      });
    });
  }

  // The tree comes whole, as splices to the version held, or not at all when it has not
  // changed. False when the answer is a change to a version this page does not hold (answers
  // crossed): the tree is then asked for whole.
  var treeVersion = -1;
  function takeTree(state) {
    if (state.tree) {
      rows = state.tree;
    } else if (state.treeDelta) {
      if (state.treeDelta.from !== treeVersion) return false;
      state.treeDelta.splices.forEach(function (splice) {
        var at = splice[0], removed = splice[1], added = splice[2];
        if (removed === added.length) {
          for (var k = 0; k < removed; k++) rows[at + k] = added[k];
        } else if (added.length < 10000) {
          Array.prototype.splice.apply(rows, [at, removed].concat(added));
        } else {
          // A long branch (a list node's records) would overrun the arguments of one call.
          rows = rows.slice(0, at).concat(added, rows.slice(at + removed));
        }
      });
    } else if (state.treeVersion !== treeVersion) {
      return false;
    }
    treeVersion = state.treeVersion;
    return true;
  }

  function applyState(state) {
    if (!takeTree(state)) return api('GET', '/api/state').then(applyState);
    stateSeq = Math.max(stateSeq, state.seq || 0);
    talking = !!state.talking;
    showMailPermission(!!state.canMail);
    document.getElementById('diagPanel').hidden = !talking;
    analyse();
    var selected = rows.filter(function (r) { return r[5]; })[0];
    if (rowByIndex(activeIndex) < 0 || visiblePos(activeIndex) < 0) {
      activeIndex = selected ? selected[0] : (rows[0] ? rows[0][0] : 0);
    }
    setBusy(!state.enabled);
    showPage(state.page);
    drawCrumbs(selected);
    scrollIntoView(activeIndex);
    draw();
  }

  function showPage(address) {
    if (address === page) return;
    page = address;
    if (address) {
      empty.hidden = true;
      frame.hidden = false;
      framePage(address);
      watchPane();
      pageLoading(true);
    } else {
      framePage('about:blank');
      frame.hidden = true;
      empty.hidden = false;
    }
  }

  function drawCrumbs(selected) {
    var box = document.getElementById('crumbs');
    box.replaceChildren();
    if (!selected) return;
    var chain = [];
    for (var i = rowByIndex(selected[0]); i >= 0; i = info[i].parent) chain.unshift(rows[i][2]);
    chain.forEach(function (text, n) {
      if (n) {
        var sep = document.createElement('span');
        sep.className = 'sep';
        sep.textContent = '/';
        box.appendChild(sep);
      }
      var part = document.createElement('span');
      part.textContent = text;
      if (n === chain.length - 1) part.className = 'here';
      box.appendChild(part);
    });
  }

  function setBusy(on) {
    busy = on;
    treeBox.setAttribute('aria-busy', on ? 'true' : 'false');
    treeBox.setAttribute('aria-disabled', on ? 'true' : 'false');
    busyBadge.hidden = !on;
  }

  function reload() {
    return api('GET', '/api/state?since=' + treeVersion).then(applyState);
  }

  function failed(error) {
    if (error && error.status === 409) return reload();
    notice(error && error.message ? error.message : String(error), 'error');
    return reload().catch(function () {});
  }

  // ---- Actions ----

  function display(index, fromAddress) {
    var i = rowByIndex(index);
    if (i < 0 || busy) return Promise.resolve();
    activeIndex = index;
    setBusy(true);
    if (!fromAddress) rememberAddress(i);
    return change('/api/display', {index: index, text: rows[i][2]});
  }

  function setExpanded(index, expanded) {
    var i = rowByIndex(index);
    if (i < 0 || busy) return;
    // A node makes its children when it is displayed: opening one not yet opened displays it.
    if (expanded && rows[i][6] === 0 && rows[i][8] === 1) {
      display(index);
      return;
    }
    rows[i][4] = expanded;  // at once, so keys pressed quickly act on what is shown
    analyse();
    draw();
    change('/api/expand', {index: index, text: rows[i][2], expanded: expanded});
  }

  document.getElementById('refresh').addEventListener('click', function () {
    setBusy(true);
    change('/api/refresh');
  });

  // Save and print: the component runs its command and, when it asks for the browser's
  // dialog, this page opens it: a download of the shown page, or printing of the report pane.
  function pageCommand(path) {
    api('POST', path).then(function (answer) {
      var action = answer.action;
      if (!action) return;
      if (action.kind === 'save') {
        var link = document.createElement('a');
        link.href = action.url;
        link.download = decodeURIComponent(action.url.split('?')[0].split('/').pop());
        document.body.appendChild(link);
        link.click();
        link.remove();
      } else if (action.kind === 'print' && frame.contentWindow) {
        frame.contentWindow.print();
      }
    }, failed);
  }
  document.getElementById('save').addEventListener('click', function () { pageCommand('/api/save'); });
  document.getElementById('print').addEventListener('click', function () { pageCommand('/api/print'); });

  var mailDialog = document.getElementById('mailDialog');
  var sendingNotice = null;  // replaced by the outcome when it arrives
  document.getElementById('mail').addEventListener('click', function () {
    if (this.getAttribute('aria-disabled') === 'true') return;
    var here = document.querySelector('#crumbs .here');
    var subject = document.getElementById('mailSubject');
    if (!subject.value && here) subject.value = 'Report: ' + here.textContent;
    mailDialog.showModal();
  });
  mailDialog.querySelectorAll('[data-close]').forEach(function (button) {
    button.addEventListener('click', function () { mailDialog.close(); });
  });
  document.getElementById('mailForm').addEventListener('submit', function (event) {
    event.preventDefault();
    mailDialog.close();
    api('POST', '/api/mail', {
      to: document.getElementById('mailTo').value,
      subject: document.getElementById('mailSubject').value,
      message: document.getElementById('mailMessage').value
    }).then(function (answer) {
      if (answer.error) notice(answer.error, 'error');
      else if (answer.sending) sendingNotice = notice('Sending to ' + document.getElementById('mailTo').value + '…', 'info');
    }, failed);
  });

  var layout = document.querySelector('.layout');
  var activityButton = document.getElementById('activity');
  var unseen = 0;
  function setActivity(open) {
    layout.classList.toggle('side-closed', !open);
    document.getElementById('side').hidden = !open;
    activityButton.setAttribute('aria-expanded', open ? 'true' : 'false');
    if (open) unseen = 0;
    countUnseen();
  }
  function countUnseen() {
    var badge = document.getElementById('activityCount');
    badge.textContent = String(unseen);
    badge.hidden = unseen === 0;
  }
  activityButton.addEventListener('click', function () {
    setActivity(activityButton.getAttribute('aria-expanded') !== 'true');
  });
  setActivity(window.matchMedia('(min-width: 1100px)').matches);

  // ---- Mouse and keyboard on the tree ----

  treeBox.addEventListener('click', function (event) {
    var row = event.target.closest('.row');
    if (!row || busy) return;
    var index = Number(row.dataset.index);
    treeBox.focus({preventScroll: true});
    if (event.target.closest('[data-toggle]')) {
      activeIndex = index;
      setExpanded(index, row.getAttribute('aria-expanded') !== 'true');
      return;
    }
    display(index);
  });

  treeBox.addEventListener('scroll', queueDraw);
  window.addEventListener('resize', queueDraw);

  treeBox.addEventListener('keydown', function (event) {
    if (busy || !visible.length) return;
    var v = Math.max(0, visiblePos(activeIndex));
    var i = visible[v];
    var r = rows[i];
    var handled = true;
    switch (event.key) {
      case 'ArrowDown':
        if (v + 1 < visible.length) setActive(rows[visible[v + 1]][0]);
        break;
      case 'ArrowUp':
        if (v > 0) setActive(rows[visible[v - 1]][0]);
        break;
      case 'Home':
        setActive(rows[visible[0]][0]);
        break;
      case 'End':
        setActive(rows[visible[visible.length - 1]][0]);
        break;
      case 'ArrowRight':
        if (canOpen(r) && !(r[4] && r[6] > 0)) setExpanded(r[0], true);
        else if (r[6] > 0) setActive(rows[visible[v + 1]][0]);
        break;
      case 'ArrowLeft':
        if (r[6] > 0 && r[4]) setExpanded(r[0], false);
        else if (info[i].parent >= 0) setActive(rows[info[i].parent][0]);
        break;
      case 'PageDown':
      case 'PageUp':
        setActive(rows[visible[pageStep(v, event.key === 'PageDown' ? 1 : -1)]][0]);
        break;
      case 'Enter':
      case ' ':
        if (typed) typeAhead(' ', v);
        else display(r[0]);
        break;
      default:
        handled = event.key.length === 1 && !event.ctrlKey && !event.metaKey && !event.altKey;
        if (handled) typeAhead(event.key, v);
    }
    if (handled) event.preventDefault();
  });

  // ---- The report pane: form links go to the component ----

  function isFormLink(href) {
    return href !== null && (href.indexOf('^') >= 0 || /%5e/i.test(href));
  }

  // The pane's form links, once per document: a fed page's document is the one its start
  // opened, with the start's listeners gone, so it is known by its root element.
  var wiredRoots = new WeakSet();
  function wireFormLinks(doc) {
    if (!doc || !doc.documentElement || wiredRoots.has(doc.documentElement)) return;
    wiredRoots.add(doc.documentElement);
    doc.addEventListener('click', function (event) {
      var link = event.target.closest ? event.target.closest('a[href]') : null;
      if (!link) return;
      var href = link.getAttribute('href');
      if (!isFormLink(href)) return;
      event.preventDefault();
      api('POST', '/api/url', {url: href}).then(function (answer) {
        if (answer.form) openForm(answer.form);
        else if (!answer.handled) frame.src = link.href;
      }, failed);
    }, true);
  }

  // How far a large page's feed is (feed.js): null for a page loaded as any page is.
  function paneFeed() {
    try { return frame.contentWindow.nimboFeed || null; } catch (e) { return null; }
  }

  // ---- The report pane: the host's stylesheet and script for report pages (report.js) ----

  // The stylesheet's and the script's texts, fetched once: put into a page as they are, the
  // styles apply before the page's next frame and the script runs at once, where a link and a
  // script source would leave the first rows to be drawn without them and then drawn again.
  var reportTexts = {};
  ['report.css', 'report.js'].forEach(function (name) {
    fetch('/assets/' + name).then(function (response) {
      return response.ok ? response.text() : null;
    }).then(function (text) { reportTexts[name] = text; }, function () {});
  });

  // An element with the text into the document's head, kept if `took` says it has taken; null
  // when it has not, as in a document whose policy refuses inline styles and scripts
  // (about:blank takes the shell's, which does).
  function addInline(doc, tag, text, took) {
    if (!text || doc.URL === 'about:blank') return null;
    var element = doc.createElement(tag);
    element.textContent = text;
    doc.head.appendChild(element);
    if (took(element)) return element;
    element.remove();
    return null;
  }

  // Into the pane's document once: true when they are there now. By address if not as text.
  function addReportTools(doc) {
    if (!doc || !doc.head) return false;
    if (doc.getElementById('nimbo-report-css')) return true;
    var styles = addInline(doc, 'style', reportTexts['report.css'], function (element) {
      return element.sheet && element.sheet.cssRules.length > 0;
    });
    if (!styles) {
      styles = doc.createElement('link');
      styles.rel = 'stylesheet';
      styles.href = '/assets/report.css';
      doc.head.appendChild(styles);
    }
    styles.id = 'nimbo-report-css';
    var ran = addInline(doc, 'script', reportTexts['report.js'], function () {
      return doc.defaultView && doc.defaultView.nimboReportTools === true;
    });
    if (!ran) {
      var script = doc.createElement('script');
      script.src = '/assets/report.js';
      doc.head.appendChild(script);
    }
    return true;
  }

  function paneDocument() {
    try { return frame.contentDocument; } catch (e) { return null; }
  }

  // A large page goes on arriving for seconds after its head: the tools go in as soon as the
  // head is there, so that the stylesheet applies before the rows are laid out and the script
  // takes them up as they come, rather than all of them after the load. The pane's document is
  // looked for every WATCH_MS until the new one is there, for WATCH_TRIES at most; the load
  // below adds them in any case.
  var WATCH_MS = 20;
  var WATCH_TRIES = 1500;
  var watchTimer = 0;
  function watchPane() {
    clearTimeout(watchTimer);
    var before = paneDocument();
    var tries = 0;
    (function look() {
      var doc = paneDocument();
      if (doc && doc !== before && doc.URL !== 'about:blank') {
        // A fed page's start: the feed's events say when the page's head is there.
        if (doc.documentElement && doc.documentElement.hasAttribute('data-nimbo-feed')) return;
        if (addReportTools(doc)) return;
      }
      if (++tries < WATCH_TRIES) watchTimer = setTimeout(look, WATCH_MS);
    })();
  }

  // The pane's page is there (or, fed, its head is): the tools and the form links go in once.
  function takePane() {
    clearTimeout(watchTimer);
    var doc = paneDocument();
    addReportTools(doc);
    wireFormLinks(doc);
  }

  // A page's load; a fed page's start has its own load before the page is written, which
  // is not the page's.
  frame.addEventListener('load', function () {
    var feed = paneFeed();
    if (feed && feed.state !== 'done') return;
    takePane();
    pageLoading(false);
  });

  // A fed page: its head has been written (the tools go in before its rows), then all of it.
  frame.addEventListener('nimbofeed', function (event) {
    takePane();
    if (event.detail === 'done') pageLoading(false);
  });

  function openForm(form) {
    document.getElementById('formTitle').textContent =
        form.title ? form.title + ' entry form' : 'Entry form';
    document.getElementById('formNumber').textContent = form.nFrm;
    document.getElementById('formRecord').textContent = form.nID;
    var body = document.querySelector('#formFields tbody');
    body.replaceChildren();
    (form.fields || []).forEach(function (field) {
      var tr = document.createElement('tr');
      var th = document.createElement('th');
      th.scope = 'row';
      th.textContent = field[0];
      var td = document.createElement('td');
      td.textContent = field[1];
      tr.append(th, td);
      body.appendChild(tr);
    });
    document.getElementById('formFields').hidden = !(form.fields && form.fields.length);
    document.getElementById('formNote').hidden = !!(form.fields && form.fields.length);
    document.getElementById('formDialog').showModal();
  }

  // ---- Events: notices, audit trail, diagnostics ----

  function notice(text, kind) {
    var box = document.createElement('div');
    box.className = 'notice ' + (kind || 'error');
    box.setAttribute('role', kind === 'error' ? 'alert' : 'status');
    var p = document.createElement('p');
    p.textContent = text;
    var close = document.createElement('button');
    close.className = 'icon-button';
    close.type = 'button';
    close.setAttribute('aria-label', 'Dismiss');
    close.textContent = '×';
    close.addEventListener('click', function () { box.remove(); });
    box.append(p, close);
    document.getElementById('notices').appendChild(box);
    return box;
  }

  function logEntry(listId, time, type, text) {
    var list = document.getElementById(listId);
    var li = document.createElement('li');
    var meta = document.createElement('div');
    meta.className = 'meta';
    var when = document.createElement('time');
    var date = new Date(time || Date.now());
    when.dateTime = date.toISOString();
    when.textContent = date.toLocaleTimeString([], {hour: '2-digit', minute: '2-digit', second: '2-digit'});
    meta.appendChild(when);
    if (type) {
      var badge = document.createElement('span');
      badge.className = 'type type-' + type.replace(/[^A-Za-z-]/g, '');
      badge.textContent = type;
      meta.appendChild(badge);
    }
    var what = document.createElement('div');
    what.className = 'what';
    what.textContent = text;
    li.append(meta, what);
    list.prepend(li);
    while (list.children.length > 300) list.lastChild.remove();
    document.getElementById(listId === 'audit' ? 'auditEmpty' : 'diagEmpty').hidden = true;
  }

  function handle(event, live) {
    switch (event.event) {
      case 'NimboMessage':
      case 'HostMessage':
        // The component's messages are refusals and failures, but for the mail's success.
        if (!live) break;
        if (sendingNotice) sendingNotice.remove();
        sendingNotice = null;
        notice(event.sMessage, /Success/.test(event.sMessage) ? 'ok' : 'error');
        break;
      case 'LogIt':
        logEntry('audit', event.time, event.AType, event.ANarration);
        if (live && activityButton.getAttribute('aria-expanded') !== 'true') {
          unseen++;
          countUnseen();
        }
        break;
      case 'BlaBla':
        logEntry('diag', event.time, '', event.sBlaBla);
        break;
      case 'HostDiagnostic':
        logEntry('diag', event.time, '', event.sMessage);
        break;
      case 'Busy':
        // A Busy the drawn state already reflects is stale; and while this page waits for its
        // own change, the answer brings the tree that goes with the end of Busy (node indexes
        // shift when a display prunes a branch), so the tree stays disabled until it arrives.
        if (live && event.seq > stateSeq && pending === 0) {
          setBusy(event.IsBusy);
          // The work was another window's: fetch the tree it left, so that this one shows the
          // same nodes (and its next click names a node that still exists).
          if (!event.IsBusy) reload().catch(function () {});
        }
        break;
    }
  }

  function listen() {
    api('GET', '/api/events?wait=1&after=' + lastSeq).then(function (answer) {
      answer.events.forEach(function (event) {
        if (event.seq > lastSeq) handle(event, true);
      });
      lastSeq = Math.max(lastSeq, answer.seq);
      listen();
    }, lostServer);
  }

  // ---- Start ----

  api('GET', '/api/state').then(function (state) {
    applyState(state);
    return openAddress();
  }).then(function () {
    return api('GET', '/api/events?after=0');
  }).then(function (history) {
    // What happened before the page opened goes to the panels, not to notices.
    history.events.forEach(function (event) { handle(event, false); });
    lastSeq = history.seq;
    listen();
    treeBox.focus({preventScroll: true});
    document.body.dataset.ready = 'true';
  }).catch(function (error) {
    if (error && error.status === undefined) lostServer();  // no answer at all: wait for it
    else failed(error);
  });

  // ---- Addresses: the shown node's path in the fragment, Back and Forward ----

  // The path of a row from below the root, each label percent-encoded: #/Customers/Blue%20Door%20Bakery.
  function addressOf(i) {
    var labels = [];
    for (; i >= 0 && rows[i][1] > 0; i = info[i].parent) labels.unshift(encodeURIComponent(rows[i][2]));
    return '#/' + labels.join('/');
  }

  function rememberAddress(i) {
    var address = addressOf(i);
    if (address !== location.hash) history.pushState(null, '', address);
  }

  var MAX_STEPS = 64;  // deeper addresses are not walked: trees are not that deep
  var walking = false;

  function labelsOf(hash) {
    var text = hash.replace(/^#\/?/, '');
    if (!text) return [];
    return text.split('/').slice(0, MAX_STEPS).map(function (part) {
      try { return decodeURIComponent(part); } catch (e) { return part; }
    });
  }

  function childNamed(parentRow, label) {
    if (parentRow < 0) {
      for (var r = 0; r < rows.length; r++) if (rows[r][1] === 0) return r;
      return -1;
    }
    for (var i = parentRow + 1; i < rows.length && rows[i][1] > rows[parentRow][1]; i++) {
      if (info[i].parent === parentRow && rows[i][2] === label) return i;
    }
    return -1;
  }

  // The row reached by following `labels` from the root through the loaded rows, as far as
  // they go: {row, depth} where depth is how many labels were matched.
  function follow(labels) {
    var at = childNamed(-1, '');
    var depth = 0;
    while (at >= 0 && depth < labels.length) {
      var found = childNamed(at, labels[depth]);
      if (found < 0) break;
      at = found;
      depth++;
    }
    return {row: at, depth: depth};
  }

  // Shows the node the address names, displaying each node on the way as a click would, so
  // that the component loads the children of each; stops with a notice at a label not found.
  function openAddress() {
    if (!location.hash) {
      var selected = rows.filter(function (r) { return r[5]; })[0];
      if (selected) history.replaceState(null, '', addressOf(rowByIndex(selected[0])));
      return Promise.resolve();
    }
    var labels = labelsOf(location.hash);
    var tried = -1;  // the deepest node displayed to load its children
    walking = true;
    function next() {
      var reached = follow(labels);
      if (reached.row < 0) return null;
      if (reached.depth === labels.length) {
        return rows[reached.row][5] ? null : display(rows[reached.row][0], true);
      }
      if (reached.depth > tried && !rows[reached.row][5]) {
        // Its children may not be loaded yet: display it, which loads them, and look again.
        tried = reached.depth;
        return display(rows[reached.row][0], true).then(next);
      }
      notice('There is no node "' + labels[reached.depth] + '" here; the address was followed as far as it goes.', 'error');
      history.replaceState(null, '', addressOf(reached.row));
      return null;
    }
    return Promise.resolve().then(next).then(function () {
      walking = false;
      document.body.dataset.address = location.hash;
    }, function (error) {
      walking = false;
      throw error;
    });
  }

  window.addEventListener('popstate', function () {
    if (walking) return;
    if (busy) {
      // The tree is busy with another display: follow the address once it is done.
      queue.then(function () { openAddress(); });
      return;
    }
    openAddress().catch(failed);
  });

  // Replaces the report pane's page without a history entry of its own, so that Back and
  // Forward walk the shell's displays rather than the pane's loads.
  function framePage(address) {
    // A report page: a large one is fed to the pane's parser a piece at a time (feed.js).
    if (address.indexOf('/app/') === 0) address += (address.indexOf('?') < 0 ? '?' : '&') + 'feed=1';
    try { frame.contentWindow.location.replace(address); } catch (e) { frame.src = address; }
  }

  // ---- The report pane's loading bar, with Stop ----

  var loadingBar = document.getElementById('pageLoading');

  function pageLoading(on) {
    loadingBar.hidden = !on;
    document.querySelector('.frame-wrap').setAttribute('aria-busy', on ? 'true' : 'false');
  }
  document.getElementById('stopLoading').addEventListener('click', function () {
    // Ends the page's load; what has arrived stays shown.
    var feed = paneFeed();
    try {
      if (feed) feed.stop();
      else frame.contentWindow.stop();
    } catch (e) { frame.src = 'about:blank'; }
    pageLoading(false);
  });

  // ---- Filtering the loaded nodes ----

  var filterBox = document.getElementById('treeFilter');
  var filterText = '';

  // The rows whose label holds the filter text, with their ancestors, in tree order.
  function filtered() {
    var keep = new Uint8Array(rows.length);
    for (var i = 0; i < rows.length; i++) {
      if (rows[i][2].toLowerCase().indexOf(filterText) < 0) continue;
      for (var a = i; a >= 0 && !keep[a]; a = info[a].parent) keep[a] = 1;
    }
    var shown = [];
    for (i = 0; i < rows.length; i++) if (keep[i]) shown.push(i);
    return shown;
  }

  function setFilter(text) {
    filterText = text.trim().toLowerCase();
    analyse();
    if (visiblePos(activeIndex) < 0 && visible.length) activeIndex = rows[visible[0]][0];
    treeBox.scrollTop = 0;
    scrollIntoView(activeIndex);
    draw();
  }
  filterBox.addEventListener('input', function () { setFilter(filterBox.value); });
  filterBox.addEventListener('keydown', function (event) {
    if (event.key === 'Escape' && filterBox.value) {
      filterBox.value = '';
      setFilter('');
      event.preventDefault();
    }
  });

  // ---- Paging and type-ahead on the tree ----

  // The row a page away from visible row `v`: as many rows as the tree shows, less one.
  function pageStep(v, direction) {
    var page = Math.max(1, Math.floor(treeBox.clientHeight / ROW) - 1);
    return Math.max(0, Math.min(visible.length - 1, v + direction * page));
  }

  var typed = '';
  var typedTimer = 0;

  // Letters typed in quick succession name the next shown node starting with them; a pause
  // of a second starts afresh. A single letter moves on from the focused row, so that typing
  // it again steps through the nodes starting with it.
  function typeAhead(key, v) {
    typed += key.toLowerCase();
    clearTimeout(typedTimer);
    typedTimer = setTimeout(function () { typed = ''; }, 1000);
    var from = typed.length === 1 ? v + 1 : v;
    for (var n = 0; n < visible.length; n++) {
      var r = rows[visible[(from + n) % visible.length]];
      if (r[2].toLowerCase().lastIndexOf(typed, 0) === 0) {
        setActive(r[0]);
        return;
      }
    }
  }

  // ---- Mail permission ----

  function showMailPermission(canMail) {
    var button = document.getElementById('mail');
    button.setAttribute('aria-disabled', canMail ? 'false' : 'true');
    button.title = canMail ? 'Mail the shown page' : 'Mail is off: this host was started without --can-mail';
    if (canMail) button.removeAttribute('aria-describedby');
    else button.setAttribute('aria-describedby', 'mailOff');
    document.getElementById('mailOff').hidden = canMail;
  }

  // ---- Reconnecting after the server went away ----

  var retryDelay = 0;
  var banner = null;

  // Polls the server with a growing pause (at most 15 s) until it answers, then reloads the
  // tree, the page and the events, as a restarted server remembers none of this page's past.
  function lostServer() {
    if (!banner) {
      banner = document.createElement('div');
      banner.id = 'reconnecting';
      banner.className = 'banner';
      banner.setAttribute('role', 'status');
      banner.textContent = 'Reconnecting…';
      document.body.appendChild(banner);
    }
    retryDelay = Math.min(15000, retryDelay ? retryDelay * 2 : 500);
    setTimeout(function () {
      api('GET', '/api/state').then(function (state) {
        retryDelay = 0;
        banner.remove();
        banner = null;
        page = null;  // the same address may now hold a new page
        stateSeq = 0;  // a restarted server counts its events from the start again
        lastSeq = 0;
        applyState(state);
        notice('Reconnected', 'ok');
        return api('GET', '/api/events?after=0').then(function (history) {
          lastSeq = history.seq;
          stateSeq = Math.min(stateSeq, history.seq);
          listen();
          document.body.dataset.ready = 'true';
        });
      }).catch(lostServer);
    }, retryDelay);
  }
})();
