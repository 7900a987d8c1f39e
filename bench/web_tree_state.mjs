// Bytes and milliseconds per click in the web host's tree, on the demo database with 100,000
// more customers: each click is one POST /api/display answered with the tree state (the change
// from the version the page holds), as the page sends it. Also says whether the answers came
// compressed (on loopback they should not).
//
//   node bench/web_tree_state.mjs [path/to/nimbo] [clicks]
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {makeBigDemo} from '../tests/web/harness.mjs';

const nimbo = process.argv[2] || process.env.NIMBO_BIN || 'build/nimbo';
const clicks = Number(process.argv[3] || 10);
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'nimbo-tree-bench-'));
const db = makeBigDemo(folder, 100000, nimbo);

const child = spawn(nimbo, ['serve', '--port', '0', '--db', db, '--folder', folder], {stdio: ['ignore', 'pipe', 'inherit']});
const base = await new Promise((resolve, reject) => {
  let out = '';
  child.stdout.on('data', (chunk) => {
    out += chunk;
    const match = /http:\/\/127\.0\.0\.1:\d+\//.exec(out);
    if (match) resolve(match[0]);
  });
  child.on('exit', (code) => reject(new Error(`nimbo serve exited with ${code}`)));
});

const headers = {'Content-Type': 'application/json', 'X-Nimbo-Request': '1', 'Accept-Encoding': 'gzip, deflate, br'};
async function call(method, route, body) {
  const started = performance.now();
  const response = await fetch(base + route.slice(1), {method, headers, body: body && JSON.stringify(body)});
  const buffer = await response.arrayBuffer();
  const bytes = buffer.byteLength;  // as sent: fetch decodes, so ask the header too
  return {ms: performance.now() - started, bytes, encoding: response.headers.get('content-encoding'),
    length: Number(response.headers.get('content-length')) || bytes,
    text: new TextDecoder().decode(buffer)};
}
async function state() {
  return (await fetch(base + 'api/state')).json();
}
const find = (tree, text) => tree.find((row) => row[2] === text);

try {
  let tree = (await state()).tree;
  await call('POST', '/api/display', {index: find(tree, 'Customers')[0], text: 'Customers'});
  tree = (await state()).tree;
  console.log(`tree rows: ${tree.length}`);
  // Alternate between two customers: each click selects another node of the big list.
  const names = ['Blue Door Bakery', 'Customer 050000'];
  let total = {ms: 0, bytes: 0};
  const encodings = new Set();
  // As the page does: each click says which tree version it holds, and the answer carries the
  // change from it.
  const whole = await state();
  tree = whole.tree;
  let version = whole.treeVersion;
  for (let n = 0; n < clicks; n++) {
    const row = find(tree, names[n % 2]);
    const answer = await call('POST', '/api/display', {index: row[0], text: row[2], since: version});
    version = JSON.parse(answer.text).treeVersion;
    total.ms += answer.ms;
    total.bytes += answer.length;
    encodings.add(answer.encoding || 'none');
  }
  console.log(`per click: ${Math.round(total.bytes / clicks)} bytes, ${(total.ms / clicks).toFixed(1)} ms (${clicks} clicks)`);
  console.log(`content-encoding of the answers: ${[...encodings].join(', ')}`);
} finally {
  child.kill('SIGINT');
  fs.rmSync(folder, {recursive: true, force: true});
}
