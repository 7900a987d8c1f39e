// The start of a large report page in the pane: fetches the page and hands it to this
// document's parser a short piece at a time, so that no task parses for long. Left to itself
// the browser parses what has arrived in tasks of up to half a second, and a click that comes
// meanwhile (on a drill-down toggle of the rows already shown) waits for the task to end; here
// the parser gets a few milliseconds of text per task and the click comes in between.
//
// The document stays the page's: this script runs in the document it opens, so its address is
// the page's (without the feed mark), relative links and pictures resolve as the page's own,
// and the page's scripts run as it is written. window.nimboFeed tells the host how far the feed
// is ("waiting", "writing", "done") and lets it stop the feed; the host hears of each change by
// a "nimbofeed" event on the frame element. If the page cannot be fetched, it is loaded as any
// page is.
(function () {
  'use strict';
  var SLICE_MS = 6;     // writing per task
  var PIECE = 16384;    // characters per write: a slice can end soon after its time is up

  var address = new URL(location.href);
  address.searchParams.delete('feed');
  var page = address.pathname + address.search + address.hash;
  history.replaceState(history.state, '', page);

  var feed = window.nimboFeed = {state: 'waiting', stop: stop};
  var reader = null;
  // The page is read as fast as it comes, ahead of the parser: it is no larger than the file
  // the server holds, and reading it only as fast as it was written (1 MB ahead) made the worst
  // click while loading slower (145-341 ms against 90-105 ms), the end of the response and
  // the collector's work coming amid the clicks instead of before them.
  var pending = [];    // texts that have arrived and are not yet written
  var at = 0;          // how much of pending[0] is written
  var ended = false;   // everything has arrived
  var pumpQueued = false;
  var told = false;    // the host has heard that the page is being written
  var channel = new MessageChannel();  // unlike timers, not slowed down when chained

  function tell(state) {
    feed.state = state;
    var frame = window.frameElement;
    if (frame) frame.dispatchEvent(new CustomEvent('nimbofeed', {detail: state}));
  }

  function charsetOf(response) {
    var match = /charset\s*=\s*"?([\w.:-]+)/i.exec(response.headers.get('Content-Type') || '');
    return match ? match[1] : 'utf-8';
  }

  function decoder(response) {
    try { return new TextDecoderStream(charsetOf(response)); } catch (e) {
      return new TextDecoderStream('utf-8');
    }
  }

  // Writing stops for good once the document has no parser any more (stopped, or closed by
  // a script of the page): a write then would open a new, empty document in its place.
  function writable() {
    return feed.state === 'writing' && document.readyState === 'loading';
  }

  function pump() {
    pumpQueued = false;
    var end = performance.now() + SLICE_MS;
    while (writable() && pending.length && performance.now() < end) {
      var text = pending[0];
      var cut = Math.min(text.length, at + PIECE);
      // Never between the two halves of a character outside the basic plane.
      var last = text.charCodeAt(cut - 1);
      if (cut < text.length && last >= 0xd800 && last <= 0xdbff) cut--;
      document.write(text.slice(at, cut));
      if (cut === text.length) {
        pending.shift();
        at = 0;
      } else {
        at = cut;
      }
    }
    if (!writable()) return finish();  // stopped, or the parser was ended from elsewhere
    if (!told) {
      told = true;  // the page's head is in: the host can add its tools
      tell('writing');
    }
    if (pending.length) queuePump();
    else if (ended) finish();
  }

  function queuePump() {
    if (pumpQueued) return;
    pumpQueued = true;
    channel.port2.postMessage(0);
  }
  channel.port1.onmessage = pump;

  // No more of the page is read or written.
  function drop() {
    pending = [];
    if (!ended && reader) reader.cancel().catch(function () {});
    ended = true;
  }

  function finish() {
    if (feed.state !== 'writing') return;
    drop();
    if (document.readyState === 'loading') document.close();
    told = true;
    tell('done');
  }

  // Ends the feed where it is: what has been written stays, as when a load is stopped.
  function stop() {
    if (feed.state === 'writing') {
      finish();
    } else if (feed.state === 'waiting') {
      drop();
      tell('done');
    }
  }

  function read() {
    reader.read().then(function (chunk) {
      if (feed.state === 'done') return;
      if (chunk.done) {
        ended = true;
        if (!pending.length) finish();
        return;
      }
      if (chunk.value) {
        pending.push(chunk.value);
        queuePump();
      }
      read();
    }, function () {
      // The connection failed part way: what arrived is the page, as the browser would show it.
      ended = true;
      if (!pending.length) finish();
    });
  }

  fetch(page).then(function (response) {
    if (feed.state === 'done') return;
    if (!response.ok || !response.body) throw new Error('not a page');
    reader = response.body.pipeThrough(decoder(response)).getReader();
    document.open();
    feed.state = 'writing';
    read();
  }).catch(function () {
    if (feed.state === 'waiting') location.replace(page);
  });
})();
