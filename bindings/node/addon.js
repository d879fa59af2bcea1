'use strict';
// Where the addon is: the one built from source (npm install --build-from-source) when there
// is one, else the one prebuilt for this platform in prebuilds/<platform>-<arch>/. The Linux
// prebuild needs glibc, so elsewhere (musl) it counts as missing.
const fs = require('fs');
const path = require('path');

const built = path.join(__dirname, 'build', 'computer_id.node');
const platform = `${process.platform}-${process.arch}`;

function glibc() {
  return process.platform !== 'linux' ||
    Boolean(process.report.getReport().header.glibcVersionRuntime);
}

// The prebuilt addon's path, or null when none fits this platform.
function prebuilt() {
  const file = path.join(__dirname, 'prebuilds', platform, 'computer_id.node');
  return glibc() && fs.existsSync(file) ? file : null;
}

function load() {
  const file = fs.existsSync(built) ? built : prebuilt();
  if (file === null) {
    throw new Error(`computer-id has no addon for ${platform}${glibc() ? '' : ' without glibc'}; ` +
      'install it with npm install --build-from-source');
  }
  return require(file);
}

module.exports = { built, load, prebuilt };
