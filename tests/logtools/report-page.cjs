// corvane-log report's page in a real browser (Debian's chromium, headless, driven by
// puppeteer-core): a simulated night with a cloud (lost cycles) and one corrupted row (an
// unreadable cycle); every figure on the page against `corvane-log stats --json` for the same log
// and settings, to the digits printed; the graph holding every cycle; a zoom and a pan by keyboard
// and by mouse, each span's RMS and peak against `stats --json` of exactly the cycles on screen;
// the night theme; no console error and no request but the page's own. The test's night is 600
// cycles of 5 stars; bench/report-bench.sh runs the same checks on 20,000 cycles of 10.
//   node report-page.cjs CORVANE_SIM CORVANE_LOG WORKDIR [CYCLES STARS]
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [sim, log, workDir, cycles = '600', stars = '5'] = process.argv.slice(2);
const work = path.resolve(workDir);
let failures = 0;
function check(what, ok, detail) {
  console.log((ok ? 'ok:   ' : 'FAIL: ') + what + (ok || detail === undefined ? '' : ' (' + detail + ')'));
  if (!ok) failures++;
}

// ---- the night -----------------------------------------------------------------------------
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const everyStar = Array.from({ length: Number(stars) }, (_, i) => i + 1).join('+');
execFileSync(sim, ['--cycles', cycles, '--stars', stars, '--no-unguided', '--out', path.join(work, 'sim'),
                   '--cloud', '280,50,0,' + everyStar], { stdio: 'ignore' });
const lines = fs.readFileSync(path.join(work, 'sim', 'Corvane.csv'), 'latin1').split('\r\n');
const unreadableCycle = 150;  // its Xoff made a value no guider reports
const fields = lines[unreadableCycle].split(',');
fields[2] = '1e9';
lines[unreadableCycle] = fields.join(',');
const logFile = path.join(work, 'night.csv');
fs.writeFileSync(logFile, lines.join('\r\n'), 'latin1');
const settings = ['--exposure', '2', '--download', '0.3', '--scale', '1.5', '--min-sn', '3',
                  '--min-stars', '4', '--angle', '25', '--no-reverse-x'];
const statsOf = file => JSON.parse(execFileSync(log, ['stats', file, '--json', ...settings])).runs[0];
const stats = statsOf(logFile);
const pageFile = path.join(work, 'night.html');
execFileSync(log, ['report', logFile, '-o', pageFile, ...settings], { stdio: 'ignore' });
const bytes = fs.statSync(pageFile).size;
console.log('figure: ' + stats.cycles + '-cycle report ' + bytes + ' bytes');

// ---- what each figure on the page is in the stats -------------------------------------------
const scale = 1.5, u = 'arcsec', d = 2;
const expected = {
  'cycles': [stats.cycles, 0], 'stars': [stats.stars, 0], 'duration-min': [stats.seconds / 60, 1],
  'cycles-lost': [stats.cycles_too_few_stars, 0], 'cycles-unreadable': [1, 0],
  'axes-angle-deg': [25, 1], 'scale-arcsec-per-px': [scale, 3],
  'pulses-x': [stats.pulses.x, 0], 'pulses-y': [stats.pulses.y, 0],
  'pulses-x-mean-s': [stats.pulses.x_mean, 3], 'pulses-y-mean-s': [stats.pulses.y_mean, 3],
  'split-noisiest': [stats.split.noisiest, 0], 'split-worth-stars': [stats.split.worth_stars, 0],
  'cal-angle-deg': [stats.calibration.angle, 1], 'cal-angle-error-deg': [stats.calibration.angle_error, 1],
  'cal-x-speed': [stats.calibration.x_speed, 2], 'cal-x-speed-error': [stats.calibration.x_speed_error, 2],
  'cal-y-speed': [stats.calibration.y_speed, 2], 'cal-y-speed-error': [stats.calibration.y_speed_error, 2],
  'cal-cycles-needed': [stats.calibration.cycles_needed, 0],
  'cal-reverse-x': [stats.calibration.reverse_x ? 'yes' : 'no'],
};
const length = (name, px) => { expected[name + '-' + u] = [px * scale, d]; };
for (const axis of ['ra', 'dec', 'total']) {
  length(axis + '-rms', stats[axis].rms);
  length(axis + '-peak', stats[axis].peak);
}
stats.star.forEach((s, i) => {
  const n = 'star-' + (i + 1);
  expected[n + '-mean-sn'] = [s.mean_sn, 1];
  expected[n + '-lowest-sn'] = [s.lowest_sn, 1];
  expected[n + '-cycles-below-min-sn'] = [s.cycles_below_min_sn, 0];
  length(n + '-noise-x', s.noise_x);
  length(n + '-noise-y', s.noise_y);
});
length('split-one-star', stats.split.one_star);
length('split-mean-of-n', stats.split.mean_of_n);
length('split-common', stats.split.common);
// The periodic error's figures when the analysis found one (a period of 0 is none).
const periodic = stats.motion.periodic_period > 0;
if (periodic) {
  expected['pe-period-s'] = [stats.motion.periodic_period, 0];
  length('pe-peak-to-peak', stats.motion.periodic_pp_ra);
}

// A figure as printed with `digits` decimals equals the value: within half its last digit.
function same(text, [value, digits]) {
  if (digits === undefined) return text === value;
  return Math.abs(Number(text) - value) <= 0.5 * 10 ** -digits + 1e-9 && /^-?\d+(\.\d+)?$/.test(text);
}

// The stats of exactly the cycles first..last (1-based), as a log of their own.
function spanStats(first, last) {
  const file = path.join(work, 'span.csv');
  fs.writeFileSync(file, [lines[0], ...lines.slice(first, last + 1), ''].join('\r\n'), 'latin1');
  return statsOf(file);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1200, height: 900 });
    const errors = [], requests = [];
    page.on('console', m => { if (m.type() === 'error' || m.type() === 'warn') errors.push(m.text()); });
    page.on('pageerror', e => errors.push(String(e)));
    page.on('request', r => requests.push(r.url()));
    const url = 'file://' + pageFile;
    await page.goto(url);
    await page.waitForFunction(() => document.documentElement.dataset.ready === 'all', { timeout: 20000 });
    const graphMs = await page.evaluate(() => document.documentElement.dataset.graphMs);
    console.log('figure: page ready (figures, graph) ' + graphMs + ' ms after navigation');

    const figures = () => page.evaluate(() => Object.fromEntries(
      Array.from(document.querySelectorAll('[data-figure]'), e => [e.dataset.figure, e.textContent])));
    const shown = await figures();
    for (const [name, want] of Object.entries(expected)) {
      check(name + ' = ' + shown[name] + ' (stats: ' + want[0] + ')', name in shown && same(shown[name], want));
    }
    const unchecked = Object.keys(shown).filter(
      name => !(name in expected) && !name.startsWith('span-') && name !== 'end');
    check('every figure on the page is checked', unchecked.length === 0, unchecked.join(', '));
    check('the run\'s end is told', /last cycle/.test(shown.end), shown.end);
    if (!periodic) {
      const told = await page.$eval('#periodic', e => e.textContent);
      check('no periodic error is told as such', /No periodic error stands out/.test(told));
    }

    // The span on screen, against the stats of exactly its cycles.
    async function spanMatches(how) {
      const f = await figures();
      const first = Number(f['span-first-cycle']), last = Number(f['span-last-cycle']);
      const s = spanStats(first, last);
      const guided = s.cycles - s.cycles_too_few_stars -
        (first <= unreadableCycle && unreadableCycle <= last ? 1 : 0);
      const want = { 'span-guided-cycles': [guided, 0] };
      for (const axis of ['ra', 'dec', 'total']) {
        want['span-' + axis + '-rms-' + u] = [s[axis].rms * scale, d];
        want['span-' + axis + '-peak-' + u] = [s[axis].peak * scale, d];
      }
      const wrong = Object.entries(want).filter(([name, w]) => !same(f[name], w))
        .map(([name, w]) => name + ' ' + f[name] + ' != ' + w[0].toFixed(w[1]));
      check(how + ': cycles ' + first + '-' + last + ', RA RMS ' + f['span-ra-rms-arcsec'] +
            '\u2033, the RMS and peaks of exactly those cycles', wrong.length === 0, wrong.join('; '));
      return [first, last];
    }
    const all = await spanMatches('the whole night');
    check('the graph holds every cycle', all[0] === 1 && all[1] === stats.cycles, all.join('-'));

    await page.focus('#guide-chart');
    for (const key of ['+', '+', 'ArrowRight']) await page.keyboard.press(key);
    const keyed = await spanMatches('zoomed and panned by keyboard');
    check('the keyboard zoomed in', keyed[1] - keyed[0] < stats.cycles / 3, keyed.join('-'));

    const box = await (await page.$('#guide-chart .u-over')).boundingBox();
    await page.mouse.move(box.x + box.width * 0.3, box.y + box.height / 2);
    await page.mouse.wheel({ deltaY: -200 });
    await page.keyboard.down('Shift');
    await page.mouse.down();
    await page.mouse.move(box.x + box.width * 0.6, box.y + box.height / 2, { steps: 5 });
    await page.mouse.up();
    await page.keyboard.up('Shift');
    const moused = await spanMatches('zoomed by the wheel and panned by Shift+drag');
    check('the mouse zoomed in and panned', moused[1] - moused[0] < keyed[1] - keyed[0] && moused[0] < keyed[0],
          moused.join('-') + ' after ' + keyed.join('-'));

    await page.click('#theme');
    const night = await page.evaluate(() => [document.documentElement.dataset.theme,
      getComputedStyle(document.body).backgroundColor]);
    check('the night theme is red on black', night[0] === 'night' && night[1] === 'rgb(0, 0, 0)', night.join(' '));
    check('no console error or warning', errors.length === 0, errors.join(' | '));
    const others = requests.filter(r => r !== url);
    check('no request but the page itself', others.length === 0, others.join(' '));
  } finally {
    await browser.close();
  }
  console.log(failures === 0 ? 'all report page checks passed' : failures + ' report page checks failed');
  process.exit(failures === 0 ? 0 : 1);
})().catch(e => { console.error(e); process.exit(1); });
