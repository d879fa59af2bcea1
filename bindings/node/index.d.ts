/** Why the library gave no result. */
export declare class ComputerIdError extends Error {
  /** The C interface's status, 1 to 6. */
  readonly status: number;
  readonly code: 'NO_ID' | 'OUT_OF_MEMORY' | 'BUFFER_TOO_SMALL' | 'INVALID_ARGUMENT' |
    'INTERNAL_ERROR' | 'KEY_MISMATCH';
}

/** What the ID rests on, without any of its values. */
export interface Description {
  objects: {
    class: string;
    properties: {
      name: string;
      state: 'value' | 'null' | 'access denied' | 'failed';
      placeholder: boolean;
    }[];
  }[];
  hypervisor: boolean;
  hypervisor_vendor: string;
  serial_number_backed: boolean;
  verdict: 'serial number' | 'model only';
}

/** An application key: at least 16 secret bytes. */
export type AppKey = Buffer | Uint8Array;

/** The ID as the console program prints it after "comp id = ", from libuv's thread pool. */
export declare function computerId(): Promise<string>;
/** The ID; trace, when given, is called with each trace line (ending in "\n") as it is made,
 * and what it throws is thrown once the run has ended. */
export declare function computerIdSync(options?: { trace?: (line: string) => void }): string;
/** This application's ID of the machine: 64 hex digits that other keys cannot match. */
export declare function appId(key: AppKey): Promise<string>;
export declare function appIdSync(key: AppKey): string;
export declare function describe(): Promise<Description>;
export declare function describeSync(): Description;
/** This machine's fingerprint for the application of key: a short ASCII text to store and
 * later hand to match() with a fresh one. */
export declare function fingerprint(key: AppKey): Promise<string>;
export declare function fingerprintSync(key: AppKey): string;

/** What match() found: the verdict, and the parts that differ or are present on one side only,
 * in this order. */
export interface Match {
  verdict: 'same' | 'same machine' | 'different' | 'undecided';
  changed: ('processor' | 'board' | 'board serial' | 'bios' | 'bios serial')[];
}

/** Compares a stored fingerprint with a current one of the same key, without reading the
 * hardware. Throws ComputerIdError: INVALID_ARGUMENT for a text that is no fingerprint,
 * KEY_MISMATCH for fingerprints of different keys. */
export declare function match(stored: string, current: string): Match;
/** The library's version, "major.minor.patch". */
export declare const version: string;
