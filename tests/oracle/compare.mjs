#!/usr/bin/env node
// Three-way comparison of table contents: `jetdb export` against two readers written independently of this project, mdb-export
// (mdbtools) and mdb-reader. Every field is compared by the column's type; where the two readers disagree with each other only a
// known fault of one of them is tolerated (see KNOWN ORACLE FAULTS below), anything else fails the comparison.
//
// usage: node compare.mjs --jetdb PATH [--user-only] [--table NAME]... FILE...
// exit:  0 all agree, 1 differences, 2 usage or tool failure, 77 readers missing.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { parseArgs } from 'node:util';
import { importReader, parseCsv } from './csv.mjs';

const SKIP = 77;
const MAX_REPORTS_PER_TABLE = 20;

function usage(msg) {
  console.error(`compare.mjs: ${msg}`);
  console.error('usage: node compare.mjs --jetdb PATH [--user-only] [--table NAME]... FILE...');
  process.exit(2);
}

let opts;
try {
  const { values, positionals } = parseArgs({ allowPositionals: true, options: {
    jetdb: { type: 'string' }, 'user-only': { type: 'boolean' }, table: { type: 'string', multiple: true, default: [] } } });
  opts = { jetdb: values.jetdb, userOnly: values['user-only'], tables: values.table, files: positionals };
} catch (e) { usage(e.message); }
if (!opts.jetdb || opts.files.length === 0) usage('need --jetdb and at least one file');

const MDBReader = await importReader();
if (spawnSync('mdb-export', ['--version']).error) {
  console.log('SKIP: mdb-export (mdbtools) is not installed (run scripts/install-deps.sh)');
  process.exit(SKIP);
}
if (!fs.existsSync(opts.jetdb)) usage(`no jetdb at ${opts.jetdb}`);

function run(cmd, args) {
  const r = spawnSync(cmd, args, { maxBuffer: 1 << 30, encoding: 'utf8' });
  if (r.error) return { ok: false, err: String(r.error) };
  if (r.status !== 0) return { ok: false, err: (r.stderr || '').trim() || `exit ${r.status}` };
  return { ok: true, out: r.stdout };
}

// ---------------------------------------------------------------------------
// Canonical forms. Each source's field becomes null or a string that is
// compared exactly, except floating-point numbers (see sameValue).

function canonDecimal(s) {
  const t = s.trim(), neg = t.startsWith('-');
  let [ip, fp = ''] = t.replace(/^[-+]/, '').split('.');
  ip = ip.replace(/^0+/, '') || '0';
  fp = fp.replace(/0+$/, '');
  const body = fp ? `${ip}.${fp}` : ip;
  return neg && body !== '0' ? `-${body}` : body;
}

const pad = (x, w) => String(x).padStart(w, '0');

function canonDateText(s) {
  const m = /^(-?\d+)-(\d+)-(\d+)[ T_](\d+):(\d+):(\d+)$/.exec(s.trim());
  if (!m) return `unparsed:${s}`;
  return `${pad(m[1], 4)}-${pad(m[2], 2)}-${pad(m[3], 2)} ${pad(m[4], 2)}:${pad(m[5], 2)}:${pad(m[6], 2)}`;
}

const MS_PER_DAY = 86400000;
const JET_EPOCH_MS = Date.UTC(1899, 11, 30);

// Years 0-9999 as "YYYY-MM-DD hh:mm:ss", to the second below.
const formatUtc = (ms) => new Date(ms).toISOString().slice(0, 19).replace('T', ' ');

// KNOWN ORACLE FAULT (mdb-reader): it reads the stored day number as a plain linear timeline, but before 1899-12-30 Jet (like
// every OLE Automation date) keeps the time of day as the magnitude of the fraction: -1.25 is 1899-12-29 06:00, not 1899-12-28
// 18:00. The day number is recovered from the reader's Date (to the millisecond it rounds to) and read the way Jet means it.
const readerDays = (d) => (d.getTime() - JET_EPOCH_MS) / MS_PER_DAY;

function canonDateObject(d) {
  const ms = d.getTime();
  if (!Number.isFinite(ms)) return 'invalid date';
  const days = readerDays(d);
  if (days >= 0 || Number.isInteger(days)) return formatUtc(Math.round(ms / 1000) * 1000);
  const whole = Math.trunc(days);
  const secs = Math.round(Math.round(Math.abs(days - whole) * MS_PER_DAY) / 1000);
  const jet = formatUtc(JET_EPOCH_MS + whole * MS_PER_DAY + secs * 1000);
  if (jet !== formatUtc(Math.round(ms / 1000) * 1000)) noteFault('mdb-reader: dates before 1899-12-30 read linearly');
  return jet;
}

const canonGuid = (s) => s.trim().replace(/^\{/, '').replace(/\}$/, '').toLowerCase();

// A field of jetdb's CSV, by column type.
function fromJetdb(f, type) {
  if (!f.q && f.v === '') return null;
  switch (type) {
    case 'currency': case 'numeric': return canonDecimal(f.v);
    case 'datetime': return canonDateText(f.v);
    case 'binary': case 'ole': return f.v.toLowerCase();
    case 'repid': return canonGuid(f.v);
    default: return f.v;
  }
}

// A field of mdb-export's CSV (options in mdbExportArgs), by column type.
function fromMdbExport(f, type) {
  // KNOWN ORACLE FAULT (mdb-export): with --bin hex it hex-encodes the GUID's
  // display text ("{8E39276A-...}") instead of the 16 stored bytes.
  if (type === 'repid' && /^7b(?:[0-9a-f]{2})+7d$/i.test(f.v)) return canonGuid(Buffer.from(f.v, 'hex').toString('latin1'));
  return fromJetdb(f, type);
}

// A value from mdb-reader, by column type.
function fromReader(v, type) {
  if (v === null || v === undefined) return null;
  switch (type) {
    case 'boolean': return v ? '1' : '0';
    case 'currency': case 'numeric': return canonDecimal(String(v));
    case 'datetime': return canonDateObject(v);
    case 'binary': case 'ole': return Buffer.from(v).toString('hex');
    case 'repid': return canonGuid(String(v));
    default: return String(v);
  }
}

function sameValue(a, b, type) {
  if (a === null || b === null) return a === b;
  if (type === 'double' || type === 'float') {
    const x = Number(a), y = Number(b);
    if (Number.isNaN(x) || Number.isNaN(y)) return Number.isNaN(x) && Number.isNaN(y) && a !== '' && b !== '';
    // A Single is only as precise as its 24-bit mantissa: compare at that precision.
    if (type === 'float') return Math.fround(x) === Math.fround(y);
    if (x === y) return true;
    return Math.abs(x - y) <= 1e-9 * Math.max(Math.abs(x), Math.abs(y));
  }
  if (type === 'byte' || type === 'integer' || type === 'long') return Number(a) === Number(b);
  return a === b;
}

// ---------------------------------------------------------------------------
// KNOWN ORACLE FAULTS: where the two readers may disagree, each checked against the stored bytes when it was found.
// `test(e, r, type, raw)` recognises the fault from mdb-export's and mdb-reader's canonical values (raw: mdb-reader's own
// value); `accept(j, e, r)` then says whether jetdb's value is what the file holds.

// mdb-export's hex of a binary value stops at the first zero byte (it handles
// the bytes as a C string); a value starting with zero comes out as Null.
function zeroTruncated(e, full) {
  if (full === null) return false;
  if (e === null) return full.startsWith('00');
  return e.length % 2 === 0 && full.startsWith(e) && full.slice(e.length, e.length + 2) === '00';
}

// Code points 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in Windows-1252: mdb-export turns such a byte of a Jet 3 text
// into '?', mdb-reader into U+FFFD. Windows itself maps them to the C1 controls U+0081... Any of the three is accepted at exactly
// those positions.
function undefinedCp1252Match(j, e, r) {
  const jc = [...j], ec = [...e], rc = [...r];
  if (jc.length !== rc.length || ec.length !== rc.length) return false;
  for (let i = 0; i < rc.length; i++) {
    if (rc[i] === '\uFFFD' && ec[i] === '?') {
      const cp = jc[i].codePointAt(0);
      if (!(jc[i] === '\uFFFD' || jc[i] === '?' || [0x81, 0x8d, 0x8f, 0x90, 0x9d].includes(cp))) return false;
    } else if (jc[i] !== rc[i]) {
      return false;
    }
  }
  return true;
}

// Each: [name, test, accept]; accept defaults to jetdb holding mdb-reader's value.
const isText = (type) => type === 'text' || type === 'memo';
const knownFaults = [
  // mdb-export writes a zero-length text or memo exactly like a Null (an
  // unquoted empty field); mdb-reader and the file keep them apart.
  ['mdb-export: zero-length text written as Null', (e, r, type) => isText(type) && e === null && r === ''],
  ['mdb-export: binary hex cut at the first zero byte', (e, r, type) => (type === 'binary' || type === 'ole') && zeroTruncated(e, r)],
  ['mdb-export: Jet 3 text bytes undefined in Windows-1252',
    (e, r, type) => isText(type) && e !== null && r !== null && r.includes('\uFFFD') &&
      undefinedCp1252Match(r, e, r),
    (j, e, r) => j !== null && undefinedCp1252Match(j, e, r)],
  // mdb-export stops a text at a NUL character; Access keeps a terminating NUL
  // in some system texts (MSysQueries' DDL, MSysNameMap), and the stored text has it.
  ['mdb-export: text cut at a NUL character',
    (e, r, type) => isText(type) && e !== null && r !== null && r.startsWith(e) && r[e.length] === '\u0000'],
  // mdb-export leaves out the dash between the fourth and fifth groups of a
  // GUID ({8-4-4-16} instead of Access's {8-4-4-4-12}); the bytes are the same.
  ['mdb-export: GUID shown without its fourth dash',
    (e, r, type) => type === 'repid' && e !== null && r !== null &&
      /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{16}$/.test(e) && e.replace(/-/g, '') === r.replace(/-/g, '')],
  // mdb-export cannot show dates before 1899-12-30 and prints day 0 of 1900.
  ['mdb-export: dates before 1899-12-30 shown as 1900-01-00',
    (e, r, type, raw) => type === 'datetime' && e === '1900-01-00 00:00:00' && raw instanceof Date && readerDays(raw) < 0],
  // mdb-reader rounds to the millisecond before the second is rounded here, so a time stored a hair below a half second
  // (…:34.49999994) comes out as …:34.500 and then rounds up; mdb-export rounds the stored value itself.
  ['mdb-reader: half-second times rounded twice',
    (e, r, type, raw) => type === 'datetime' && raw instanceof Date && ((raw.getTime() % 1000) + 1000) % 1000 === 500 &&
      e !== null && Math.abs(Date.parse(`${e.replace(' ', 'T')}Z`) - Date.parse(`${r.replace(' ', 'T')}Z`)) === 1000,
    (j, e) => j === e],
].map(([name, test, accept = (j, e, r) => j === r]) => ({ name, test, accept }));

const mdbExportArgs = ['-b', 'hex', '-D', '%Y-%m-%d %H:%M:%S', '-T', '%Y-%m-%d %H:%M:%S', '-q', '"'];

const fmtv = (x) => (x === null ? 'Null'
  : x.length > 300 ? `${JSON.stringify(x.slice(0, 300))}... (${x.length} characters)` : JSON.stringify(x));

let failures = 0;
const faultCounts = new Map();
const noteFault = (name) => faultCounts.set(name, (faultCounts.get(name) || 0) + 1);
function fail(msg) { failures++; console.log(`FAIL ${msg}`); }

function compareTable(file, reader, name) {
  const where = `${path.basename(file)}: table [${name}]`;
  let cols, data;
  try {
    const t = reader.getTable(name);
    [cols, data] = [t.getColumns(), t.getData()];
  } catch (e) {
    console.log(`note ${where}: mdb-reader cannot read it (${e.message}); compared with mdb-export only`);
  }

  const j = run(opts.jetdb, ['export', file, name]);
  if (!j.ok) { fail(`${where}: jetdb export failed: ${j.err}`); return; }
  let jrows;
  try { jrows = parseCsv(j.out); } catch (e) { fail(`${where}: jetdb CSV unreadable: ${e.message}`); return; }

  const m = run('mdb-export', [...mdbExportArgs, file, name]);
  let erows = null;
  if (m.ok) {
    try { erows = parseCsv(m.out); } catch (e) { console.log(`note ${where}: mdb-export CSV unreadable (${e.message})`); }
  } else {
    console.log(`note ${where}: mdb-export failed (${m.err})`);
  }
  if (!cols && !erows) { fail(`${where}: neither reader could read the table`); return; }

  const names = cols ? cols.map((c) => c.name) : erows[0].map((f) => f.v);
  const types = cols ? cols.map((c) => c.type) : null;
  const jhead = (jrows[0] || []).map((f) => f.v);
  if (JSON.stringify(jhead) !== JSON.stringify(names)) {
    fail(`${where}: columns differ: jetdb ${JSON.stringify(jhead)} vs readers ${JSON.stringify(names)}`);
    return;
  }
  if (erows && JSON.stringify(erows[0].map((f) => f.v)) !== JSON.stringify(names)) {
    fail(`${where}: the readers' columns differ: mdb-export ${JSON.stringify(erows[0].map((f) => f.v))}`);
    erows = null;
  }
  if (!types) {
    // Without mdb-reader there are no column types to compare by, and mdb-export
    // leaves out what it cannot read: only the shape is checked.
    const n = jrows.length - 1, m = erows.length - 1;
    if (n !== m) fail(`${where}: jetdb has ${n} rows, mdb-export ${m}`);
    else console.log(`note ${where}: only columns and row count compared (${n} rows)`);
    return;
  }

  const jbody = jrows.slice(1), ebody = erows ? erows.slice(1) : null, nReader = data ? data.length : null;
  if (ebody && nReader !== null && ebody.length !== nReader)
    fail(`${where}: the readers disagree on the row count: mdb-export ${ebody.length}, mdb-reader ${nReader}`);
  const expected = nReader !== null ? nReader : ebody.length;
  if (jbody.length !== expected) {
    fail(`${where}: jetdb has ${jbody.length} rows, the readers ${expected}`);
    return;
  }

  // What the readers say, row by row (they list rows in the same order): per field the two canonical values and the known fault
  // that explains a difference between them, if any.
  let reports = 0;
  const expectedRows = [];
  for (let r = 0; r < expected; r++) {
    const er = ebody ? ebody[r] : null;
    if (er && er.length !== names.length) { fail(`${where}: row ${r + 1}: mdb-export has ${er.length} fields`); reports++; }
    const cells = [];
    for (let c = 0; c < names.length; c++) {
      const type = types[c], raw = data ? data[r][names[c]] : undefined;
      const ev = er && er.length === names.length ? fromMdbExport(er[c], type) : undefined;
      const rv = data ? fromReader(raw, type) : undefined;
      let fault = null;
      if (ev !== undefined && rv !== undefined && !sameValue(ev, rv, type)) {
        fault = knownFaults.find((k) => k.test(ev, rv, type, raw));
        if (fault) noteFault(fault.name);
        else {
          if (reports++ < MAX_REPORTS_PER_TABLE)
            fail(`${where}: row ${r + 1}, column [${names[c]}] (${type}): the readers disagree: ` +
              `mdb-export ${fmtv(ev)}, mdb-reader ${fmtv(rv)}`);
          fault = { accept: () => true };  // nothing to hold jetdb to
        }
      }
      cells.push({ type, ev, rv, fault });
    }
    expectedRows.push(cells);
  }

  const cellOk = (jv, cell) => (cell.fault ? cell.fault.accept(jv, cell.ev, cell.rv)
    : sameValue(jv, cell.rv !== undefined ? cell.rv : cell.ev, cell.type));
  const jetdbValues = jbody.map((jr) => (jr.length === names.length ? jr.map((f, c) => fromJetdb(f, types[c])) : null));
  const rowOk = (j, r) => jetdbValues[j] !== null && expectedRows[r].every((cell, c) => cellOk(jetdbValues[j][c], cell));

  // A table has no defined order; rows that do not match the readers' row at
  // the same position are looked for among the readers' other unmatched rows.
  const pairOf = new Array(jbody.length).fill(-1), taken = new Array(expected).fill(false);
  for (let j = 0; j < jbody.length; j++) if (rowOk(j, j)) { pairOf[j] = j; taken[j] = true; }
  let moved = 0;
  for (let j = 0; j < jbody.length; j++) {
    if (pairOf[j] >= 0) continue;
    for (let r = 0; r < expected; r++) {
      if (!taken[r] && rowOk(j, r)) { pairOf[j] = r; taken[r] = true; moved++; break; }
    }
  }
  if (moved) console.log(`note ${where}: ${moved} rows in another order than the readers list them`);

  // What is left unmatched is compared in order, field by field, and reported.
  const freeRows = [];
  for (let r = 0; r < expected; r++) if (!taken[r]) freeRows.push(r);
  let k = 0;
  for (let j = 0; j < jbody.length; j++) {
    if (pairOf[j] >= 0) continue;
    const r = freeRows[k++];
    if (reports >= MAX_REPORTS_PER_TABLE) { reports++; continue; }
    if (jetdbValues[j] === null) { fail(`${where}: jetdb row ${j + 1} has ${jbody[j].length} fields`); reports++; continue; }
    for (let c = 0; c < names.length; c++) {
      const cell = expectedRows[r][c], jv = jetdbValues[j][c];
      if (!cellOk(jv, cell)) {
        fail(`${where}: jetdb row ${j + 1} (readers' row ${r + 1}), column [${names[c]}] (${cell.type}): ` +
          `jetdb ${fmtv(jv)}, mdb-export ${cell.ev === undefined ? '-' : fmtv(cell.ev)}, ` +
          `mdb-reader ${cell.rv === undefined ? '-' : fmtv(cell.rv)}`);
        reports++;
      }
    }
  }
  if (reports > MAX_REPORTS_PER_TABLE) console.log(`note ${where}: further differences not listed`);
}

function compareTableList(file, reader) {
  const want = reader.getTableNames({ normalTables: true, systemTables: false });
  const j = run(opts.jetdb, ['tables', file]);
  if (!j.ok) { fail(`${path.basename(file)}: jetdb tables failed: ${j.err}`); return; }
  const got = j.out.split('\n').filter((s) => s !== '');
  const a = [...got].sort(), b = [...want].sort();
  if (JSON.stringify(a) !== JSON.stringify(b))
    fail(`${path.basename(file)}: user tables differ: jetdb ${JSON.stringify(got)}, mdb-reader ${JSON.stringify(want)}`);
}

for (const file of opts.files) {
  let reader;
  try { reader = new MDBReader(fs.readFileSync(file)); } catch (e) { fail(`${file}: mdb-reader cannot open it: ${e.message}`); }
  if (!reader) continue;
  compareTableList(file, reader);
  const names = opts.tables.length ? opts.tables
    : reader.getTableNames({ normalTables: true, systemTables: !opts.userOnly });
  for (const name of names) compareTable(file, reader, name);
  console.log(`${failures ? 'checked' : 'ok'} ${path.basename(file)}: ${names.length} tables`);
}
for (const [name, count] of faultCounts) console.log(`tolerated ${count}x: ${name}`);
process.exit(failures ? 1 : 0);
