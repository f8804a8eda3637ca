#include "Views/PageScripts.h"

namespace {

// Whether the page's style hides an element from the reader: not displayed, invisible,
// transparent, of no size, shrunk to nothing, moved off the page or clipped away. Needs
// `width` and `height`, the page's size.
const char* const hiddenCheck = R"(
  const hidden = (element, style) => {
    if (style.display === 'contents') return false;
    const box = element.getBoundingClientRect();
    const left = box.left + window.scrollX, top = box.top + window.scrollY;
    const transparent = /rgba\(.*,\s*0\)$/.test(style.color) || style.color === 'transparent';
    const clipped = (style.clip !== 'auto' && style.clip !== '' &&
                     (style.position === 'absolute' || style.position === 'fixed')) ||
                    style.clipPath !== 'none';
    const empty = (box.width === 0 && box.height === 0 && element.tagName !== 'BR') ||
                  ((box.width === 0 || box.height === 0) && style.overflow !== 'visible');
    return style.display === 'none' || style.visibility !== 'visible' ||
           parseFloat(style.opacity) === 0 || parseFloat(style.fontSize) === 0 ||
           transparent || clipped || empty ||
           left + box.width <= 0 || top + box.height <= 0 || left >= width || top >= height;
  };
)";

const char* const pageSize = R"(
  const page = document.documentElement;
  const width = Math.max(page.scrollWidth, page.clientWidth);
  const height = Math.max(page.scrollHeight, page.clientHeight);
)";

// The hidden elements are taken out for the moment the text is read, then put back as
// they were.
const char* const selectionBody = R"(
  const selection = window.getSelection();
  if (!selection || selection.rangeCount === 0) return '';
  const range = selection.getRangeAt(0);
  let root = range.commonAncestorContainer;
  if (root.nodeType !== Node.ELEMENT_NODE) root = root.parentElement;
  if (!root) return selection.toString();
  const taken = [];
  const walker = document.createTreeWalker(root, NodeFilter.SHOW_ELEMENT);
  for (let element = root; element; element = walker.nextNode()) {
    if (element === document.body || !range.intersectsNode(element) ||
        !hidden(element, getComputedStyle(element)))
      continue;
    taken.push([element, element.style.getPropertyValue('display'),
                element.style.getPropertyPriority('display')]);
  }
  for (const [element] of taken) element.style.setProperty('display', 'none', 'important');
  const text = selection.toString();
  for (const [element, value, priority] of taken) {
    if (value) element.style.setProperty('display', value, priority);
    else element.style.removeProperty('display');
  }
  return text;
)";

// One walk over the shown elements. Outside lists, tables, quotes and headings the text
// goes into paragraphs of their own, so the result is a run of top-level blocks that can
// be cut anywhere between them; a list or table larger than four parts is closed and opened
// again between its items or rows. Nesting is bounded: two tables, four lists, four quotes
// and eight inline elements deep, whatever the page nests.
const char* const readableBody = R"(
  const partSize = 65536;
  const inlineTags = new Set(['A', 'B', 'STRONG', 'I', 'EM', 'U', 'S', 'DEL', 'INS', 'CODE',
                              'KBD', 'SAMP', 'TT', 'VAR', 'SUB', 'SUP', 'MARK', 'SMALL',
                              'CITE', 'DFN', 'Q']);
  const limits = {table: 2, list: 4, quote: 4, leaf: 1};
  const depth = {table: 0, list: 0, quote: 0, leaf: 0};
  const escaped = (text) => text.replace(/[&<>"]/g,
      (c) => ({'&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;'})[c]);
  const parts = [];
  let html = '';
  const open = [];        // the lists, tables, quotes and headings written and not closed
  let inlines = [];       // the inline elements around the text, within the innermost of them
  let inlinesShown = false;
  let paragraph = false;  // a paragraph of top-level text is open
  let fresh = true;       // nothing written since the last block started
  let preformatted = 0;

  const closeInlines = () => {
    if (!inlinesShown) return;
    for (let i = inlines.length - 1; i >= 0; --i) html += '</' + inlines[i].tag + '>';
    inlinesShown = false;
  };
  const write = (text) => {
    if (open.length === 0 && !paragraph) {
      html += '<p>';
      paragraph = true;
    }
    if (!inlinesShown) {
      for (const inline of inlines) html += inline.opening;
      inlinesShown = true;
    }
    html += text;
    fresh = false;
  };
  const cut = () => {
    if (html.length < partSize) return;
    parts.push(html);
    html = '';
  };
  const blockBreak = () => {
    closeInlines();
    if (open.length === 0) {
      if (paragraph) html += '</p>';
      paragraph = false;
      cut();
    } else if (!fresh) {
      html += '<br>';
    }
    fresh = true;
  };
  const openingOf = (frame) =>
      frame.tag === 'ol' ? '<ol start="' + (frame.start + frame.items) + '">' : frame.opening;
  const cutInside = () => {
    if (html.length < 4 * partSize) return;
    for (let i = open.length - 1; i >= 0; --i) html += '</' + open[i].tag + '>';
    parts.push(html);
    html = open.map(openingOf).join('');
  };
  const enter = (kind, tag, opening) => {
    closeInlines();
    if (open.length === 0 && paragraph) {
      html += '</p>';
      paragraph = false;
    }
    if (open.length === 0) cut();
    const frame = {kind, tag, opening, inlines, start: 1, items: 0};
    html += opening;
    open.push(frame);
    depth[kind] = (depth[kind] || 0) + 1;
    inlines = [];
    fresh = true;
    return frame;
  };
  const leave = (frame) => {
    closeInlines();
    html += '</' + frame.tag + '>';
    open.pop();
    depth[frame.kind] -= 1;
    inlines = frame.inlines;
    fresh = true;
    const parent = open[open.length - 1];
    if (frame.kind === 'item' && parent) parent.items += 1;
    if (open.length === 0) cut();
    else if (frame.kind === 'item' || frame.kind === 'row') cutInside();
  };
  const number = (element, name) => {
    const value = parseInt(element.getAttribute(name) || '1', 10);
    return Number.isFinite(value) ? Math.min(Math.max(value, 1), 50) : 1;
  };
  // What an element becomes when written as itself: its kind and opening tag.
  const structure = (element, tag) => {
    const innermost = open[open.length - 1];
    const within = (kind) => innermost && innermost.kind === kind;
    const allowed = (kind) => depth.leaf === 0 && depth[kind] < limits[kind];
    if (/^H[1-6]$/.test(tag) || tag === 'PRE')
      return allowed('leaf') ? ['leaf', tag.toLowerCase()] : null;
    if (tag === 'TABLE') return allowed('table') ? ['table', 'table'] : null;
    if (tag === 'TR') return within('table') ? ['row', 'tr'] : null;
    if (tag === 'TD' || tag === 'TH')
      return within('row') ? ['cell', tag.toLowerCase(), ' colspan="' + number(element, 'colspan') +
                                 '" rowspan="' + number(element, 'rowspan') + '"'] : null;
    if (tag === 'UL' || tag === 'OL') return allowed('list') ? ['list', tag.toLowerCase()] : null;
    if (tag === 'LI') return within('list') ? ['item', 'li'] : null;
    if (tag === 'BLOCKQUOTE') return allowed('quote') ? ['quote', 'blockquote'] : null;
    return null;
  };

  const walk = (node) => {
    for (let child = node.firstChild; child; child = child.nextSibling) {
      if (child.nodeType === Node.TEXT_NODE) text(child.data);
      else if (child.nodeType === Node.ELEMENT_NODE) element(child);
    }
  };
  const text = (data) => {
    if (preformatted === 0 && !/\S/.test(data)) {
      if (!fresh) write(' ');
      return;
    }
    write(escaped(data));
  };
  const element = (element) => {
    const tag = element.tagName.toUpperCase();
    if (tag === 'BR') {
      write('<br>');
      return;
    }
    const style = getComputedStyle(element);
    if (hidden(element, style)) return;
    if (tag === 'IMG') {
      const words = (element.getAttribute('alt') || '').trim();
      if (words) write(' ' + escaped(words) + ' ');
      return;
    }
    const innermost = open[open.length - 1];
    if ((tag === 'THEAD' || tag === 'TBODY' || tag === 'TFOOT') && innermost &&
        innermost.kind === 'table') {
      walk(element);
      return;
    }
    const written = structure(element, tag);
    if (written) {
      const [kind, name, attributes] = written;
      const frame = enter(kind, name, '<' + name + (attributes || '') + '>');
      if (name === 'ol') {
        frame.start = Math.max(1, Math.min(element.start || 1, 1e9));
        frame.opening = openingOf(frame);
      }
      if (name === 'pre') preformatted += 1;
      walk(element);
      if (name === 'pre') preformatted -= 1;
      leave(frame);
      return;
    }
    const display = style.display;
    if (!display.startsWith('inline') && display !== 'contents' && !display.startsWith('ruby')) {
      blockBreak();
      if (tag === 'HR' && open.length === 0) html += '<hr>';
      walk(element);
      blockBreak();
      return;
    }
    const href = tag === 'A' ? element.getAttribute('href') : null;
    const inlined = inlineTags.has(tag) && inlines.length < 8 && (tag !== 'A' || href !== null) &&
                    !inlines.some((inline) => inline.tag === 'a' && tag === 'A');
    if (!inlined) {
      walk(element);
      return;
    }
    const name = tag.toLowerCase();
    const inline = {tag: name,
                    opening: '<' + name + (href !== null ? ' href="' + escaped(href) + '"' : '') + '>'};
    inlines.push(inline);
    if (inlinesShown) html += inline.opening;
    walk(element);
    inlines.pop();
    if (inlinesShown) html += '</' + name + '>';
  };

  if (document.body) walk(document.body);
  blockBreak();
  for (let i = open.length - 1; i >= 0; --i) html += '</' + open[i].tag + '>';
  if (html) parts.push(html);
  return parts;
)";

// Text of elements the reader sees, in document order. Whether an element shows is asked
// once; ancestors are looked at from the top down, however deep the page nests.
const char* const shownTextBody = R"(
  const known = new Map();
  const unseen = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE', 'TITLE']);
  const visible = (element) => {
    const chain = [];
    let at = element;
    while (at && at !== document.documentElement && !known.has(at)) {
      chain.push(at);
      at = at.parentElement;
    }
    let shown = at && known.has(at) ? known.get(at) : true;
    for (let i = chain.length - 1; i >= 0; --i) {
      const e = chain[i];
      shown = shown && !unseen.has(e.tagName.toUpperCase()) && !hidden(e, getComputedStyle(e));
      known.set(e, shown);
    }
    return shown;
  };
  const nodes = [], starts = [];
  let text = '';
  if (document.body) {
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      if (!visible(node.parentElement)) continue;
      nodes.push(node);
      starts.push(text.length);
      text += node.data;
    }
  }
  window.lumbraText = {nodes, starts, length: text.length};
  return text;
)";

// Each mark is drawn as boxes over its pieces of text (never over whole elements), in a
// layer that multiplies (light) or screens (dark) its colour into the page, so the text
// keeps its contrast.
const char* const marksBody = R"(
  if (window.lumbraMarks) {
    window.lumbraMarks.observer.disconnect();
    window.lumbraMarks.host.remove();
  }
  window.lumbraMarks = null;
  // Without quotes the text was not read: the layer comes all the same.
  const source = window.lumbraText || {nodes: [], starts: [], length: 0};
  const {nodes, starts} = source;
  const nodeAt = (offset) => {
    let low = 0, high = starts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (starts[middle] <= offset) low = middle; else high = middle - 1;
    }
    return low;
  };
  // Bounded whatever the note holds: the same long passage quoted many times over would
  // otherwise have the page draw the article many times over.
  let budget = 50000;
  const marks = spans.filter(([start, length]) => length > 0 && start + length <= source.length)
      .map(([start, length]) => {
        const first = nodeAt(start), last = nodeAt(start + length - 1);
        const pieces = [];
        for (let i = first; i <= last && budget > 0; ++i, --budget) {
          const from = i === first ? start - starts[i] : 0;
          const to = i === last ? start + length - starts[i] : nodes[i].data.length;
          if (to > from) pieces.push([nodes[i], from, to]);
        }
        return pieces;
      }).filter((pieces) => pieces.length > 0);
  const host = document.createElement('div');
  host.setAttribute('style', 'all: initial !important; display: block !important; ' +
      'position: absolute !important; left: 0 !important; top: 0 !important; ' +
      'width: 0 !important; height: 0 !important; overflow: visible !important; ' +
      'pointer-events: none !important; z-index: 2147483647 !important; ' +
      'mix-blend-mode: ' + (dark ? 'screen' : 'multiply') + ' !important;');
  const root = host.attachShadow({mode: 'closed'});
  document.documentElement.appendChild(host);
  const fill = dark ? '#5c4a00' : '#ffe066', ring = dark ? '#ffd700' : '#8a6d00';
  const state = {host, marks, current: -1};
  state.draw = () => {
    // One range for all: the document keeps every live range current as it changes.
    const boxes = document.createDocumentFragment();
    const range = document.createRange();
    const x = window.scrollX, y = window.scrollY;
    marks.forEach((pieces, index) => {
      for (const [node, from, to] of pieces) {
        if (!node.isConnected) continue;
        range.setStart(node, from);
        range.setEnd(node, to);
        for (const rect of range.getClientRects()) {
          const box = document.createElement('div');
          box.style.cssText = 'position: absolute; left: ' + (rect.left + x) + 'px; top: ' +
              (rect.top + y) + 'px; width: ' + rect.width + 'px; height: ' + rect.height +
              'px; background: ' + fill + ';' +
              (index === state.current ? ' outline: 2px solid ' + ring + ';' : '');
          boxes.appendChild(box);
        }
      }
    });
    range.detach();
    state.boxes = boxes.childNodes.length;
    root.replaceChildren(boxes);
    return marks.length;
  };
  // The text flows anew when the page changes size (the window, an image that arrived):
  // the marks follow it.
  state.observer = new ResizeObserver(() => state.draw());
  state.observer.observe(document.documentElement);
  if (document.body) state.observer.observe(document.body);
  window.lumbraMarks = state;
  return state.draw();
)";

const char* const revealBody = R"(
  const state = window.lumbraMarks;
  if (!state || index < 0 || index >= state.marks.length) return -1;
  state.current = index;
  const [node, from, to] = state.marks[index][0];
  const range = document.createRange();
  range.setStart(node, from);
  range.setEnd(node, to);
  const box = range.getBoundingClientRect();
  window.scrollTo(window.scrollX, box.top + window.scrollY - window.innerHeight / 3);
  return state.draw();
)";

QString wrapped(const char* body)
{
    return QStringLiteral("(() => {") + QLatin1StringView(pageSize) +
           QLatin1StringView(hiddenCheck) + QLatin1StringView(body) + QStringLiteral("})()");
}

} // namespace

namespace PageScripts {

QString visibleSelection()
{
    static const QString script = wrapped(selectionBody);
    return script;
}

QString readableParts()
{
    static const QString script = wrapped(readableBody);
    return script;
}

QString shownText()
{
    static const QString script = wrapped(shownTextBody);
    return script;
}

QString marks(const QList<Highlights::Span>& spans, bool dark)
{
    QStringList pairs;
    pairs.reserve(spans.size());
    for (const Highlights::Span& span : spans)
        pairs << u'[' + QString::number(span.start) + u',' + QString::number(span.length) + u']';
    return QStringLiteral("(() => { const spans = [") + pairs.join(u',') +
           QStringLiteral("]; const dark = ") +
           (dark ? QStringLiteral("true") : QStringLiteral("false")) + u';' +
           QLatin1StringView(marksBody) + QStringLiteral("})()");
}

QString reveal(int index)
{
    return QStringLiteral("(() => { const index = ") + QString::number(index) + u';' +
           QLatin1StringView(revealBody) + QStringLiteral("})()");
}

} // namespace PageScripts
