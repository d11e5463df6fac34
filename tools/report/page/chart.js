// The error chart: RMS and largest error per frame, the shown frame marked;
// a click picks the frame under the pointer.

export function drawChart(canvas, frameRms, frameMax, current, frameLabel) {
  // Drawn at the canvas's shown size so that the text stays legible.
  const ratio = window.devicePixelRatio || 1, W = canvas.clientWidth || canvas.width, H = canvas.clientHeight || canvas.height;
  if (canvas.width !== Math.round(W * ratio)) canvas.width = Math.round(W * ratio);
  if (canvas.height !== Math.round(H * ratio)) canvas.height = Math.round(H * ratio);
  const ctx = canvas.getContext('2d');
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  const left = 40, right = 8, top = 10, bottom = 20, F = frameRms.length;
  let top_ = 0;
  for (const e of frameMax) if (e > top_) top_ = e;
  if (!(top_ > 0)) top_ = 1;
  const x = (f) => left + (F > 1 ? (f / (F - 1)) * (W - left - right) : (W - left - right) / 2);
  const y = (e) => top + (1 - e / top_) * (H - top - bottom);
  ctx.clearRect(0, 0, W, H);
  ctx.fillStyle = '#fff';
  ctx.fillRect(0, 0, W, H);
  ctx.strokeStyle = '#ccc';
  ctx.fillStyle = '#555';
  ctx.font = '10px sans-serif';
  for (let i = 0; i <= 4; ++i) {
    const e = (top_ * i) / 4;
    ctx.beginPath(); ctx.moveTo(left, y(e)); ctx.lineTo(W - right, y(e)); ctx.stroke();
    ctx.fillText(e.toPrecision(2) + '%', 2, y(e) + 3);
  }
  ctx.fillText(frameLabel(0), left, H - 6);
  ctx.textAlign = 'right';
  ctx.fillText(frameLabel(F - 1), W - right, H - 6);
  ctx.textAlign = 'left';
  const line = (values, colour) => {
    ctx.strokeStyle = colour; ctx.lineWidth = 1.5; ctx.beginPath();
    values.forEach((e, f) => (f ? ctx.lineTo(x(f), y(e)) : ctx.moveTo(x(f), y(e))));
    ctx.stroke(); ctx.lineWidth = 1;
  };
  line(frameMax, '#d9480f');
  line(frameRms, '#1c7ed6');
  ctx.strokeStyle = '#000';
  ctx.beginPath(); ctx.moveTo(x(current), top); ctx.lineTo(x(current), H - bottom); ctx.stroke();
  return (clientX) => {
    const r = canvas.getBoundingClientRect();
    const px = clientX - r.left;
    return Math.max(0, Math.min(F - 1, Math.round(((px - left) / (W - left - right)) * (F - 1))));
  };
}
