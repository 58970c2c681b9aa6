#!/usr/bin/env node
// Checks `jetdb export` of the Timer sample's saved queries against the tables they draw on, as read by mdb-reader: "All
// Activities" must resolve every id to its name, "Customer:Jobs" must list the customers:jobs in name order.
//
// usage: node timer_queries.mjs --jetdb PATH SAMPLE.tdb
// exit:  0 ok, 1 differences, 2 usage or tool failure, 77 mdb-reader missing.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { importReader, parseCsv } from './csv.mjs';

const args = process.argv.slice(2);
const jetdbAt = args.indexOf('--jetdb');
if (jetdbAt < 0 || args.length !== 3) {
  console.error('usage: node timer_queries.mjs --jetdb PATH SAMPLE.tdb');
  process.exit(2);
}
const jetdb = args[jetdbAt + 1];
const file = args.filter((_, i) => i !== jetdbAt && i !== jetdbAt + 1)[0];

const MDBReader = await importReader();
let failures = 0;
function check(cond, msg) { if (!cond) { failures++; console.log(`FAIL ${msg}`); } }

function exportCsv(name) {
  const r = spawnSync(jetdb, ['export', file, name], { encoding: 'utf8', maxBuffer: 1 << 28 });
  if (r.status !== 0) {
    console.log(`FAIL jetdb export "${name}": ${(r.stderr || '').trim() || r.error || `exit ${r.status}`}`);
    process.exit(1);
  }
  const rows = parseCsv(r.stdout);
  const header = rows[0].map((f) => f.v);
  // Field value as a string, or null for an unquoted empty field.
  return {
    header,
    rows: rows.slice(1).map((row) => Object.fromEntries(header.map((h, i) => [h, !row[i] || (!row[i].q && row[i].v === '') ? null : row[i].v]))),
  };
}

const reader = new MDBReader(fs.readFileSync(file));
const byId = (table, col) => new Map(reader.getTable(table).getData().map((r) => [r.ID, r[col]]));
const [names, items, classes, payroll] = [byId('Names', 'NameStr'), byId('Items', 'Name'), byId('Classes', 'Name'),
  byId('Payroll Items', 'Name')];
const activities = new Map(reader.getTable('Activities').getData().map((r) => [r.ID, r]));

const pad = (x) => String(x).padStart(2, '0');
function dateText(d) {
  if (d === null) return null;
  const r = new Date(Math.round(d.getTime() / 1000) * 1000);
  return `${r.getUTCFullYear()}-${pad(r.getUTCMonth() + 1)}-${pad(r.getUTCDate())} ` +
    `${pad(r.getUTCHours())}:${pad(r.getUTCMinutes())}:${pad(r.getUTCSeconds())}`;
}
const text = (x) => (x === undefined || x === null ? null : String(x));

// --- All Activities ---------------------------------------------------------
{
  const { header, rows } = exportCsv('All Activities');
  const want = ['UserDate', 'Customer/Job', 'Service Item', 'Service ID', 'Duration', 'Billable Status', 'Export Status',
    'Exported', 'Class', 'Class ID', 'ActivityID', 'CustJob ID', 'Name', 'Name ID', 'Payroll Item', 'Note',
    'Billable Y/N', 'CreateTime'];
  check(JSON.stringify(header) === JSON.stringify(want), `All Activities: columns ${JSON.stringify(header)}`);
  check(rows.length === 16, `All Activities: ${rows.length} rows, want 16`);
  const seen = new Set();
  for (const row of rows) {
    const id = Number(row.ActivityID);
    const a = activities.get(id);
    const at = `All Activities: ActivityID ${row.ActivityID}`;
    if (!a || seen.has(id)) { check(false, `${at}: no such activity or listed twice`); continue; }
    seen.add(id);
    const expect = {
      UserDate: dateText(a.UserDate),
      'Customer/Job': text(names.get(a['CustJob ID'])),
      'Service Item': text(items.get(a['Service ID'])),
      'Service ID': text(a['Service ID']),
      Duration: dateText(a.Duration),
      'Billable Status': a['Billable Status'] ? 'Billable' : 'Not Billable',
      'Export Status': a.Exported ? 'Exported' : 'Not Exported',
      Exported: a.Exported ? '1' : '0',
      Class: text(classes.get(a['Class ID'])),
      'Class ID': text(a['Class ID']),
      'CustJob ID': text(a['CustJob ID']),
      Name: text(names.get(a['Name ID'])),
      'Name ID': text(a['Name ID']),
      'Payroll Item': text(payroll.get(a['Payroll Item ID'])),
      Note: text(a.Note),
      'Billable Y/N': a['Billable Status'] ? '1' : '0',
      CreateTime: dateText(a.CreateTime),
    };
    for (const [col, v] of Object.entries(expect))
      check(row[col] === v, `${at}, [${col}]: jetdb ${JSON.stringify(row[col])}, want ${JSON.stringify(v)}`);
    check(row.Name !== null && row['Customer/Job'] !== null, `${at}: names not resolved`);
  }
}

// --- Customer:Jobs ----------------------------------------------------------
{
  const { header, rows } = exportCsv('Customer:Jobs');
  check(JSON.stringify(header) === JSON.stringify(['NameStr', 'Name ID']), `Customer:Jobs: columns ${JSON.stringify(header)}`);
  // Jet's general sort order: case-insensitive, accents second to the base
  // letter (so "Café" sorts as "Cafe", before "City"), a prefix before its extensions.
  const want = ['Acme Corporation', 'Acme Corporation:Support Contract', 'Acme Corporation:Website Redesign',
    'Baker & Sons', 'Baker & Sons:Kitchen Remodel', 'Café Aurora:Menu Design', 'City of Riverton',
    'City of Riverton:Parks Survey', 'Delta Logistics', 'Evergreen Clinic:IT Audit', 'Zenith Dental'];
  const typeOne = reader.getTable('Names').getData().filter((r) => r.Type === 1).map((r) => r.NameStr);
  check(JSON.stringify([...typeOne].sort()) === JSON.stringify([...want].sort()),
    'Customer:Jobs: the expected list no longer matches the Names table of this file');
  const got = rows.map((r) => r.NameStr);
  check(JSON.stringify(got) === JSON.stringify(want), `Customer:Jobs: order ${JSON.stringify(got)}`);
  for (const r of rows)
    check(names.get(Number(r['Name ID'])) === r.NameStr, `Customer:Jobs: [Name ID] ${r['Name ID']} is not ${r.NameStr}`);
}

console.log(failures ? `${failures} differences` : 'ok');
process.exit(failures ? 1 : 0);
