#!/usr/bin/env node
// Frames per second of an HTML report playing in headless Chromium at an
// 800 x 600 canvas, and two screenshots (error at the worst frame, weight of
// one bone), with the browser set-up of the report's test.
//   node bench/report_browser_bench.cjs REPORT.html DIR
'use strict';
const fs = require('fs');
const path = require('path');
const { PANEL, needPuppeteer, launch, closeBrowser, openReport } = require('../tools/clients/chromium_report.cjs');

async function measure(report, out) {
  const puppeteer = needPuppeteer();
  fs.mkdirSync(out, { recursive: true });
  const browser = await launch(puppeteer, 800 + PANEL, 600);
  try {
    const { page, problems } = await openReport(browser, report);
    const canvas = await page.evaluate(() => window.tolvanReport.canvasSize());
    // Over 2 s of playing: requestAnimationFrame calls and animation frames
    // shown, once as the page plays (drawing when the frame changes) and once
    // drawing in every call.
    for (const continuous of [false, true]) {
      await page.evaluate((c) => { window.tolvanReport.continuous = c; window.tolvanReport.play(); }, continuous);
      await new Promise((r) => setTimeout(r, 500));
      const count = () => page.evaluate(() => [window.tolvanReport.rafCount, window.tolvanReport.shownCount]);
      const before = await count();
      await new Promise((r) => setTimeout(r, 2000));
      const after = await count();
      await page.evaluate(() => window.tolvanReport.pause());
      console.log(`canvas ${canvas[0]} x ${canvas[1]}${continuous ? ', drawing in every call' : ''}: ` +
        `${((after[0] - before[0]) / 2).toFixed(1)} requestAnimationFrame calls and ${((after[1] - before[1]) / 2).toFixed(1)} animation frames shown per second`);
    }
    // The weights of the bone that moves the vertex at the canvas's centre most.
    const bone = await page.evaluate(() => {
      const r = window.tolvanReport, b = Math.max(r.dominantBone(Math.max(r.pickVertex(400, 300), 0)), 0);
      r.setMode('weight', b);
      r.render();
      return b;
    });
    const weights = path.join(out, `weight-bone${bone}.png`);
    await page.screenshot({ path: weights });
    // Without the skeleton, which would hide the vertex.
    await page.evaluate(() => {
      document.getElementById('skeleton').click();
      if (window.tolvanReport.errors) window.tolvanReport.showLargest();
      window.tolvanReport.render();
    });
    await page.screenshot({ path: path.join(out, 'error-worst-frame.png') });
    console.log(`screenshots: ${path.join(out, 'error-worst-frame.png')} ${weights}`);
    problems.forEach((p) => console.error(`problem: ${p}`));
    return problems.length === 0;
  } finally {
    await closeBrowser(browser);
  }
}

if (process.argv.length !== 4) {
  console.error('usage: report_browser_bench.cjs REPORT.html DIR');
  process.exit(2);
}
measure(process.argv[2], process.argv[3]).then((ok) => process.exit(ok ? 0 : 1),
  (e) => { console.error(`FAILED: ${e.stack || e}`); process.exit(1); });
