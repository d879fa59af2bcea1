// The package loaded with import gives the objects require gives.
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { test } from 'node:test';
import computerIdPackage, { ComputerIdError, computerIdSync, version } from 'computer-id';

test('import gives what require gives', () => {
  const required = createRequire(import.meta.url)('computer-id');
  assert.equal(computerIdPackage, required);
  assert.equal(computerIdSync, required.computerIdSync);
  assert.equal(ComputerIdError, required.ComputerIdError);
  assert.equal(version, required.version);
});
