// The report's script: draws the charts (uPlot) from the data corvane-log wrote into the page, and
// keeps the RMS and peak of the span on screen as the user zooms and pans. Nothing is fetched.
(function () {
  'use strict';
  const root = document.documentElement;
  const data = JSON.parse(document.getElementById('corvane-data').textContent);
  const stats = data.stats;

  // ---- the data ------------------------------------------------------------------------------

  function buffer(base64) {
    const text = atob(base64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    return bytes.buffer;
  }
  const GUIDED = 0, LOST = 1, UNREADABLE = 2;
  const t = new Float64Array(buffer(data.cycles.t));
  const xoff = new Float64Array(buffer(data.cycles.xoff));
  const yoff = new Float64Array(buffer(data.cycles.yoff));
  const xtim = new Float32Array(buffer(data.cycles.xtim));
  const ytim = new Float32Array(buffer(data.cycles.ytim));
  const use = new Uint8Array(buffer(data.cycles.use));
  const n = t.length;

  const arcsec = data.scale != null;
  const scale = arcsec ? data.scale : 1;
  const unitName = arcsec ? 'arcsec' : 'px';
  const unitSymbol = arcsec ? '\u2033' : ' px';
  const decimals = arcsec ? 2 : 3;
  const mount = data.axes != null;
  const names = mount ? ['ra', 'dec'] : ['x', 'y'];
  const labels = mount ? ['RA', 'Dec'] : ['X', 'Y'];

  // The offsets in the axes the figures are taken in, as corvane-log turns them (InMountAxes).
  const a = new Float64Array(n), b = new Float64Array(n);
  if (mount) {
    const kDegree = Math.PI / 180;
    const angle = data.axes.angle * kDegree;
    const c = Math.cos(angle), s = Math.sin(angle);
    for (let i = 0; i < n; i++) {
      const x = xoff[i] * c + yoff[i] * s;
      a[i] = data.axes.reverseX ? -x : x;
      b[i] = yoff[i] * c - xoff[i] * s;
    }
  } else {
    a.set(xoff);
    b.set(yoff);
  }

  // RMS about the mean and the largest distance from it, over the guided cycles first..last
  // (indices, inclusive): the definition of the run's figures.
  function spanFigures(first, last) {
    let count = 0, sa = 0, sb = 0;
    for (let i = first; i <= last; i++) {
      if (use[i] !== GUIDED) continue;
      count++;
      sa += a[i];
      sb += b[i];
    }
    if (count === 0) return { count: 0 };
    const ma = sa / count, mb = sb / count;
    let qa = 0, qb = 0, q = 0, pa = 0, pb = 0, p = 0;
    for (let i = first; i <= last; i++) {
      if (use[i] !== GUIDED) continue;
      const da = a[i] - ma, db = b[i] - mb;
      const d2 = da * da + db * db;
      qa += da * da;
      qb += db * db;
      q += d2;
      pa = Math.max(pa, Math.abs(da));
      pb = Math.max(pb, Math.abs(db));
      p = Math.max(p, Math.sqrt(d2));
    }
    return {
      count,
      [names[0]]: { rms: Math.sqrt(qa / count), peak: pa },
      [names[1]]: { rms: Math.sqrt(qb / count), peak: pb },
      total: { rms: Math.sqrt(q / count), peak: p },
    };
  }

  // ---- text ----------------------------------------------------------------------------------

  function clock(seconds) {
    const s = Math.round(seconds);
    const h = Math.floor(s / 3600), m = Math.floor((s % 3600) / 60);
    return h + ':' + String(m).padStart(2, '0') + ':' + String(s % 60).padStart(2, '0');
  }
  const timed = data.time === 'seconds';
  const timeText = v => (timed ? clock(v) : 'cycle ' + Math.round(v));
  const periodText = v => {
    if (!timed) return +v.toPrecision(3) + ' cycles';
    return v >= 120 ? +(v / 60).toPrecision(3) + ' min' : +v.toPrecision(3) + ' s';
  };
  function figure(name, text) {
    const element = document.querySelector('[data-figure="' + name + '"]');
    if (element) element.textContent = text;
  }

  // ---- colours and charts --------------------------------------------------------------------

  let colors = {};
  function readColors() {
    const css = getComputedStyle(root);
    for (const name of ['fg', 'muted', 'grid', 'a', 'b', 'pulse-a', 'pulse-b', 'lost', 'unreadable',
                        'not-used', 'mark', 'line']) {
      colors[name] = css.getPropertyValue('--' + name).trim();
    }
  }
  function axis(extra) {
    return Object.assign({
      stroke: colors.fg,
      grid: { stroke: colors.grid, width: 1 },
      ticks: { stroke: colors.grid, width: 1 },
    }, extra);
  }
  const widthOf = element => Math.max(200, Math.floor(element.clientWidth || 800));

  // Charts are made by functions so that a change of theme or size makes them afresh.
  const charts = [];
  function chart(element, make) {
    const entry = { element, make, plot: null };
    entry.build = () => {
      if (entry.plot) entry.plot.destroy();
      entry.plot = make(element);
      return entry.plot;
    };
    charts.push(entry);
    return entry;
  }

  // ---- the guide graph -----------------------------------------------------------------------

  const cycle = n > 1 ? (t[n - 1] - t[0]) / (n - 1) : 1;
  const full = [t[0] - cycle / 2, t[n - 1] + cycle / 2];
  const bands = [];  // runs of lost or unreadable cycles: [first, last, use]
  for (let i = 0; i < n;) {
    if (use[i] === GUIDED) { i++; continue; }
    let j = i;
    while (j + 1 < n && use[j + 1] === use[i]) j++;
    bands.push([i, j, use[i]]);
    i = j + 1;
  }
  const seriesA = new Array(n), seriesB = new Array(n), pulseA = new Array(n), pulseB = new Array(n);
  for (let i = 0; i < n; i++) {
    const guided = use[i] === GUIDED;
    seriesA[i] = guided ? a[i] * scale : null;
    seriesB[i] = guided ? b[i] * scale : null;
    // A lost cycle issues no pulse; an unreadable row has none to show.
    pulseA[i] = guided ? xtim[i] : null;
    pulseB[i] = guided ? ytim[i] : null;
  }

  // The first cycle at or after a time, and the last at or before it (t ascends).
  function firstFrom(value) {
    let lo = 0, hi = n;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (t[mid] < value) lo = mid + 1; else hi = mid; }
    return lo;
  }
  function lastUpTo(value) {
    let lo = 0, hi = n;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (t[mid] <= value) lo = mid + 1; else hi = mid; }
    return lo - 1;
  }

  let view = full.slice();  // the span on screen, kept across rebuilds
  function showSpan(u) {
    const min = u.scales.x.min, max = u.scales.x.max;
    view = [min, max];
    const first = Math.max(0, firstFrom(min)), last = Math.min(n - 1, lastUpTo(max));
    figure('span-first-cycle', last >= first ? String(first + 1) : '\u2013');
    figure('span-last-cycle', last >= first ? String(last + 1) : '\u2013');
    figure('span-from', last >= first ? timeText(t[first]) : '\u2013');
    figure('span-to', last >= first ? timeText(t[last]) : '\u2013');
    const f = last >= first ? spanFigures(first, last) : { count: 0 };
    figure('span-guided-cycles', String(f.count));
    for (const name of [names[0], names[1], 'total']) {
      for (const what of ['rms', 'peak']) {
        figure('span-' + name + '-' + what + '-' + unitName,
               f.count ? (f[name][what] * scale).toFixed(decimals) : '\u2013');
      }
    }
    for (const entry of followers) {
      if (entry.plot) entry.plot.setScale('x', { min, max });
    }
  }

  function setView(u, min, max) {
    const shortest = Math.min(full[1] - full[0], 4 * cycle);
    let width = Math.max(shortest, Math.min(max - min, full[1] - full[0]));
    let from = Math.min(Math.max(min, full[0]), full[1] - width);
    if (max - min !== width) from = Math.min(Math.max((min + max) / 2 - width / 2, full[0]), full[1] - width);
    u.setScale('x', { min: from, max: from + width });
  }
  function zoomAbout(u, at, factor) {
    const min = u.scales.x.min, max = u.scales.x.max;
    setView(u, at - (at - min) * factor, at + (max - at) * factor);
  }

  function drawBands(u) {
    const ctx = u.ctx, box = u.bbox;
    ctx.save();
    ctx.beginPath();
    ctx.rect(box.left, box.top, box.width, box.height);
    ctx.clip();
    for (const [first, last, kind] of bands) {
      const x0 = u.valToPos(t[first] - cycle / 2, 'x', true);
      const x1 = Math.max(x0 + 1, u.valToPos(t[last] + cycle / 2, 'x', true));
      ctx.fillStyle = kind === LOST ? colors.lost : colors.unreadable;
      ctx.fillRect(x0, box.top, x1 - x0, box.height);
    }
    ctx.restore();
  }

  function pan(u, event) {
    const x0 = event.clientX, min = u.scales.x.min, max = u.scales.x.max;
    const width = u.over.clientWidth || 1;
    const move = e => {
      const shift = -(e.clientX - x0) / width * (max - min);
      setView(u, min + shift, max + shift);
    };
    const up = () => {
      document.removeEventListener('mousemove', move);
      document.removeEventListener('mouseup', up);
    };
    document.addEventListener('mousemove', move);
    document.addEventListener('mouseup', up);
  }

  const guideElement = document.getElementById('guide-chart');
  const valueText = digits => (u, v) => (v == null ? '\u2013' : v.toFixed(digits));
  const guide = chart(guideElement, element => {
    // The span shown before a rebuild: uPlot first draws the whole night, then this.
    const keep = view.slice();
    let restored = false;
    const u = new uPlot({
      width: widthOf(element),
      height: 360,
      scales: { x: { time: false }, off: { auto: true }, s: { auto: true } },
      cursor: {
        drag: { x: true, y: false, setScale: true },
        bind: {
          mousedown: (self, target, handler) => e => {
            if (e.shiftKey || e.button === 1) {
              pan(self, e);
              return null;
            }
            return handler(e);
          },
          dblclick: self => () => { setView(self, full[0], full[1]); return null; },
        },
      },
      series: [
        { label: timed ? 'Time' : 'Cycle', value: (self, v) => (v == null ? '' : timeText(v)) },
        { label: labels[0] + ' (' + unitSymbol.trim() + ')', scale: 'off', stroke: colors.a, width: 1,
          value: valueText(decimals) },
        { label: labels[1] + ' (' + unitSymbol.trim() + ')', scale: 'off', stroke: colors.b, width: 1,
          value: valueText(decimals) },
        { label: labels[0] + ' pulse (s)', scale: 's', stroke: colors['pulse-a'], fill: colors['pulse-a'],
          width: 0, paths: uPlot.paths.bars({ size: [0.7, 8] }), points: { show: false },
          value: valueText(3) },
        { label: labels[1] + ' pulse (s)', scale: 's', stroke: colors['pulse-b'], fill: colors['pulse-b'],
          width: 0, paths: uPlot.paths.bars({ size: [0.7, 8] }), points: { show: false },
          value: valueText(3) },
      ],
      axes: [
        axis({ values: (self, splits) => splits.map(timeText), size: 40 }),
        axis({ scale: 'off', label: 'offset (' + unitSymbol.trim() + ')', size: 56 }),
        axis({ scale: 's', side: 1, label: 'pulse (s)', grid: { show: false }, size: 56 }),
      ],
      hooks: {
        drawClear: [drawBands],
        setScale: [(self, key) => { if (key === 'x' && restored) showSpan(self); }],
        draw: [self => {
          if (!restored) {
            restored = true;
            setTimeout(() => self.setScale('x', { min: keep[0], max: keep[1] }), 0);
            return;
          }
          if (root.dataset.graphMs) return;
          root.dataset.graphMs = String(Math.round(performance.now()));
          if (!root.dataset.ready) root.dataset.ready = 'graph';
        }],
      },
    }, [t, seriesA, seriesB, pulseA, pulseB], element);
    u.over.addEventListener('wheel', e => {
      e.preventDefault();
      const left = e.clientX - u.over.getBoundingClientRect().left;
      zoomAbout(u, u.posToVal(left, 'x'), e.deltaY < 0 ? 0.8 : 1.25);
    }, { passive: false });
    return u;
  });
  guideElement.addEventListener('keydown', e => {
    const u = guide.plot;
    const min = u.scales.x.min, max = u.scales.x.max, width = max - min, middle = (min + max) / 2;
    switch (e.key) {
      case 'ArrowLeft': setView(u, min - width * (e.shiftKey ? 0.5 : 0.1), max - width * (e.shiftKey ? 0.5 : 0.1)); break;
      case 'ArrowRight': setView(u, min + width * (e.shiftKey ? 0.5 : 0.1), max + width * (e.shiftKey ? 0.5 : 0.1)); break;
      case '+': case '=': case 'ArrowUp': zoomAbout(u, middle, 0.5); break;
      case '-': case '_': case 'ArrowDown': zoomAbout(u, middle, 2); break;
      case '0': case 'Home': case 'Escape': setView(u, full[0], full[1]); break;
      default: return;
    }
    e.preventDefault();
  });

  // ---- each star -----------------------------------------------------------------------------

  const followers = [];  // charts whose time axis follows the guide graph's span
  const NOT_USED = -32768;
  const starData = data.stars.map(s => ({
    sn: new Uint16Array(buffer(s.sn)),
    dx: new Int16Array(buffer(s.dx)),
    dy: new Int16Array(buffer(s.dy)),
  }));
  // One scale for every star's scatter, so they compare at a glance.
  let reach = 0;
  for (const s of starData) {
    const sizes = [];
    for (let i = 0; i < n; i++) {
      if (s.dx[i] !== NOT_USED) sizes.push(Math.max(Math.abs(s.dx[i]), Math.abs(s.dy[i])));
    }
    sizes.sort((p, q) => p - q);
    if (sizes.length) reach = Math.max(reach, sizes[Math.floor(0.995 * (sizes.length - 1))]);
  }
  reach = Math.max(reach * data.scatterQuantum * scale * 1.1, 0.05 * scale);

  function starCharts(index, snElement, scatterElement) {
    const s = starData[index];
    const sn = new Array(n), notUsed = new Array(n), xs = [], ys = [];
    for (let i = 0; i < n; i++) {
      const readable = use[i] !== UNREADABLE;
      sn[i] = readable ? s.sn[i] / 10 : null;
      notUsed[i] = readable && s.dx[i] === NOT_USED ? s.sn[i] / 10 : null;
      if (s.dx[i] !== NOT_USED) {
        xs.push(s.dx[i] * data.scatterQuantum * scale);
        ys.push(s.dy[i] * data.scatterQuantum * scale);
      }
    }
    const snChart = chart(snElement, element => new uPlot({
      width: widthOf(element),
      height: 130,
      legend: { show: false },
      cursor: { drag: { x: false, y: false }, sync: { key: 'night' } },
      scales: { x: { time: false }, y: { auto: true, range: (self, lo, hi) => [0, Math.max(hi || 0, data.minSN) * 1.05] } },
      series: [
        {},
        { label: 'SN', stroke: colors.a, width: 1 },
        { label: 'not used', stroke: colors['not-used'], fill: colors['not-used'], paths: uPlot.paths.points(),
          points: { show: false, size: 4, width: 0 } },
      ],
      axes: [
        axis({ values: (self, splits) => splits.map(timeText), size: 32 }),
        axis({ label: 'SN', size: 48 }),
      ],
      hooks: {
        ready: [self => self.setScale('x', { min: view[0], max: view[1] })],
        draw: [self => {
          const y = self.valToPos(data.minSN, 'y', true), box = self.bbox, ctx = self.ctx;
          ctx.save();
          ctx.strokeStyle = colors['not-used'];
          ctx.setLineDash([4 * devicePixelRatio, 4 * devicePixelRatio]);
          ctx.beginPath();
          ctx.moveTo(box.left, y);
          ctx.lineTo(box.left + box.width, y);
          ctx.stroke();
          ctx.restore();
        }],
      },
    }, [t, sn, notUsed], element));
    followers.push(snChart);
    chart(scatterElement, element => new uPlot({
      mode: 2,
      width: 220,
      height: 220,
      legend: { show: false },
      cursor: { show: false, drag: { x: false, y: false } },
      scales: { x: { time: false, auto: false, range: [-reach, reach] }, y: { auto: false, range: [-reach, reach] } },
      series: [
        {},
        { label: 'star ' + (index + 1), stroke: colors.a, fill: colors.a, paths: uPlot.paths.points(),
          points: { show: false, size: 2.5, width: 0 } },
      ],
      axes: [axis({ size: 30 }), axis({ size: 44, label: unitSymbol.trim() })],
    }, [null, [xs, ys]], element));
  }

  // ---- the spectrum --------------------------------------------------------------------------

  const spectrumElement = document.getElementById('spectrum-chart');
  const periods = Array.from(new Float64Array(buffer(data.spectrum.period)));
  const amplitudes = Array.from(new Float64Array(buffer(data.spectrum.amplitude)), v => v * scale);
  const dominant = stats.motion && stats.motion.periodic_period > 0 ? stats.motion.periodic_period : null;
  if (periods.length > 1) {
    chart(spectrumElement, element => new uPlot({
      width: widthOf(element),
      height: 260,
      scales: { x: { time: false, distr: 3, log: 10 }, y: { auto: true, range: (self, lo, hi) => [0, (hi || 1) * 1.05] } },
      series: [
        { label: 'Period', value: (self, v) => (v == null ? '' : periodText(v)) },
        { label: 'RA amplitude (' + unitSymbol.trim() + ')', stroke: colors.a, width: 1.5,
          fill: colors['pulse-a'], value: valueText(decimals + 1) },
      ],
      axes: [
        axis({ values: (self, splits) => splits.map(v => (v == null ? '' : periodText(v))), size: 40 }),
        axis({ label: 'amplitude (' + unitSymbol.trim() + ')', size: 56 }),
      ],
      hooks: {
        draw: [self => {
          if (dominant == null) return;
          const x = self.valToPos(dominant, 'x', true), box = self.bbox, ctx = self.ctx;
          if (x < box.left || x > box.left + box.width) return;
          ctx.save();
          ctx.strokeStyle = colors.mark;
          ctx.fillStyle = colors.mark;
          ctx.lineWidth = devicePixelRatio;
          ctx.setLineDash([6 * devicePixelRatio, 4 * devicePixelRatio]);
          ctx.beginPath();
          ctx.moveTo(x, box.top);
          ctx.lineTo(x, box.top + box.height);
          ctx.stroke();
          ctx.font = 12 * devicePixelRatio + 'px sans-serif';
          ctx.fillText('dominant period ' + periodText(dominant), x + 4 * devicePixelRatio, box.top + 14 * devicePixelRatio);
          ctx.restore();
        }],
      },
    }, [periods, amplitudes], element));
  } else {
    spectrumElement.textContent = 'The spectrum needs the pulses\u2019 effect and at least 32 guided cycles.';
  }

  // ---- theme, print, size --------------------------------------------------------------------

  const themeButton = document.getElementById('theme');
  function setTheme(night) {
    if (night) root.dataset.theme = 'night'; else delete root.dataset.theme;
    themeButton.textContent = night ? 'Day' : 'Night';
    themeButton.setAttribute('aria-pressed', String(night));
    readColors();
    for (const entry of charts) if (entry.plot) entry.build();
  }
  let night = location.hash === '#night';
  try { if (!location.hash) night = localStorage.getItem('corvane-report-theme') === 'night'; } catch (e) { /* no storage for file pages */ }
  themeButton.addEventListener('click', () => {
    night = !night;
    try { localStorage.setItem('corvane-report-theme', night ? 'night' : 'day'); } catch (e) { /* as above */ }
    setTheme(night);
  });
  document.getElementById('print').addEventListener('click', () => window.print());
  // Printed in the day's colours at the paper's width.
  window.addEventListener('beforeprint', () => {
    delete root.dataset.theme;
    readColors();
    for (const entry of charts) {
      entry.build();
      if (entry.element.classList.contains('scatter-chart')) continue;
      entry.plot.setSize({ width: 680, height: entry.plot.height });
    }
  });
  window.addEventListener('afterprint', () => setTheme(night));
  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(() => {
      for (const entry of charts) {
        if (!entry.plot || entry.element.classList.contains('scatter-chart')) continue;
        entry.plot.setSize({ width: widthOf(entry.element), height: entry.plot.height });
      }
    }, 100);
  });

  // ---- in order: the graph first, then the rest, a chart at a time ---------------------------

  if (night) {
    root.dataset.theme = 'night';
    themeButton.textContent = 'Day';
    themeButton.setAttribute('aria-pressed', 'true');
  }
  readColors();
  guide.build();
  document.querySelectorAll('.star-row').forEach((row, index) => {
    starCharts(index, row.querySelector('.sn-chart'), row.querySelector('.scatter-chart'));
  });
  const rest = charts.filter(entry => entry !== guide);
  let next = 0;
  (function buildNext() {
    if (next < rest.length) {
      if (!rest[next].plot) rest[next].build();
      next++;
      setTimeout(buildNext, 0);
      return;
    }
    // Once the graph shows its span and the charts above have drawn.
    (function finish() {
      if (!root.dataset.graphMs) {
        setTimeout(finish, 10);
        return;
      }
      for (const entry of followers) entry.plot.setScale('x', { min: view[0], max: view[1] });
      requestAnimationFrame(() => {
        root.dataset.ready = 'all';
        root.dataset.allMs = String(Math.round(performance.now()));
      });
    })();
  })();
})();
