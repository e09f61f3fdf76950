// Pictures of a report's page in headless chromium (puppeteer-core): its top (the summary and the
// guide graph, zoomed by the keyboard to show the span's figures) in the day and the night theme.
//   node report-pictures.cjs PAGE OUT_DIR
'use strict';
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [page, out] = process.argv.slice(2);
(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'],
  });
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1100, height: 1000 });
  await tab.goto('file://' + path.resolve(page));
  await tab.waitForFunction(() => document.documentElement.dataset.ready === 'all', { timeout: 60000 });
  await tab.focus('#guide-chart');
  await tab.keyboard.press('+');
  await tab.mouse.move(-1, -1);
  const clip = await tab.evaluate(() => {
    const bottom = document.querySelector('#graph .span').getBoundingClientRect().bottom;
    return { x: 0, y: 0, width: document.documentElement.clientWidth, height: Math.ceil(bottom + 16) };
  });
  await tab.screenshot({ path: path.join(out, 'report-day.png'), clip });
  await tab.click('#theme');
  await tab.mouse.move(-1, -1);
  await tab.screenshot({ path: path.join(out, 'report-night.png'), clip });
  await browser.close();
})().catch(e => { console.error(e); process.exit(1); });
