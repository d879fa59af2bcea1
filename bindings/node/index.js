'use strict';
// This machine's computer ID, from the computer_id library that the addon links in. The
// Promise forms run on libuv's thread pool; the sync forms block the calling thread for one
// run of the pipeline.
const addon = require('./addon').load();

// The C interface's statuses 1 to 5, by name (computer_id/c_interface.h).
const CODES = ['NO_ID', 'OUT_OF_MEMORY', 'BUFFER_TOO_SMALL', 'INVALID_ARGUMENT', 'INTERNAL_ERROR'];

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
  version: addon.version,
};
