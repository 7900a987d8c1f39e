// Node images of the tree, drawn for this host: one small icon per image key the navigation
// rows name ("Net" for the root, "group" for rows without a key of their own), and a plain
// document for any key this host does not know.
(function () {
  'use strict';
  function icon(colour, body) {
    return '<svg viewBox="0 0 20 20" aria-hidden="true" class="node-icon" color="' + colour + '">' +
        body + '</svg>';
  }
  var icons = {
    Net: icon('#2f6fde', '<ellipse cx="10" cy="5" rx="6" ry="2.4"/><path d="M4 5v10c0 1.3 2.7 2.4 6 2.4s6-1.1 6-2.4V5M4 10c0 1.3 2.7 2.4 6 2.4s6-1.1 6-2.4"/>'),
    group: icon('#d69e2e', '<path class="fill" d="M2.5 5.5a1.5 1.5 0 0 1 1.5-1.5h3.6l1.8 2h6.6a1.5 1.5 0 0 1 1.5 1.5v7a1.5 1.5 0 0 1-1.5 1.5H4a1.5 1.5 0 0 1-1.5-1.5z"/>'),
    globe: icon('#0f9d8a', '<circle cx="10" cy="10" r="7"/><path d="M3 10h14M10 3c2.2 2 3 4.4 3 7s-.8 5-3 7c-2.2-2-3-4.4-3-7s.8-5 3-7z"/>'),
    shop: icon('#c05621', '<path d="M3 8l1.4-4h11.2L17 8M3 8h14v1.2a2.3 2.3 0 0 1-4.6 0 2.3 2.3 0 0 1-4.8 0A2.3 2.3 0 0 1 3 9.2zM4.5 11v5.5h11V11M8.5 16.5V13h3v3.5"/>'),
    people: icon('#805ad5', '<circle cx="7.5" cy="7" r="2.6"/><path d="M2.5 16c.4-2.8 2.4-4.3 5-4.3s4.6 1.5 5 4.3"/><circle cx="13.8" cy="7.6" r="2.1"/><path d="M13.4 11.7c2.2 0 3.7 1.3 4.1 3.8"/>'),
    card: icon('#805ad5', '<rect x="2.5" y="4" width="15" height="12" rx="2"/><circle cx="7.2" cy="9" r="1.8"/><path d="M4.6 13.4c.5-1.4 1.4-2 2.6-2s2.1.6 2.6 2M11.5 8h4M11.5 11h3"/>'),
    box: icon('#b7791f', '<path d="M10 2.8l7 3.5v7.4l-7 3.5-7-3.5V6.3zM3 6.3l7 3.5 7-3.5M10 9.8v7.4"/>'),
    product: icon('#dd6b20', '<path d="M6 6.5V5.5a4 4 0 0 1 8 0v1M3.8 6.5h12.4l-1 10.5H4.8z"/>'),
    tags: icon('#38a169', '<path d="M3 3.5h6l8 8-5.5 5.5-8-8z"/><circle cx="6.6" cy="7" r="1.2"/>'),
    tag: icon('#38a169', '<path d="M3.5 10.5V4h6.5l7 7-6.5 6.5z"/><circle cx="7" cy="7.5" r="1.2"/>'),
    lock: icon('#e53e3e', '<rect x="4" y="9" width="12" height="8.5" rx="1.8"/><path d="M6.8 9V6.6a3.2 3.2 0 0 1 6.4 0V9M10 12.4v2"/>'),
    chart: icon('#3182ce', '<path d="M3 17h14M5.5 14V9.5M9.5 14V5.5M13.5 14v-6"/>'),
    clock: icon('#dd6b20', '<circle cx="10" cy="10" r="7"/><path d="M10 5.8V10l3 2"/>')
  };
  var fallback = icon('#718096', '<path d="M5 2.8h6.5L15 6.3v10.9H5zM11.5 2.8v3.5H15M7.5 10h5M7.5 13h5"/>');
  window.NimboIcons = {
    // Markup for an image key; only keys from the table above reach the page as markup.
    forKey: function (key) {
      return Object.prototype.hasOwnProperty.call(icons, key) ? icons[key] : fallback;
    }
  };
})();
