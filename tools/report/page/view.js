// The 3D view: the skinned mesh, the input mesh as a wireframe, and the
// skeleton (joints as spheres, bones as lines from joint to joint, drawn
// over the mesh), with orbit controls.
import {
  AmbientLight, BufferAttribute, BufferGeometry, Color, DirectionalLight, DoubleSide, InstancedMesh, LineBasicMaterial,
  LineSegments, Matrix4, Mesh, MeshBasicMaterial, MeshLambertMaterial, PerspectiveCamera, Raycaster, Scene,
  SphereGeometry, Vector2, Vector3, WebGLRenderer,
} from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { skinFrame } from './data.js';

// p' = R·p + t with bone j's transformation in frame f (float32 layout).
function movePoint(d, f, j, p, out, o) {
  const m = d.transforms, b = (f * d.bones + j) * 12;
  for (let r = 0; r < 3; ++r) out[o + r] = m[b + 3 * r] * p[0] + m[b + 3 * r + 1] * p[1] + m[b + 3 * r + 2] * p[2] + m[b + 9 + r];
}

// Vertex normals as sums of the adjacent triangles' area-weighted normals,
// normalised; on flat arrays, as this runs in every frame.
function vertexNormals(p, triangles, out) {
  out.fill(0);
  for (let i = 0; i < triangles.length; i += 3) {
    const a = 3 * triangles[i], b = 3 * triangles[i + 1], c = 3 * triangles[i + 2];
    const ux = p[c] - p[b], uy = p[c + 1] - p[b + 1], uz = p[c + 2] - p[b + 2];
    const vx = p[a] - p[b], vy = p[a + 1] - p[b + 1], vz = p[a + 2] - p[b + 2];
    const nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    out[a] += nx; out[a + 1] += ny; out[a + 2] += nz;
    out[b] += nx; out[b + 1] += ny; out[b + 2] += nz;
    out[c] += nx; out[c + 1] += ny; out[c + 2] += nz;
  }
  for (let i = 0; i < out.length; i += 3) {
    const length = Math.hypot(out[i], out[i + 1], out[i + 2]);
    if (length > 0) { out[i] /= length; out[i + 1] /= length; out[i + 2] /= length; }
  }
}

// Segments of the skeleton: per bone, from its head to each child's head, or
// to the centre of its vertices when it has no child; each moves with its bone.
function skeletonSegments(d) {
  const segments = [];
  const { parent, head, centre } = d.tree;
  const pt = (a, j) => [a[3 * j], a[3 * j + 1], a[3 * j + 2]];
  for (let j = 0; j < d.bones; ++j) {
    const children = [];
    for (let c = 0; c < d.bones; ++c) if (parent[c] === j) children.push(c);
    if (children.length === 0) segments.push({ bone: j, a: pt(head, j), b: pt(centre, j) });
    for (const c of children) segments.push({ bone: j, a: pt(head, j), b: pt(head, c) });
  }
  return segments;
}

export function createView(container, d) {
  const renderer = new WebGLRenderer({ antialias: false });
  renderer.setPixelRatio(Math.min(window.devicePixelRatio || 1, 2));
  container.appendChild(renderer.domElement);
  const scene = new Scene();
  scene.background = new Color(0xeef0f3);
  scene.add(new AmbientLight(0xffffff, 1.6));
  const sun = new DirectionalLight(0xffffff, 1.8);
  scene.add(sun);

  const geometry = new BufferGeometry();
  const positions = new BufferAttribute(new Float32Array(3 * d.vertices), 3);
  const colours = new BufferAttribute(new Float32Array(3 * d.vertices).fill(0.8), 3);
  geometry.setAttribute('position', positions);
  geometry.setAttribute('color', colours);
  const normals = new BufferAttribute(new Float32Array(3 * d.vertices), 3);
  geometry.setAttribute('normal', normals);
  geometry.setIndex(new BufferAttribute(d.triangles, 1));
  const mesh = new Mesh(geometry, new MeshLambertMaterial({ vertexColors: true, side: DoubleSide }));
  scene.add(mesh);

  const inputGeometry = new BufferGeometry();
  const inputPositions = new BufferAttribute(new Float32Array(3 * d.vertices), 3);
  inputGeometry.setAttribute('position', inputPositions);
  inputGeometry.setIndex(new BufferAttribute(d.triangles, 1));
  const wire = new Mesh(inputGeometry, new MeshBasicMaterial({ color: 0x222222, wireframe: true, transparent: true, opacity: 0.35 }));
  wire.visible = false;
  scene.add(wire);

  const segments = skeletonSegments(d);
  const lineGeometry = new BufferGeometry();
  const linePositions = new BufferAttribute(new Float32Array(6 * Math.max(segments.length, 1)), 3);
  lineGeometry.setAttribute('position', linePositions);
  const lines = new LineSegments(lineGeometry, new LineBasicMaterial({ color: 0x111111, depthTest: false }));
  lines.renderOrder = 2;
  const jointCount = d.joints.pairs.length / 2;
  const sphere = new SphereGeometry(1, 12, 8);
  const joints = new InstancedMesh(sphere, new MeshBasicMaterial({ color: 0xffffff, depthTest: false }), Math.max(jointCount, 1));
  joints.count = jointCount;
  joints.renderOrder = 3;
  scene.add(lines, joints);
  // Everything moves every frame; bounds are computed only where needed (picking).
  for (const object of [mesh, wire, lines, joints]) object.frustumCulled = false;

  // Camera framing the mesh in every frame (at most 64 of them looked at):
  // the input frames when the report has them, since a poor rig can throw
  // vertices (and joints) far from where the animation ever goes; otherwise
  // the rig's own skinning.
  const lo = new Vector3(Infinity, Infinity, Infinity), hi = new Vector3(-Infinity, -Infinity, -Infinity);
  const skinned = new Float64Array(3 * d.vertices), p = new Vector3();
  for (let k = 0; k < 64; ++k) {
    const f = Math.floor((k * (d.frameCount - 1)) / 63);
    const points = d.frames ? d.frames.subarray(f * d.vertices * 3, (f + 1) * d.vertices * 3) : skinned;
    if (!d.frames) skinFrame(d, f, skinned);
    for (let v = 0; v < d.vertices; ++v) {
      p.set(points[3 * v], points[3 * v + 1], points[3 * v + 2]);
      if (Number.isFinite(p.x + p.y + p.z)) { lo.min(p); hi.max(p); }
    }
  }
  if (!(lo.x <= hi.x)) lo.set(-1, -1, -1), hi.set(1, 1, 1);
  const centre = lo.clone().add(hi).multiplyScalar(0.5), size = Math.max(hi.distanceTo(lo), 1e-9);
  const camera = new PerspectiveCamera(40, 1, size / 1000, size * 100);
  // From the side of the longer horizontal extent, a little from above and ahead.
  const alongX = hi.x - lo.x >= hi.z - lo.z;
  const direction = alongX ? new Vector3(0.35, 0.3, 1) : new Vector3(1, 0.3, 0.35);
  camera.position.copy(centre).add(direction.normalize().multiplyScalar(size * 1.2));
  const controls = new OrbitControls(camera, renderer.domElement);
  controls.target.copy(centre);
  controls.update();
  const jointRadius = size * 0.006;

  function resize() {
    const w = Math.max(container.clientWidth, 1), h = Math.max(container.clientHeight, 1);
    renderer.setSize(w, h);
    camera.aspect = w / h;
    camera.updateProjectionMatrix();
  }
  resize();
  window.addEventListener('resize', resize);

  const matrix = new Matrix4(), moved = [0, 0, 0], other = [0, 0, 0];
  function setFrame(f, skinned, showInput) {
    for (let i = 0; i < 3 * d.vertices; ++i) positions.array[i] = skinned[i];
    positions.needsUpdate = true;
    vertexNormals(positions.array, d.triangles, normals.array);
    normals.needsUpdate = true;
    if (showInput && d.frames) {
      inputPositions.array.set(d.frames.subarray(f * d.vertices * 3, (f + 1) * d.vertices * 3));
      inputPositions.needsUpdate = true;
    }
    segments.forEach((s, i) => {
      movePoint(d, f, s.bone, s.a, linePositions.array, 6 * i);
      movePoint(d, f, s.bone, s.b, linePositions.array, 6 * i + 3);
    });
    linePositions.needsUpdate = true;
    // A joint moves with both of its bones; it is drawn half way between.
    for (let i = 0; i < jointCount; ++i) {
      const p = d.joints.positions.slice(3 * i, 3 * i + 3);
      movePoint(d, f, d.joints.pairs[2 * i], p, moved, 0);
      movePoint(d, f, d.joints.pairs[2 * i + 1], p, other, 0);
      matrix.makeScale(jointRadius, jointRadius, jointRadius);
      matrix.setPosition((moved[0] + other[0]) / 2, (moved[1] + other[1]) / 2, (moved[2] + other[2]) / 2);
      joints.setMatrixAt(i, matrix);
    }
    joints.instanceMatrix.needsUpdate = true;
  }

  function render() {
    sun.position.copy(camera.position).sub(controls.target).add(new Vector3(0, size, 0));
    renderer.render(scene, camera);
  }

  // The vertex nearest to where the pointer hits the mesh, or -1.
  const raycaster = new Raycaster();
  function pickVertex(clientX, clientY) {
    const r = renderer.domElement.getBoundingClientRect();
    geometry.computeBoundingSphere();
    geometry.computeBoundingBox();
    raycaster.setFromCamera(new Vector2(((clientX - r.left) / r.width) * 2 - 1, -((clientY - r.top) / r.height) * 2 + 1), camera);
    const hit = raycaster.intersectObject(mesh)[0];
    if (!hit) return -1;
    let best = -1, bestDistance = Infinity;
    for (const v of [hit.face.a, hit.face.b, hit.face.c]) {
      const p = new Vector3().fromBufferAttribute(positions, v), dist = p.distanceTo(hit.point);
      if (dist < bestDistance) { bestDistance = dist; best = v; }
    }
    return best;
  }

  // Where vertex v of the shown frame lands on the page, in CSS pixels.
  function screenPosition(v) {
    const p = new Vector3().fromBufferAttribute(positions, v).project(camera);
    const r = renderer.domElement.getBoundingClientRect();
    return { x: r.left + ((p.x + 1) / 2) * r.width, y: r.top + ((1 - p.y) / 2) * r.height };
  }

  // Turns the camera to look at vertex v from outside the surface, keeping its distance.
  function focusVertex(v) {
    const target = new Vector3().fromBufferAttribute(positions, v);
    const normal = new Vector3().fromBufferAttribute(geometry.getAttribute('normal'), v);
    if (!(normal.lengthSq() > 0)) normal.set(0, 0, 1);
    const distance = camera.position.distanceTo(controls.target);
    controls.target.copy(target);
    camera.position.copy(target).add(normal.normalize().add(new Vector3(0, 0.3, 0)).normalize().multiplyScalar(distance));
    controls.update();
  }

  return {
    renderer, controls, colours, setFrame, render, pickVertex, screenPosition, focusVertex,
    setSkeleton(on) { lines.visible = on; joints.visible = on; },
    setWireframe(on) { wire.visible = on; },
    coloursChanged() { colours.needsUpdate = true; },
  };
}
