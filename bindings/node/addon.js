'use strict';
// Where the addon is: the one built from source (npm install --build-from-source) when there
// is one, else the one prebuilt for this platform in prebuilds/<platform>-<arch>/.
const fs = require('fs');
const path = require('path');

const built = path.join(__dirname, 'build', 'computer_id.node');
const platform = `${process.platform}-${process.arch}`;
const prebuiltFile = path.join(__dirname, 'prebuilds', platform, 'computer_id.node');

// The prebuilt addon when it fits this machine, else null: the Linux one needs glibc, so it
// does not fit with musl. For the install step; asking Node's report costs milliseconds.
function prebuilt() {
  const glibc = process.platform !== 'linux' ||
    Boolean(process.report.getReport().header.glibcVersionRuntime);
  return glibc && fs.existsSync(prebuiltFile) ? prebuiltFile : null;
}

function load() {
  if (fs.existsSync(built)) {
    return require(built);
  }
  if (!fs.existsSync(prebuiltFile)) {
    throw new Error(`computer-id has no addon for ${platform}; ` +
      'install it with npm install --build-from-source');
  }
  return require(prebuiltFile);
}

module.exports = { built, load, prebuilt };
