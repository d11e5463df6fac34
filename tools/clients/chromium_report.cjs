#!/usr/bin/env node
// HTML reports in headless Chromium, for the report's browser test and its
// frame-rate measurement: puppeteer-core and Chromium looked up (a missing one
// ends the run: exit code 77 to skip it, 1 under CI=true), a browser with a
// throwaway profile, a report opened with its console errors, page errors and
// outside requests recorded, and screenshots decoded to pixels.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const CHROMIUM = '/usr/bin/chromium';
const INSTALL = 'apt-get install -y chromium && npm install --prefix tools/node --no-save --no-audit --no-fund puppeteer-core@25.19.0';
const PANEL = 330; // width of the side panel; the canvas gets the rest

function skipOrFail(reason) {
  if (process.env.CI === 'true') {
    console.error(`FAILED: ${reason} (install: ${INSTALL})`);
    process.exit(1);
  }
  console.log(`SKIPPED: ${reason}; install with: ${INSTALL}`);
  process.exit(77);
}

// puppeteer-core, or the end of the run (skipped, or failed under CI) when
// it or Chromium is missing.
function needPuppeteer() {
  if (!fs.existsSync(CHROMIUM)) skipOrFail(`${CHROMIUM} is missing`);
  const puppeteer = loadPuppeteer();
  if (!puppeteer) skipOrFail('puppeteer-core is not installed');
  return puppeteer;
}

function loadPuppeteer() {
  const modules = process.env.TOLVAN_NODE_MODULES || path.join(__dirname, '..', 'node', 'node_modules');
  for (const p of [path.join(modules, 'puppeteer-core'), 'puppeteer-core']) {
    try { return require(p); } catch (e) { /* next place */ }
  }
  return null;
}

async function launch(puppeteer, width, height) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tolvan-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM, headless: true, defaultViewport: { width, height, deviceScaleFactor: 1 },
    args: ['--no-sandbox', '--enable-unsafe-swiftshader', '--headless', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run', `--user-data-dir=${profile}`],
  });
  browser.profile = profile;
  return browser;
}

async function closeBrowser(browser) {
  await browser.close();
  try {
    fs.rmSync(browser.profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
  } catch (e) {
    console.log(`note: could not remove ${browser.profile}: ${e.message}`);
  }
}

// Opens a report and records console errors, page errors and requests for
// anything but the report itself.
async function openReport(browser, file) {
  const page = await browser.newPage();
  const url = 'file://' + path.resolve(file);
  const problems = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(`console error: ${m.text()}`));
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  page.on('request', (r) => r.url() !== url && problems.push(`request: ${r.url().slice(0, 100)}`));
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => window.tolvanReport && window.tolvanReport.ready, { timeout: 60000 });
  return { page, problems };
}

// The screenshot's pixels, decoded by the browser in a blank page of its own.
async function screenshot(decoder, page, file) {
  const png = await page.screenshot({ path: file });
  const rgba = await decoder.evaluate(async (b64) => {
    const image = await createImageBitmap(await (await fetch('data:image/png;base64,' + b64)).blob());
    const canvas = new OffscreenCanvas(image.width, image.height), ctx = canvas.getContext('2d');
    ctx.drawImage(image, 0, 0);
    const bytes = ctx.getImageData(0, 0, image.width, image.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return { width: image.width, height: image.height, data: btoa(text) };
  }, Buffer.from(png).toString('base64'));
  const data = Buffer.from(rgba.data, 'base64');
  return { width: rgba.width, height: rgba.height, at: (x, y) => { const o = (Math.round(y) * rgba.width + Math.round(x)) * 4; return [data[o], data[o + 1], data[o + 2]]; } };
}

module.exports = { PANEL, needPuppeteer, launch, closeBrowser, openReport, screenshot };
