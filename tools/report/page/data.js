// Reads the report's data block: the counts and small tables as JSON, the
// large arrays as base64 of little-endian float32 / uint32.

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes.buffer;
}

// Returns the parsed data with every base64 array turned into its typed array.
export function readReportData(element) {
  const data = JSON.parse(element.textContent);
  const kinds = { rest: Float32Array, triangles: Uint32Array, weightStart: Uint32Array, weightBone: Uint32Array,
    weightValue: Float32Array, transforms: Float32Array, frames: Float32Array };
  for (const [name, Kind] of Object.entries(kinds))
    data[name] = data.arrays[name] === undefined ? null : new Kind(decodeBase64(data.arrays[name]));
  delete data.arrays;
  return data;
}

// Linear blend skinning of every vertex in frame f into out (x, y, z per
// vertex, doubles): the sum over the vertex's bones in ascending order of
// w·(R·p + t), in the same operation order as the command that wrote the file,
// so that both compute the same errors to the last bit.
export function skinFrame(d, f, out) {
  const m = d.transforms, p = d.rest, start = d.weightStart, bone = d.weightBone, w = d.weightValue;
  const base = f * d.bones * 12;
  for (let v = 0; v < d.vertices; ++v) {
    const px = p[3 * v], py = p[3 * v + 1], pz = p[3 * v + 2];
    let x = 0, y = 0, z = 0;
    for (let i = start[v]; i < start[v + 1]; ++i) {
      const o = base + bone[i] * 12, wi = w[i];
      let s = 0; s += m[o] * px; s += m[o + 1] * py; s += m[o + 2] * pz; x += wi * (s + m[o + 9]);
      s = 0; s += m[o + 3] * px; s += m[o + 4] * py; s += m[o + 5] * pz; y += wi * (s + m[o + 10]);
      s = 0; s += m[o + 6] * px; s += m[o + 7] * py; s += m[o + 8] * pz; z += wi * (s + m[o + 11]);
    }
    out[3 * v] = x; out[3 * v + 1] = y; out[3 * v + 2] = z;
  }
}

// Diagonal of the rest pose's bounding box.
export function boxDiagonal(d) {
  const lo = [1e100, 1e100, 1e100], hi = [-1e100, -1e100, -1e100];
  for (let v = 0; v < d.vertices; ++v)
    for (let a = 0; a < 3; ++a) {
      const c = d.rest[3 * v + a];
      if (c < lo[a]) lo[a] = c;
      if (c > hi[a]) hi[a] = c;
    }
  const dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
  return Math.sqrt(dx * dx + dy * dy + dz * dz);
}

// Distances between the rig and the input in every frame, as percentages of
// the box diagonal: per vertex (frame-major), the RMS and the largest per
// frame, and over the whole animation the RMS (one sum over frames then
// vertices) and the largest with its vertex and frame.
export function computeErrors(d) {
  const V = d.vertices, F = d.frameCount, diag = boxDiagonal(d);
  const perVertex = new Float32Array(F * V), frameRms = new Float64Array(F), frameMax = new Float64Array(F);
  const skinned = new Float64Array(3 * V);
  let sum = 0, largest = -1, largestVertex = 0, largestFrame = 0;
  for (let f = 0; f < F; ++f) {
    skinFrame(d, f, skinned);
    let frameSum = 0;
    const input = f * V * 3;
    for (let v = 0; v < V; ++v) {
      const dx = d.frames[input + 3 * v] - skinned[3 * v], dy = d.frames[input + 3 * v + 1] - skinned[3 * v + 1],
        dz = d.frames[input + 3 * v + 2] - skinned[3 * v + 2];
      const s = dx * dx + dy * dy + dz * dz;
      sum += s;
      frameSum += s;
      const e = Math.sqrt(s) / diag * 100;
      perVertex[f * V + v] = e;
      if (e > frameMax[f]) frameMax[f] = e;
      if (e > largest) { largest = e; largestVertex = v; largestFrame = f; }
    }
    frameRms[f] = Math.sqrt(frameSum / V) / diag * 100;
  }
  const rms = Math.sqrt(sum / (F * V)) / diag * 100;
  return { diag, perVertex, frameRms, frameMax, rms, largest, largestVertex, largestFrame };
}

// A number as C's "%g" prints it (6 significant digits, trailing zeros dropped).
export function formatG(x) {
  if (x === 0) return '0';
  if (!Number.isFinite(x)) return String(x);
  const [mantissa, exponentText] = x.toExponential(5).split('e');
  const exponent = Number(exponentText);
  const strip = (s) => (s.includes('.') ? s.replace(/0+$/, '').replace(/\.$/, '') : s);
  if (exponent < -4 || exponent >= 6) {
    const e = Math.abs(exponent);
    return strip(mantissa) + 'e' + (exponent < 0 ? '-' : '+') + (e < 10 ? '0' : '') + e;
  }
  return strip(x.toFixed(5 - exponent));
}
