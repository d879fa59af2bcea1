// The package for import: the same objects as require('computer-id').
import computerIdPackage from './index.js';

export const {
  ComputerIdError,
  appId,
  appIdSync,
  computerId,
  computerIdSync,
  describe,
  describeSync,
  version,
} = computerIdPackage;
export default computerIdPackage;
