#!/usr/bin/env node
// Runs the Khronos glTF validator on one .glb or .gltf file and prints its
// counts and messages. Exit code 0 when there is no error and no warning,
// 1 when there is, 2 when the file cannot be read or the validator is not
// installed or cannot run.
// The validator is looked up in tools/node (npm install --prefix tools/node
// gltf-validator), then wherever node would find it.
'use strict';
const fs = require('fs');
const path = require('path');

function loadValidator() {
  const candidates = [path.join(__dirname, '..', 'node', 'node_modules', 'gltf-validator'), 'gltf-validator'];
  for (const c of candidates) {
    try {
      return require(c);
    } catch (e) {
      // try the next place
    }
  }
  return null;
}

const validator = loadValidator();
if (!validator) {
  console.error('gltf-validator is not installed (npm install --prefix tools/node gltf-validator)');
  process.exit(2);
}
const file = process.argv[2];
if (!file) {
  console.error('usage: validate_gltf.cjs FILE.glb|FILE.gltf');
  process.exit(2);
}
let bytes;
try {
  bytes = fs.readFileSync(file);
} catch (e) {
  console.error(`${file}: cannot read the file (${e.code || e.message})`);
  process.exit(2);
}
validator.validateBytes(new Uint8Array(bytes), { uri: path.basename(file), maxIssues: 100 })
  .then((report) => {
    const i = report.issues;
    console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ${i.numInfos} infos, ${i.numHints} hints`);
    for (const m of i.messages)
      console.log(`  [${['error', 'warning', 'info', 'hint'][m.severity]}] ${m.code} ${m.pointer || ''}: ${m.message}`);
    process.exit(i.numErrors === 0 && i.numWarnings === 0 ? 0 : 1);
  }, (failure) => {
    console.error(`${file}: the validator could not read the file: ${failure}`);
    process.exit(2);
  });
