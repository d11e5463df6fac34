// Colour scales of the report: a perceptual scale (viridis) for weights and
// errors, and distinct colours for the bones.

const VIRIDIS = [
  [68, 1, 84], [72, 36, 117], [65, 68, 135], [53, 95, 141], [42, 120, 142], [33, 145, 140],
  [34, 168, 132], [68, 191, 112], [122, 209, 81], [189, 223, 38], [253, 231, 37],
];

// t in [0, 1] (clamped) to sRGB r, g, b in [0, 1], written at out[o..o+2].
export function viridis(t, out, o) {
  const x = Math.min(Math.max(Number.isFinite(t) ? t : 0, 0), 1) * (VIRIDIS.length - 1);
  const i = Math.min(Math.floor(x), VIRIDIS.length - 2), a = x - i;
  for (let k = 0; k < 3; ++k) out[o + k] = ((1 - a) * VIRIDIS[i][k] + a * VIRIDIS[i + 1][k]) / 255;
}

// Vertex colours are blended in linear light; the scales are given in sRGB.
export function toLinear(out, o) {
  for (let k = o; k < o + 3; ++k) out[k] = out[k] <= 0.04045 ? out[k] / 12.92 : ((out[k] + 0.055) / 1.055) ** 2.4;
}

// viridis followed by toLinear, from a table: the error colours change every frame.
const LINEAR = new Float32Array(3 * 1024);
for (let i = 0; i < 1024; ++i) { viridis(i / 1023, LINEAR, 3 * i); toLinear(LINEAR, 3 * i); }
export function linearViridis(t, out, o) {
  const i = 3 * Math.round(Math.min(Math.max(Number.isFinite(t) ? t : 0, 0), 1) * 1023);
  out[o] = LINEAR[i]; out[o + 1] = LINEAR[i + 1]; out[o + 2] = LINEAR[i + 2];
}

export function cssColour(r, g, b) {
  return `rgb(${Math.round(r * 255)}, ${Math.round(g * 255)}, ${Math.round(b * 255)})`;
}

// Bone j's colour: hues spread by the golden ratio so neighbours in number differ.
export function boneColour(j, out, o) {
  const h = (j * 0.6180339887) % 1, s = 0.7, l = 0.55;
  const f = (n) => {
    const k = (n + h * 12) % 12;
    return l - s * Math.min(l, 1 - l) * Math.max(-1, Math.min(k - 3, 9 - k, 1));
  };
  out[o] = f(0); out[o + 1] = f(8); out[o + 2] = f(4);
}

// Draws the scale from low (left) to high (right) on a canvas.
export function drawScale(canvas) {
  const ctx = canvas.getContext('2d'), rgb = [0, 0, 0];
  for (let x = 0; x < canvas.width; ++x) {
    viridis(x / (canvas.width - 1), rgb, 0);
    ctx.fillStyle = cssColour(rgb[0], rgb[1], rgb[2]);
    ctx.fillRect(x, 0, 1, canvas.height);
  }
}
