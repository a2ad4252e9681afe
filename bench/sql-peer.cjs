// The benchmark's peer: a general SQL engine settling the same day with one
// query written from the settlement rules, to time the program against.
//
//   node sql-peer.cjs MODULES DIR
//
// MODULES is the node_modules folder the engine's client was installed into
// (make bench installs it in the build folder). Prints the two totals and the
// query's wall time in seconds: "BUS METRO SECONDS".
//
// The query is exact on the benchmark days, whose lines are all of the form
// time,mode,inout,amount,text and whose journeys have distinct times: there
// an ordering of legs by time is the one order, so a window sum gives each
// leg's running amount.
'use strict';
const path = require('path');

const [modules, dir] = process.argv.slice(2);
const { DuckDBInstance } = require(path.join(modules, '@duckdb/node-api'));

const COLUMNS = `columns = {'LastTime': 'INTEGER', 'Mot': 'INTEGER',
  'InOut': 'INTEGER', 'Balance': 'INTEGER', 'TerminalInfo': 'VARCHAR'},
  delim = ',', header = false, auto_detect = false, quote = '', escape = ''`;

function quoted(file) {
  return `'${path.join(dir, file).replace(/'/g, "''")}'`;
}

const METRO_FILES = [1, 2, 3, 4, 5].map(i => quoted(`paymentData_700${i}.txt`));

// A transfer journey is every tap whose TerminalInfo some bus tap below 1050
// won carries. Its legs in time order; leg x gets
// total * running / (total + 1050), truncated (all amounts are positive on
// the benchmark days, so integer division truncates toward zero), credited
// to bus for Mot 1 and to metro otherwise. The other taps count for the side
// of the file they come from.
const QUERY = `
WITH bus AS (SELECT * FROM read_csv(${quoted('paymentData_5001.txt')}, ${COLUMNS})),
metro AS (SELECT * FROM read_csv([${METRO_FILES.join(', ')}], ${COLUMNS})),
taps AS (
  SELECT LastTime, Mot, Balance, TerminalInfo, true AS bus_file FROM bus
  UNION ALL
  SELECT LastTime, Mot, Balance, TerminalInfo, false AS bus_file FROM metro),
journeys AS (SELECT DISTINCT TerminalInfo FROM bus WHERE Balance < 1050),
legs AS (SELECT * FROM taps SEMI JOIN journeys USING (TerminalInfo)),
ordinary AS (SELECT * FROM taps ANTI JOIN journeys USING (TerminalInfo)),
shares AS (
  SELECT Mot,
    sum(Balance::BIGINT) OVER (PARTITION BY TerminalInfo) AS total,
    sum(Balance::BIGINT) OVER (PARTITION BY TerminalInfo ORDER BY LastTime
      ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW) AS running
  FROM legs),
credit AS (
  SELECT coalesce(sum(CASE WHEN Mot = 1 THEN total * running // (total + 1050) END), 0) AS bus,
         coalesce(sum(CASE WHEN Mot <> 1 THEN total * running // (total + 1050) END), 0) AS metro
  FROM shares),
plain AS (
  SELECT coalesce(sum(CASE WHEN bus_file THEN Balance END), 0) AS bus,
         coalesce(sum(CASE WHEN NOT bus_file THEN Balance END), 0) AS metro
  FROM ordinary)
SELECT (plain.bus + credit.bus)::VARCHAR, (plain.metro + credit.metro)::VARCHAR
FROM plain, credit`;

async function main() {
  const start = process.hrtime.bigint();
  const instance = await DuckDBInstance.create(':memory:');
  const connection = await instance.connect();
  const reader = await connection.runAndReadAll(QUERY);
  const [bus, metro] = reader.getRows()[0];
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  console.log(`${bus} ${metro} ${seconds.toFixed(3)}`);
}

main().catch(error => {
  console.error(`sql-peer: ${error.message}`);
  process.exit(1);
});
