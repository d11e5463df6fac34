#!/usr/bin/env node
// Plays a skinned glTF file in three.js as a viewer would and writes the
// skinned vertex positions at every key time of its first animation.
//   node three_skinning.mjs FILE.glb|FILE.gltf OUT.bin
// OUT.bin: float64 little-endian x, y, z per vertex, frame after frame. Prints
// one JSON line {"frames": F, "vertices": V}. Exit code 2 when the file or
// three.js (npm install --prefix tools/node three@0.187.0) is missing.
// The animation plays once and clamps at its end: with the default loop the
// last key time would wrap to the first pose.
import fs from 'fs';
import path from 'path';
import { fileURLToPath, pathToFileURL } from 'url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [file, out] = process.argv.slice(2);
if (!file || !out) {
  console.error('usage: three_skinning.mjs FILE.glb|FILE.gltf OUT.bin');
  process.exit(2);
}
let bytes;
try {
  bytes = fs.readFileSync(file);
} catch (e) {
  console.error(`${file}: cannot read the file (${e.code || e.message})`);
  process.exit(2);
}
const root = path.join(here, '..', 'node', 'node_modules', 'three');
let THREE, GLTFLoader;
try {
  THREE = await import(pathToFileURL(path.join(root, 'build', 'three.module.js')).href);
  ({ GLTFLoader } = await import(pathToFileURL(path.join(root, 'examples', 'jsm', 'loaders', 'GLTFLoader.js')).href));
} catch (e) {
  console.error('three.js is not installed (scripts/install_deps.sh tests, or npm install --prefix tools/node three@0.187.0)');
  process.exit(2);
}

const data = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
const gltf = await new Promise((resolve, reject) => new GLTFLoader().parse(data, '', resolve, reject)).catch((e) => {
  console.error(`${file}: three.js cannot load it: ${e.message || e}`);
  process.exit(1);
});
let mesh = null;
gltf.scene.traverse((o) => { if (!mesh && o.isSkinnedMesh) mesh = o; });
if (!mesh || gltf.animations.length === 0) {
  console.error(`${file}: no skinned mesh or no animation`);
  process.exit(1);
}
const clip = gltf.animations[0];
const times = clip.tracks[0].times;
const mixer = new THREE.AnimationMixer(gltf.scene);
const action = mixer.clipAction(clip);
action.setLoop(THREE.LoopOnce, 1);
action.clampWhenFinished = true;
action.play();

const position = mesh.geometry.attributes.position;
const result = new Float64Array(times.length * position.count * 3);
const v = new THREE.Vector3();
for (let f = 0; f < times.length; ++f) {
  mixer.setTime(times[f]);
  gltf.scene.updateMatrixWorld(true);
  mesh.skeleton.update();
  for (let i = 0; i < position.count; ++i) {
    v.fromBufferAttribute(position, i);
    mesh.applyBoneTransform(i, v);
    v.applyMatrix4(mesh.matrixWorld);
    result.set([v.x, v.y, v.z], (f * position.count + i) * 3);
  }
}
fs.writeFileSync(out, Buffer.from(result.buffer));
console.log(JSON.stringify({ frames: times.length, vertices: position.count }));
