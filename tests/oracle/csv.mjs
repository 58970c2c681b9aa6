import path from 'node:path';
import { fileURLToPath } from 'node:url';

// mdb-reader, an optional dependency of the tests (scripts/install-deps.sh): without it the caller is skipped.
export async function importReader() {
  try {
    const here = path.dirname(fileURLToPath(import.meta.url));
    return (await import(path.join(here, '../../third_party/mdb-reader/node_modules/mdb-reader/lib/node/index.js'))).default;
  } catch {
    console.log('SKIP: mdb-reader is not installed (run scripts/install-deps.sh)');
    process.exit(77);
  }
}

// CSV as both tools write it: fields quoted with '"' (inner quotes doubled) may hold commas and newlines; whether a field was
// quoted is kept, because an unquoted empty field is Null and a quoted one an empty text.
export function parseCsv(text) {
  const rows = [];
  let row = [], i = 0;
  const n = text.length;
  // An empty line is a row of one Null field; only the final newline ends the text.
  while (i < n) {
    let value = '', quoted = false;
    if (text[i] === '"') {
      quoted = true;
      i++;
      for (;;) {
        if (i >= n) throw new Error('unterminated quoted field');
        if (text[i] === '"') {
          if (text[i + 1] === '"') { value += '"'; i += 2; continue; }
          i++;
          break;
        }
        const next = text.indexOf('"', i);
        if (next < 0) throw new Error('unterminated quoted field');
        value += text.slice(i, next);
        i = next;
      }
    } else {
      let j = i;
      while (j < n && text[j] !== ',' && text[j] !== '\n') j++;
      value = text.slice(i, j);
      i = j;
    }
    row.push({ v: value, q: quoted });
    if (i >= n || text[i] === '\n') {
      rows.push(row);
      row = [];
      i++;
    } else if (text[i] === ',') {
      i++;
      if (i >= n) row.push({ v: '', q: false }); // input ends in an empty last field
    } else {
      throw new Error(`unexpected character after a quoted field at offset ${i}`);
    }
  }
  if (row.length) rows.push(row);
  return rows;
}
