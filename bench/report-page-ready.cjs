// How soon a report's page is ready in headless chromium: the figures shown and the guide graph
// drawn (data-ready="graph"), and every chart drawn (data-ready="all"), in ms after the navigation
// started, over several loads (a fresh tab each).
//   NODE_PATH=build/native/logtools/report/node_modules node bench/report-page-ready.cjs PAGE [LOADS]
'use strict';
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [page, loads = '5'] = process.argv.slice(2);
(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'],
  });
  const graph = [], all = [];
  for (let i = 0; i < Number(loads); i++) {
    const tab = await browser.newPage();
    await tab.setViewport({ width: 1200, height: 900 });
    await tab.goto('file://' + path.resolve(page));
    await tab.waitForFunction(() => document.documentElement.dataset.ready === 'all', { timeout: 60000 });
    const [g, a] = await tab.evaluate(() => [document.documentElement.dataset.graphMs,
                                             document.documentElement.dataset.allMs]);
    graph.push(Number(g));
    all.push(Number(a));
    await tab.close();
  }
  await browser.close();
  const median = v => v.slice().sort((p, q) => p - q)[Math.floor(v.length / 2)];
  console.log('page ready (figures shown, graph drawn): median ' + median(graph) + ' ms of ' +
              graph.join(', ') + ' ms');
  console.log('every chart drawn:                      median ' + median(all) + ' ms of ' +
              all.join(', ') + ' ms');
})().catch(e => { console.error(e); process.exit(1); });
