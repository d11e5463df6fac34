// The report page: reads the embedded data, skins the rest mesh in every
// frame, compares it with the input frames and wires the controls.
import { readReportData, skinFrame, computeErrors, formatG } from './data.js';
import { viridis, linearViridis, boneColour, cssColour, drawScale, toLinear } from './colours.js';
import { drawChart } from './chart.js';
import { createView } from './view.js';

const $ = (id) => document.getElementById(id);

function dominantBones(d) {
  const dominant = new Int32Array(d.vertices).fill(-1);
  for (let v = 0; v < d.vertices; ++v) {
    let best = 0;
    for (let i = d.weightStart[v]; i < d.weightStart[v + 1]; ++i)
      if (d.weightValue[i] > best) { best = d.weightValue[i]; dominant[v] = d.weightBone[i]; }
  }
  return dominant;
}

function summaryRows(d, errors) {
  const histogram = [];
  for (let v = 0; v < d.vertices; ++v) {
    const n = d.weightStart[v + 1] - d.weightStart[v];
    while (histogram.length <= n) histogram.push(0);
    histogram[n] += 1;
  }
  const rows = [['Vertices', d.vertices], ['Triangles', d.triangles.length / 3],
    ['Frames', d.frameStep > 1 ? `${d.frameCount} of ${d.sourceFrames} (1 in ${d.frameStep})` : d.frameCount],
    ['Bones', d.bones], ['Joints', d.joints.pairs.length / 2]];
  const most = Math.max(...histogram, 1);
  const bars = histogram.map((count, n) => `<div class="bar"><span>${n}</span><i style="width:${(100 * count) / most}%"></i><b>${count}</b></div>`);
  rows.push(['Weights per vertex', `<div class="histogram">${bars.join('')}</div>`]);
  if (errors) {
    const ef = d.frameStep > 1 ? ' over the frames shown' : ` (Tolvan's Ef: <span id="ef">${errors.rms.toFixed(2)}</span>)`;
    rows.push(['RMS error', `<span id="rms">${formatG(errors.rms)}</span> % of the box diagonal${ef}`]);
    rows.push(['Largest error', `<span id="largest">${formatG(errors.largest)}</span> % at vertex ${errors.largestVertex}, frame ${errors.largestFrame * d.frameStep} <button id="show-largest">show</button>`]);
  }
  return rows.map(([k, v]) => `<tr><th>${k}</th><td>${v}</td></tr>`).join('');
}

function start() {
  const d = readReportData($('tolvan-data'));
  document.title = `Tolvan report: ${d.name}`;
  $('title').textContent = d.name;
  const F = d.frameCount, errors = d.frames ? computeErrors(d) : null;
  const view = createView($('view'), d);
  const dominant = dominantBones(d);
  const skinned = new Float64Array(3 * d.vertices);
  const state = { frame: 0, playing: false, mode: errors ? 'error' : 'bone', bone: 0, skeleton: true, wire: false, dirty: true };
  const frameLabel = (f) => String(f * d.frameStep);
  // Counters for measuring the page (frames per second) from outside.
  const hooks = { rafCount: 0, shownCount: 0, continuous: false };

  const modeSelect = $('mode'), boneSelect = $('bone');
  if (!errors) {
    modeSelect.querySelector('option[value=error]').remove();
    $('wire-label').remove();
    $('chart-box').remove();
  }
  for (let j = 0; j < d.bones; ++j) boneSelect.add(new Option(`bone ${j}`, String(j)));
  $('summary').innerHTML = summaryRows(d, errors);
  $('note').textContent = d.frameStep > 1
    ? `1 frame in ${d.frameStep} of the ${d.sourceFrames} frames is shown (--max-frames); the errors are over these frames only.`
    : '';
  $('frame').max = String(F - 1);
  drawScale($('scale'));

  function paint() {
    const c = view.colours.array, rgb = [0, 0, 0];
    for (let v = 0; v < d.vertices; ++v) {
      if (state.mode === 'plain') { c[3 * v] = c[3 * v + 1] = c[3 * v + 2] = 0.78; }
      else if (state.mode === 'bone') {
        if (dominant[v] < 0) c[3 * v] = c[3 * v + 1] = c[3 * v + 2] = 0.6;
        else boneColour(dominant[v], c, 3 * v);
      } else if (state.mode === 'weight') {
        let w = 0;
        for (let i = d.weightStart[v]; i < d.weightStart[v + 1]; ++i) if (d.weightBone[i] === state.bone) w = d.weightValue[i];
        viridis(w, c, 3 * v);
      } else {
        linearViridis(errors.perVertex[state.frame * d.vertices + v] / errors.largest, c, 3 * v);
        continue;
      }
      toLinear(c, 3 * v);
    }
    view.coloursChanged();
    legend(rgb);
  }

  function legend(rgb) {
    const scale = state.mode === 'weight' || state.mode === 'error';
    $('scale-box').style.display = scale ? '' : 'none';
    $('bones-legend').style.display = state.mode === 'bone' ? '' : 'none';
    boneSelect.style.display = state.mode === 'weight' ? '' : 'none';
    if (state.mode === 'weight') { $('scale-lo').textContent = '0'; $('scale-hi').textContent = `1 (bone ${state.bone})`; }
    if (state.mode === 'error') { $('scale-lo').textContent = '0 %'; $('scale-hi').textContent = `${formatG(errors.largest)} % of the diagonal`; }
    if (state.mode === 'bone' && !$('bones-legend').childElementCount)
      for (let j = 0; j < d.bones; ++j) {
        boneColour(j, rgb, 0);
        const item = document.createElement('span');
        item.innerHTML = `<i style="background:${cssColour(rgb[0], rgb[1], rgb[2])}"></i>${j}`;
        $('bones-legend').appendChild(item);
      }
  }

  let chartPick = null;
  function showFrame(f) {
    state.frame = Math.max(0, Math.min(F - 1, f));
    skinFrame(d, state.frame, skinned);
    view.setFrame(state.frame, skinned, state.wire);
    if (state.mode === 'error') paint();
    $('frame').value = String(state.frame);
    $('frame-label').textContent = `frame ${frameLabel(state.frame)} / ${frameLabel(F - 1)}`;
    if (errors) chartPick = drawChart($('chart'), errors.frameRms, errors.frameMax, state.frame, frameLabel);
    state.dirty = true;
    hooks.shownCount += 1;
  }

  // The largest error in error mode, its frame shown and the camera turned to its vertex.
  function showLargest() {
    pause();
    setMode('error');
    showFrame(errors.largestFrame);
    view.focusVertex(errors.largestVertex);
    state.dirty = true;
  }

  function setMode(mode, bone) {
    state.mode = mode;
    if (bone !== undefined) state.bone = bone;
    modeSelect.value = mode;
    boneSelect.value = String(state.bone);
    paint();
    state.dirty = true;
  }

  modeSelect.addEventListener('change', () => setMode(modeSelect.value));
  boneSelect.addEventListener('change', () => setMode('weight', Number(boneSelect.value)));
  $('frame').addEventListener('input', () => { pause(); showFrame(Number($('frame').value)); });
  $('skeleton').addEventListener('change', () => { state.skeleton = $('skeleton').checked; view.setSkeleton(state.skeleton); state.dirty = true; });
  if (errors) {
    $('wire').addEventListener('change', () => { state.wire = $('wire').checked; view.setWireframe(state.wire); showFrame(state.frame); });
    $('chart').addEventListener('click', (e) => { pause(); if (chartPick) showFrame(chartPick(e.clientX)); });
    $('show-largest').addEventListener('click', () => showLargest());
  }
  view.controls.addEventListener('change', () => { state.dirty = true; });
  // A click (not a drag) on the mesh shows the weights of the vertex's main bone.
  let down = null;
  view.renderer.domElement.addEventListener('pointerdown', (e) => { down = [e.clientX, e.clientY]; });
  view.renderer.domElement.addEventListener('pointerup', (e) => {
    if (!down || Math.hypot(e.clientX - down[0], e.clientY - down[1]) > 4) return;
    const v = view.pickVertex(e.clientX, e.clientY);
    if (v >= 0 && dominant[v] >= 0) {
      setMode('weight', dominant[v]);
      $('picked').textContent = `vertex ${v}: bone ${dominant[v]}`;
    }
  });
  window.addEventListener('resize', () => { state.dirty = true; });

  let playStart = 0, playFirst = 0;
  const rate = (d.fps || 30) / d.frameStep;
  function play() { state.playing = true; playStart = performance.now(); playFirst = state.frame; $('play').textContent = 'Pause'; }
  function pause() { state.playing = false; $('play').textContent = 'Play'; }
  $('play').addEventListener('click', () => (state.playing ? pause() : play()));

  function loop(now) {
    hooks.rafCount += 1;
    if (state.playing) {
      const f = (playFirst + Math.floor(((now - playStart) / 1000) * rate)) % F;
      if (f !== state.frame) showFrame(f);
    }
    if (state.dirty || hooks.continuous) { view.render(); state.dirty = false; }
    requestAnimationFrame(loop);
  }

  setMode(state.mode);
  showFrame(0);
  requestAnimationFrame(loop);

  // For the automated tests and for scripting from the browser console.
  Object.assign(hooks, {
    ready: true, frames: F, errors: errors && { rms: errors.rms, largest: errors.largest, vertex: errors.largestVertex, frame: errors.largestFrame },
    showFrame, setMode, play, pause, showLargest,
    render() { view.render(); },
    screenPosition: (v) => view.screenPosition(v),
    dominantBone: (v) => dominant[v],
    pickVertex: (x, y) => view.pickVertex(x, y),
    canvasSize: () => [view.renderer.domElement.width, view.renderer.domElement.height],
  });
  window.tolvanReport = hooks;
}

try {
  start();
} catch (e) {
  document.body.insertAdjacentHTML('afterbegin', `<p class="failure">The report could not be shown: ${String(e.message || e).replace(/</g, '&lt;')}</p>`);
  throw e;
}
