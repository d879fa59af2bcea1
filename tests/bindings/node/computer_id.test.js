'use strict';
// The npm package as its users load it, against the console program: the ID it printed
// (COMPUTER_ID_EXPECTED_ID), the application ID and verdict print_id gave for a key
// (COMPUTER_ID_APP_KEY, COMPUTER_ID_EXPECTED_APP_ID, COMPUTER_ID_EXPECTED_VERDICT), print_id's
// fingerprints and match (as the Python binding's test takes them), or the failure of an addon
// scripted to fail (COMPUTER_ID_EXPECTED_STATUS, _MESSAGE).
const assert = require('node:assert/strict');
const { describe, test } = require('node:test');
const computerId = require('computer-id');

const env = process.env;
const CODES = { 1: 'NO_ID', 4: 'INVALID_ARGUMENT', 6: 'KEY_MISMATCH' };

function isError(status, message) {
  return (error) => {
    assert.ok(error instanceof computerId.ComputerIdError && error instanceof Error);
    assert.equal(error.status, status);
    assert.equal(error.code, CODES[status]);
    if (message !== undefined) {
      assert.equal(error.message, message);
    }
    return true;
  };
}

describe('the ID', { skip: !env.COMPUTER_ID_EXPECTED_ID }, () => {
  const expected = env.COMPUTER_ID_EXPECTED_ID;

  test('is the console program\'s, in both forms', async () => {
    assert.equal(computerId.computerIdSync(), expected);
    assert.equal(await computerId.computerId(), expected);
  });

  test('hands over each trace line, and throws what the trace function threw', () => {
    const lines = [];
    assert.equal(computerId.computerIdSync({ trace: (line) => lines.push(line) }), expected);
    assert.equal(lines[0], 'In GetComputerID\n');
    assert.ok(lines.every((line) => line.indexOf('\n') === line.length - 1));
    const thrown = new RangeError('trace');
    let calls = 0;
    assert.throws(() => computerId.computerIdSync({ trace: () => { calls += 1; throw thrown; } }),
      (error) => error === thrown);
    assert.equal(calls, 1);
  });

  test('leaves the event loop running while a Promise form runs', async () => {
    // Were the call made on the event loop, its Promise would be settled already and the
    // awaits would chain as microtasks, with no timer firing before the last call.
    let ticks = 0;
    const timer = setInterval(() => { ticks += 1; }, 1);
    for (let calls = 0; ticks < 3 && calls < 20000; calls += 1) {
      await computerId.computerId();
    }
    clearInterval(timer);
    assert.ok(ticks >= 3, `${ticks} timer ticks`);
  });

  test('gives the library\'s version, the package\'s', () => {
    assert.equal(computerId.version, require('computer-id/package.json').version);
  });
});

describe('the application ID', { skip: !env.COMPUTER_ID_APP_KEY }, () => {
  const key = Buffer.from(env.COMPUTER_ID_APP_KEY, 'hex');

  test('is print_id\'s for a Buffer and a Uint8Array, in both forms', async () => {
    assert.equal(computerId.appIdSync(key), env.COMPUTER_ID_EXPECTED_APP_ID);
    assert.equal(await computerId.appId(new Uint8Array(key)), env.COMPUTER_ID_EXPECTED_APP_ID);
  });

  test('refuses a short key with INVALID_ARGUMENT', async () => {
    assert.throws(() => computerId.appIdSync(key.subarray(0, 15)), isError(4));
    await assert.rejects(computerId.appId(key.subarray(0, 15)), isError(4));
  });

  test('refuses keys that are not Buffer or Uint8Array with TypeError', async () => {
    for (const notBytes of [env.COMPUTER_ID_APP_KEY, 16, [...key], key.buffer,
      new Uint16Array(16), new Uint8ClampedArray(key), new DataView(key.buffer), undefined]) {
      assert.throws(() => computerId.appIdSync(notBytes), TypeError);
      await assert.rejects(computerId.appId(notBytes), TypeError);
    }
  });

  test('rests on print_id\'s verdict', async () => {
    for (const description of [computerId.describeSync(), await computerId.describe()]) {
      assert.equal(description.verdict, env.COMPUTER_ID_EXPECTED_VERDICT);
      assert.equal(description.objects[0].class, 'Win32_Processor');
    }
  });
});

describe('the fingerprint', { skip: !env.COMPUTER_ID_EXPECTED_FINGERPRINT }, () => {
  test('and match are print_id\'s; short keys, other keys and damaged texts refused', async () => {
    const key = Buffer.from(env.COMPUTER_ID_APP_KEY, 'hex');
    const stored = computerId.fingerprintSync(key);
    assert.equal(stored, env.COMPUTER_ID_EXPECTED_FINGERPRINT);
    assert.equal(await computerId.fingerprint(Buffer.from(env.COMPUTER_ID_OTHER_KEY, 'hex')),
      env.COMPUTER_ID_OTHER_FINGERPRINT);
    await assert.rejects(computerId.fingerprint(key.subarray(0, 15)), isError(4));
    assert.deepEqual(computerId.match(stored, stored), { verdict: 'same', changed: [] });
    const [verdict, changed] = env.COMPUTER_ID_EXPECTED_MATCH.split('\n')
      .map((line) => line.slice(line.indexOf(': ') + 2));
    assert.deepEqual(computerId.match(stored, env.COMPUTER_ID_CHANGED_FINGERPRINT),
      { verdict, changed: changed === 'none' ? [] : changed.split(', ') });
    assert.throws(() => computerId.match(stored, env.COMPUTER_ID_OTHER_FINGERPRINT), isError(6));
    assert.throws(() => computerId.match(stored, stored.slice(0, 40)), isError(4));
    assert.throws(() => computerId.match(`${stored}\0${stored}`, stored), isError(4));
    assert.throws(() => computerId.match(stored, Buffer.from(stored)), TypeError);
  });
});

describe('a failing inventory', { skip: !env.COMPUTER_ID_EXPECTED_MESSAGE }, () => {
  const status = Number(env.COMPUTER_ID_EXPECTED_STATUS);
  const message = env.COMPUTER_ID_EXPECTED_MESSAGE;

  test('gives ComputerIdError with the C interface\'s status and message', async () => {
    assert.throws(() => computerId.computerIdSync(), isError(status, message));
    await assert.rejects(computerId.computerId(), isError(status, message));
    assert.throws(() => computerId.appIdSync(Buffer.alloc(16)), isError(status, message));
    assert.throws(() => computerId.describeSync(), isError(status, message));
    await assert.rejects(computerId.fingerprint(Buffer.alloc(16)), isError(status, message));
    await assert.rejects(computerId.describe(), isError(status, message));
  });
});
