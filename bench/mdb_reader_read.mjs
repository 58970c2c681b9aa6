#!/usr/bin/env node
// Reads every row of one table with mdb-reader, the npm reader the oracle tests use,
// so the benchmark can time a second independent reader beside jetdb.
// usage: node mdb_reader_read.mjs FILE TABLE   (prints the row count)
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const MDBReader = (await import(path.join(here, '../third_party/mdb-reader/node_modules/mdb-reader/lib/node/index.js'))).default;
const [file, table] = process.argv.slice(2);
const reader = new MDBReader(fs.readFileSync(file));
console.log(reader.getTable(table).getData().length);
