#!/usr/bin/env node
// Opens HTML reports in headless Chromium and checks what a reader sees.
//   browser_test.cjs check --convert BIN --make-example BIN --out DIR
//       Makes the example, displaces one region of its animation in the later
//       frames, writes reports of it with the true rig and checks them: no
//       console error and no network request, a drawn canvas, different
//       pictures in different frames, the error legend's top colour on the
//       displaced region, the summary's RMS equal to the command's.
// Exit code 0: passed, 1: failed, 77: skipped (Chromium or puppeteer-core
// missing, outside CI).
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const { PANEL, needPuppeteer, launch, closeBrowser, openReport, screenshot } = require('../../../tools/clients/chromium_report.cjs');

const distance = (a, b) => Math.hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);

function distinctColours(shot, width, height) {
  const seen = new Set();
  for (let y = 0; y < height; y += 3) for (let x = 0; x < width; x += 3) seen.add(shot.at(x, y).join(','));
  return seen.size;
}

function changedFraction(a, b, width, height) {
  let changed = 0, total = 0;
  for (let y = 0; y < height; y += 2) for (let x = 0; x < width; x += 2, ++total) changed += distance(a.at(x, y), b.at(x, y)) > 30;
  return changed / total;
}

// The example's animation with the vertices near its highest rest vertex
// raised by a tenth of the box diagonal from the middle frame on.
function displaceRegion(exampleDir, animOut) {
  const rest = fs.readFileSync(path.join(exampleDir, 'creature.rest.obj'), 'utf8').split('\n')
    .filter((l) => l.startsWith('v ')).map((l) => l.split(/\s+/).slice(1, 4).map(Number));
  const lo = [0, 1, 2].map((a) => Math.min(...rest.map((p) => p[a]))), hi = [0, 1, 2].map((a) => Math.max(...rest.map((p) => p[a])));
  const diag = Math.hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
  const top = rest.reduce((best, p, i) => (p[1] > rest[best][1] ? i : best), 0);
  const region = rest.map((p, i) => i).filter((i) => distance(rest[i], rest[top]) < 0.08 * diag);
  const far = rest.map((p, i) => i).filter((i) => distance(rest[i], rest[top]) > 0.3 * diag);
  const tokens = fs.readFileSync(path.join(exampleDir, 'creature.anim.txt'), 'utf8').trim().split(/\s+/);
  const F = Number(tokens[0]), V = Number(tokens[1]), values = tokens.slice(2).map(Number);
  const inRegion = new Set(region);
  for (let f = Math.floor(F / 2); f < F; ++f) for (const v of inRegion) values[(f * V + v) * 3 + 1] += 0.1 * diag;
  const lines = [`${F} ${V}`];
  for (let i = 0; i < F * V; ++i) lines.push(values.slice(3 * i, 3 * i + 3).join(' '));
  fs.writeFileSync(animOut, lines.join('\n') + '\n');
  return { region, far, frames: F };
}

// The rig with every bone thrown 20 box diagonals aside from the middle
// frame on: the skinned mesh (and the joints) end far from the animation.
function throwRigAside(rigIn, rigOut, frames) {
  let frame = -1, bones = false;
  const lines = fs.readFileSync(rigIn, 'utf8').split('\n').map((l) => {
    const t = l.trim().split(/\s+/);
    if (l.startsWith('# ')) bones = l.startsWith('# BONES');
    else if (bones && t.length === 1) frame = Number(t[0]);
    else if (bones && t.length === 13 && frame >= frames / 2) return [t[0], ...t.slice(1).map((x, i) => (i % 4 === 3 ? Number(x) + 20 : x))].join(' ');
    return l;
  });
  fs.writeFileSync(rigOut, lines.join('\n'));
}

function runConvert(convert, args) {
  return execFileSync(convert, ['report', ...args], { encoding: 'utf8' });
}

async function check(args, puppeteer) {
  const out = path.resolve(args['--out']);
  fs.mkdirSync(out, { recursive: true });
  const example = path.join(out, 'example');
  execFileSync(args['--make-example'], [example], { stdio: 'ignore' });
  const anim = path.join(out, 'displaced.anim.txt');
  const { region, far, frames } = displaceRegion(example, anim);
  const rest = path.join(example, 'creature.rest.obj'), rig = path.join(example, 'creature.truth.rig.txt');
  const withError = path.join(out, 'displaced.report.html'), plain = path.join(out, 'plain.report.html');
  const printed = runConvert(args['--convert'], [rest, rig, withError, '--anim', anim]);
  runConvert(args['--convert'], [rest, rig, plain, '--max-frames', '7']);
  const thrown = path.join(out, 'thrown.rig.txt'), thrownReport = path.join(out, 'thrown.report.html');
  throwRigAside(rig, thrown, frames);
  runConvert(args['--convert'], [rest, thrown, thrownReport, '--anim', path.join(example, 'creature.anim.txt')]);
  const figures = /RMS error (\S+) % .*largest (\S+) % at vertex (\d+) in frame (\d+)/.exec(printed);
  if (!figures) throw new Error(`no error figures in the command's output: ${printed}`);

  const failures = [];
  const expect = (ok, what) => ok || failures.push(what);
  const browser = await launch(puppeteer, 800 + PANEL, 600);
  try {
    const decoder = await browser.newPage();
    const { page, problems } = await openReport(browser, withError);
    const shots = {};
    const shoot = async (name) => { const file = path.join(out, `${name}.png`); shots[name] = await screenshot(decoder, page, file); console.log(`screenshot: ${file}`); return shots[name]; };

    const summary = await page.evaluate(() => [document.getElementById('rms').textContent, document.getElementById('largest').textContent]);
    expect(summary[0] === figures[1], `summary RMS ${summary[0]} differs from the command's ${figures[1]}`);
    expect(summary[1] === figures[2], `summary largest error ${summary[1]} differs from the command's ${figures[2]}`);
    const worst = await page.evaluate(() => window.tolvanReport.errors.frame);
    expect(worst === Number(figures[4]), `worst frame ${worst} differs from the command's ${figures[4]}`);

    await page.click('#skeleton');
    await page.evaluate(() => { window.tolvanReport.showFrame(0); window.tolvanReport.render(); });
    const first = await shoot('error-frame0');
    expect(distinctColours(first, 800, 600) > 20, 'the canvas looks uniform');
    await page.evaluate((f) => { window.tolvanReport.showFrame(f); window.tolvanReport.render(); }, worst);
    const worstShot = await shoot('error-worst-frame');
    expect(changedFraction(first, worstShot, 800, 600) > 0.002, 'frame 0 and the worst frame give the same picture');

    // The legend's ends, read off the screenshot, against the displaced region and the rest.
    const box = await page.evaluate(() => { const r = document.getElementById('scale').getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; });
    const low = worstShot.at(box[0] + 2, box[1] + box[3] / 2), high = worstShot.at(box[0] + box[2] - 3, box[1] + box[3] / 2);
    const nearHigh = async (vertices) => {
      const points = await page.evaluate((vs) => vs.map((v) => window.tolvanReport.screenPosition(v)), vertices);
      const inside = points.filter((p) => p.x >= 0 && p.x < 800 && p.y >= 0 && p.y < 600);
      return inside.filter((p) => { const c = worstShot.at(p.x, p.y); return distance(c, high) < distance(c, low); }).length / Math.max(inside.length, 1);
    };
    const regionShare = await nearHigh(region), farShare = await nearHigh(far);
    expect(regionShare > 0.6, `only ${(100 * regionShare).toFixed(0)} % of the displaced region shows the legend's high colour`);
    expect(farShare < 0.2, `${(100 * farShare).toFixed(0)} % of the undisturbed vertices show the legend's high colour`);

    // A click on the chart goes to the frame under the pointer.
    const chart = await page.evaluate(() => { const r = document.getElementById('chart').getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; });
    await page.mouse.click(chart[0] + chart[2] - 2, chart[1] + chart[3] / 2);
    expect(await page.$eval('#frame', (e) => e.value) === '29', 'a click at the chart\'s right end does not go to the last frame');

    await page.evaluate(() => { window.tolvanReport.setMode('weight', 1); window.tolvanReport.render(); });
    await shoot('weight-bone1');
    await page.click('#skeleton');
    await page.evaluate((f) => { window.tolvanReport.setMode('bone'); window.tolvanReport.showFrame(f); window.tolvanReport.render(); }, worst);
    await shoot('dominant-bone');
    problems.forEach((p) => failures.push(p));

    const other = await openReport(browser, plain);
    const note = await other.page.$eval('#note', (e) => e.textContent);
    expect(/1 frame in 5 of the 30/.test(note), `the report of 7 of 30 frames says "${note}"`);
    expect(await other.page.$('#chart') === null, 'a report without the input shows an error chart');
    other.problems.forEach((p) => failures.push(`plain report: ${p}`));

    // A rig thrown far from its animation opens with the animated mesh filling the view.
    const aside = await openReport(browser, thrownReport);
    await aside.page.evaluate(() => { window.tolvanReport.showFrame(0); window.tolvanReport.render(); });
    await screenshot(decoder, aside.page, path.join(out, 'thrown-rig-frame0.png'));
    const points = await aside.page.evaluate((vs) => vs.map((v) => window.tolvanReport.screenPosition(v)), region.concat(far));
    const spread = (a) => Math.max(...a) - Math.min(...a);
    const extent = Math.max(spread(points.map((p) => p.x)) / 800, spread(points.map((p) => p.y)) / 600);
    expect(extent > 0.4, `a rig thrown aside shows the mesh over ${(100 * extent).toFixed(0)} % of the view`);
    aside.problems.forEach((p) => failures.push(`thrown rig report: ${p}`));
  } finally {
    await closeBrowser(browser);
  }
  failures.forEach((f) => console.error(`FAILED: ${f}`));
  return failures.length === 0;
}

async function main() {
  const [mode, ...rest] = process.argv.slice(2);
  const args = {};
  for (let i = 0; i + 1 < rest.length; i += 2) args[rest[i]] = rest[i + 1];
  if (mode !== 'check') {
    console.error('usage: browser_test.cjs check --convert BIN --make-example BIN --out DIR');
    process.exit(2);
  }
  const ok = await check(args, needPuppeteer());
  console.log(ok ? 'PASSED' : 'FAILED');
  process.exit(ok ? 0 : 1);
}

main().catch((e) => { console.error(`FAILED: ${e.stack || e}`); process.exit(1); });
