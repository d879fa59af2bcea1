'use strict';
// This machine's computer ID, from the computer_id library that the addon links in. The
// Promise forms run on libuv's thread pool; the sync forms block the calling thread for one
// run of the pipeline.
const addon = require('./addon').load();

// The C interface's statuses 1 to 6, by name (computer_id/c_interface.h).
const CODES = ['NO_ID', 'OUT_OF_MEMORY', 'BUFFER_TOO_SMALL', 'INVALID_ARGUMENT', 'INTERNAL_ERROR',
  'KEY_MISMATCH'];
// match()'s verdicts by their number, and the parts by their bit in its changed mask.
const VERDICTS = ['same', 'same machine', 'different', 'undecided'];
const PARTS = ['processor', 'board', 'board serial', 'bios', 'bios serial'];

// The library gave no result: .status is the C interface's status, .code its name, and the
// message the C interface's (for NO_ID, what the console program prints after "Error: ").
class ComputerIdError extends Error {
  constructor(message, status) {
    super(message);
    this.name = 'ComputerIdError';
    this.status = status;
    this.code = CODES[status - 1];
  }
}

// The addon's [status, text]: the text on success, else its message thrown.
function result([status, text]) {
  if (status !== 0) {
    throw new ComputerIdError(text, status);
  }
  return text;
}

function computerIdSync(options) {
  return result(addon.idSync(options === undefined ? undefined : options.trace));
}

async function computerId() {
  return result(await addon.id());
}

function appIdSync(key) {
  return result(addon.appIdSync(key));
}

async function appId(key) {
  return result(await addon.appId(key));
}

function describeSync() {
  return JSON.parse(result(addon.describeSync()));
}

async function describe() {
  return JSON.parse(result(await addon.describe()));
}

function fingerprintSync(key) {
  return result(addon.fingerprintSync(key));
}

async function fingerprint(key) {
  return result(await addon.fingerprint(key));
}

function match(stored, current) {
  const [status, message, verdict, changed] = addon.match(stored, current);
  result([status, message]);
  return { verdict: VERDICTS[verdict], changed: PARTS.filter((part, bit) => changed & (1 << bit)) };
}

// One object literal of plain names, which Node reads without running the module to give
// import { computerId } from 'computer-id' the same names.
module.exports = {
  ComputerIdError,
  appId,
  appIdSync,
  computerId,
  computerIdSync,
  describe,
  describeSync,
  fingerprint,
  fingerprintSync,
  match,
  version: addon.version,
};
