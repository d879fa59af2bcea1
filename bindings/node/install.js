'use strict';
// npm's install step. Where a prebuilt addon fits, there is nothing to do, unless npm was
// asked to build from source (npm install --build-from-source): then CMake builds the addon
// with this machine's compiler over the project's sources in project/, with Node-API's
// headers from the node-api-headers and node-addon-api bundled in the package, and puts it
// where addon.js looks first.
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const addon = require('./addon');

if (process.env.npm_config_build_from_source !== 'true' && addon.prebuilt() !== null) {
  process.exit(0);
}
const cmakeBuild = path.join(__dirname, 'build', 'cmake');
const cmake = (...args) => execFileSync('cmake', args, { stdio: 'inherit' });
cmake('-S', path.join(__dirname, 'project'), '-B', cmakeBuild, '-DCMAKE_BUILD_TYPE=Release',
  '-DCOMPUTER_ID_BUILD_TESTS=OFF', '-DCOMPUTER_ID_BUILD_BENCHMARKS=OFF',
  '-DCOMPUTER_ID_INSTALL=OFF', `-DCOMPUTER_ID_NODE_MODULES=${__dirname}`);
cmake('--build', cmakeBuild, '--target', 'computer_id_node', '--config', 'Release');
fs.copyFileSync(path.join(cmakeBuild, 'bindings', 'node', 'computer_id.node'), addon.built);
