'use strict';
// What a call of the npm package costs: the first computerIdSync() (which also chooses the
// digest engines) and the median of the next 1,000, then the same for computerId(), each
// call awaited before the next. Run by hand in a project where computer-id is installed, or
// with the package's folder as the argument:
//   node call_cost.js [path/to/computer-id]
// and under strace -f -e trace=execve, to see that no call starts a program.
const { performance } = require('perf_hooks');

const CALLS = 1000;

// The first call's time and the median of the next CALLS, in milliseconds.
async function cost(call) {
  const times = [];
  for (let i = 0; i <= CALLS; i += 1) {
    const start = performance.now();
    await call();
    times.push(performance.now() - start);
  }
  const next = times.slice(1).sort((a, b) => a - b);
  return { first: times[0], median: (next[CALLS / 2 - 1] + next[CALLS / 2]) / 2 };
}

async function main() {
  const start = performance.now();
  const computerId = require(require.resolve(process.argv[2] || 'computer-id',
    { paths: [process.cwd()] }));
  const loading = performance.now() - start;
  const sync = await cost(() => computerId.computerIdSync());
  const promise = await cost(() => computerId.computerId());
  console.log(`Node ${process.version}, computer-id ${computerId.version}, in milliseconds:`);
  console.log(`  require: ${loading.toFixed(3)}`);
  for (const [name, { first, median }] of [['computerIdSync()', sync], ['computerId()', promise]]) {
    console.log(`  ${name}: first ${first.toFixed(3)}, median of the next ${CALLS} ` +
      `${median.toFixed(3)}`);
  }
}

main();
