// Draws the property page pPage1 from the component's model (positions in twips, 15 to a
// pixel), lets the developer type into its boxes, and applies them through the component.
(function () {
  'use strict';

  var body = document.getElementById('page');
  var apply = document.getElementById('apply');
  var status = document.getElementById('status');
  var model = null;

  function px(twips) { return (twips / model.twipsPerPixel) + 'px'; }

  function say(text, kind) {
    status.textContent = text;
    status.className = 'status' + (kind ? ' ' + kind : '');
    status.setAttribute('role', kind === 'error' ? 'alert' : 'status');
  }

  function draw(page) {
    model = page;
    document.getElementById('caption').textContent = page.caption;
    document.title = page.caption;
    document.getElementById('file').textContent =
        page.file ? 'Saves to ' + page.file : 'No property file (--form): changes are not saved';
    body.replaceChildren();
    var right = 0, bottom = 0;
    var placed = [];
    page.controls.forEach(function (control, n) {
      var el;
      if (control.kind === 'label') {
        el = document.createElement('label');
        el.textContent = control.caption;
        var next = page.controls[n + 1];  // a label names the box below it
        if (next && next.kind === 'textbox') el.htmlFor = next.name;
      } else {
        el = document.createElement('input');
        el.type = 'text';
        el.id = el.name = control.name;
        el.value = page.texts[control.name] || '';
        el.autocomplete = 'off';
        el.spellcheck = false;
        el.addEventListener('input', function () {
          apply.disabled = false;
          el.removeAttribute('aria-invalid');
        });
      }
      el.dataset.control = control.name;
      el.style.left = px(control.left);
      el.style.top = px(control.top);
      el.style.width = px(control.width);
      el.style.height = px(control.height);
      placed.push({el: el, order: control.tabIndex, n: n});
      right = Math.max(right, control.left + control.width);
      bottom = Math.max(bottom, control.top + control.height);
    });
    // The controls stand at their own positions; the document order is the page's tab order,
    // so the keyboard and screen readers take them in that order without tabindex values.
    placed.sort(function (a, b) { return a.order - b.order || a.n - b.n; });
    placed.forEach(function (p) { body.appendChild(p.el); });
    body.style.width = px(right + 90);
    body.style.height = px(bottom + 120);
  }

  function load() {
    return fetch('/api/design').then(function (r) { return r.json(); }).then(draw);
  }

  document.getElementById('sheet').addEventListener('submit', function (event) {
    event.preventDefault();
    apply.disabled = true;
    fetch('/api/design', {
      method: 'POST',
      headers: {'Content-Type': 'application/json', 'X-Nimbo-Request': '1'},
      body: JSON.stringify({
        txtActivePort: document.getElementById('txtActivePort').value,
        txtDAMode: document.getElementById('txtDAMode').value
      })
    }).then(function (r) { return r.json(); }).then(function (answer) {
      if (answer.error) {
        // Keep what was typed so the developer can correct it.
        say(answer.error, 'error');
        apply.disabled = false;
        return;
      }
      draw(answer);
      say(answer.saved ? 'Applied and saved to ' + answer.saved : 'Applied.', 'ok');
    }, function (error) {
      say(String(error), 'error');
      apply.disabled = false;
    });
  });

  load().then(function () { document.body.dataset.ready = 'true'; });
})();
