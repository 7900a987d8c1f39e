// What the browser test files share: the program and Chromium to use, starting `nimbo serve`
// on a free loopback port, raw requests, and the tree and report locators.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {spawn, execFileSync} from 'node:child_process';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '../..');
export const nimbo = process.env.NIMBO_BIN || path.join(root, 'build/nimbo');
export const artifacts = process.env.NIMBO_ARTIFACTS || path.join(root, 'build/web-artifacts');
export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
export const CHROMIUM_ARGS = ['--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-quic'];

// A scratch folder for one test file, and the servers it started (stopped by stopAll).
export function makeScratch() {
  fs.mkdirSync(artifacts, {recursive: true});
  return fs.mkdtempSync(path.join(os.tmpdir(), 'nimbo-web-'));
}
export const servers = [];
export function stopAll() {
  for (const child of servers) child.kill('SIGINT');
}

// Starts `nimbo serve` with arguments on a free port; resolves to its address.
export function serve(args, {port = 0} = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(nimbo, ['serve', '--port', String(port), ...args], {stdio: ['ignore', 'pipe', 'pipe']});
    servers.push(child);
    let out = '';
    let err = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(out);
      if (match) resolve({url: match[0], port: Number(match[1]), child, output: () => out, errors: () => err});
    });
    child.stderr.on('data', (chunk) => { err += chunk; });
    child.on('exit', (code) => reject(new Error(`nimbo serve exited with ${code}: ${err}`)));
  });
}

// A raw request, so that the Host header and the path go out exactly as written.
export function raw(port, {method = 'GET', target = '/', headers = {}, body} = {}) {
  return new Promise((resolve, reject) => {
    const request = http.request({host: '127.0.0.1', port, method, path: target,
      headers: {Host: `127.0.0.1:${port}`, ...headers}}, (response) => {
      let text = '';
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve({status: response.statusCode, headers: response.headers, body: text}));
    });
    request.on('error', reject);
    if (body) request.write(body);
    request.end();
  });
}

// Chromium with a profile in `dir`, at 1280 × 800 unless told otherwise.
export function launch(dir, options = {}) {
  return chromium.launchPersistentContext(dir, {
    executablePath: chromiumPath, headless: true, args: CHROMIUM_ARGS,
    viewport: {width: 1280, height: 800}, acceptDownloads: true, ...options,
  });
}

export function shot(target, name, timeout = 30000) {
  return target.screenshot({path: path.join(artifacts, `${name}.png`), timeout});
}

export const reportOf = (target) => target.frameLocator('#report');
// The tree row whose label is exactly `text`.
export const itemOf = (target, text) =>
  target.locator('[role="treeitem"]', {has: target.locator('.label', {hasText: new RegExp(`^${text}$`)})});

export async function idleOf(target) {
  await target.waitForFunction(() => document.getElementById('tree').getAttribute('aria-busy') === 'false');
}

// Runs axe-core over a page and its frames; resolves to the violations of the given impacts.
// Evaluated rather than added as a script tag, so that the pages' content security policy
// stays as it is.
const axeSource = fs.readFileSync(fileURLToPath(new URL('./node_modules/axe-core/axe.min.js', import.meta.url)), 'utf8');
export async function axeViolations(target, impacts = ['critical', 'serious']) {
  for (const frame of target.frames()) {
    if (frame.url() === 'about:blank') continue;
    await frame.evaluate(axeSource);
  }
  const result = await target.evaluate(() => window.axe.run(document, {iframes: true}));
  return result.violations.filter((v) => impacts.includes(v.impact))
    .map((v) => ({id: v.id, impact: v.impact, help: v.help, nodes: v.nodes.map((n) => n.target.join(' ')).slice(0, 5)}));
}

// The demo database written into `folder` (made if need be) with `extra` more customers, so that
// the Customers node lists them all; returns the database's path.
export function makeBigDemo(folder, extra = 100000, program = nimbo) {
  fs.mkdirSync(folder, {recursive: true});
  execFileSync(program, ['demo', folder]);
  const db = path.join(folder, 'demo.db');
  execFileSync('sqlite3', [db, `WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ${Number(extra)})
    INSERT INTO customers (id, account, name) SELECT 100000 + i, 'X-' || i, printf('Customer %06d', i) FROM n;`]);
  return db;
}
