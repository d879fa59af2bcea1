"""This machine's computer ID, from the C interface of the computer_id library.

    import computer_id
    print(computer_id.get())                    # the machine's ID
    print(computer_id.get(app_key=key))         # this application's ID of the machine
    print(computer_id.describe()["verdict"])    # what the ID rests on
    stored = computer_id.fingerprint(key)        # kept, and later matched with a fresh one
    print(computer_id.match(stored, computer_id.fingerprint(key)))

Standard library only: the package loads libcomputer_id.so.0 on Linux and computer_id.dll
on Windows, the one beside this file (which the wheels carry) or else the one the system
finds; without it, importing the package raises ImportError.
"""
from __future__ import annotations

import ctypes
import json
import os
import sys
from collections.abc import Callable
from typing import Any

__all__ = ["ComputerIDError", "describe", "fingerprint", "get", "match", "version"]

# The C interface's status codes and sizes (computer_id/c_interface.h).
OK = 0
NO_ID = 1
OUT_OF_MEMORY = 2
BUFFER_TOO_SMALL = 3
INVALID_ARGUMENT = 4
INTERNAL_ERROR = 5
KEY_MISMATCH = 6
_ID_SIZE = 65
_FINGERPRINT_SIZE = 256
_MESSAGE_SIZE = 1024
MIN_APP_KEY_SIZE = 16
# match()'s verdicts by their number, and the parts by their bit in its changed mask.
_VERDICTS = ("same", "same machine", "different", "undecided")
_PARTS = ("processor", "board", "board serial", "bios", "bios serial")


class ComputerIDError(Exception):
    """The library gave no ID: .status is its status code, .message (also str()) why."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(message)
        self.status = status
        self.message = message


def _load_library():
    if sys.platform == "win32":
        name, source = "computer_id.dll", "in the bin folder of the computer-id .zip"
    else:
        name, source = "libcomputer_id.so.0", "installed by the package libcomputer-id0"
    # By its full path: a bare name is looked for along the loader's own search path, which
    # does not hold this folder.
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    path = beside if os.path.exists(beside) else name
    try:
        return ctypes.CDLL(path)
    except OSError as error:
        raise ImportError(f"computer_id cannot load {name} ({source})", name=__name__) from error


_library = _load_library()
_TraceWriter = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(ctypes.c_char),
                                ctypes.c_size_t)
_buffers = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t]
_library.computer_id_get.argtypes = _buffers
_library.computer_id_get.restype = ctypes.c_int
_library.computer_id_get_traced.argtypes = [_TraceWriter, ctypes.c_void_p] + _buffers
_library.computer_id_get_traced.restype = ctypes.c_int
_library.computer_id_get_for_app.argtypes = [ctypes.c_char_p, ctypes.c_size_t] + _buffers
_library.computer_id_get_for_app.restype = ctypes.c_int
_library.computer_id_describe.argtypes = [ctypes.c_char_p, ctypes.c_size_t,
                                          ctypes.POINTER(ctypes.c_size_t), ctypes.c_char_p,
                                          ctypes.c_size_t]
_library.computer_id_describe.restype = ctypes.c_int
_library.computer_id_fingerprint.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p,
                                             ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t),
                                             ctypes.c_char_p, ctypes.c_size_t]
_library.computer_id_fingerprint.restype = ctypes.c_int
_library.computer_id_match.argtypes = [ctypes.c_char_p, ctypes.c_char_p,
                                       ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_uint),
                                       ctypes.c_char_p, ctypes.c_size_t]
_library.computer_id_match.restype = ctypes.c_int
_library.computer_id_version.argtypes = []
_library.computer_id_version.restype = ctypes.c_char_p


def _text(data):
    # The library's texts are bytes; the trace carries each character of a hardware string
    # as one byte, which Latin-1 maps back without fail.
    return data.decode("latin-1")


def _check(status, message):
    if status == OUT_OF_MEMORY:
        raise MemoryError(_text(message.value))
    if status != OK:
        raise ComputerIDError(status, _text(message.value))


def _key(app_key):
    # bytes() would also make a key of zeros from a number and one from the items of a list,
    # range or dict, none of them the key the caller holds.
    if not isinstance(app_key, (bytes, bytearray, memoryview)):
        raise TypeError(f"app_key must be bytes-like (bytes, bytearray or memoryview) with at "
                        f"least {MIN_APP_KEY_SIZE} bytes, not {type(app_key).__name__}")
    return bytes(app_key)


def get(trace: Callable[[str], object] | None = None,
        app_key: bytes | bytearray | memoryview | None = None) -> str:
    """Returns the ID as the console program prints it after "comp id = ".

    With app_key (bytes, bytearray or memoryview, at least MIN_APP_KEY_SIZE bytes: a random
    secret the application carries; anything else raises TypeError), returns this
    application's ID of the machine instead: 64 hex digits that other applications cannot
    match. trace, when given, is called with each trace line (a str ending in a newline) as
    the library makes it; what it raises is raised once the library returns. Raises
    ComputerIDError when there is no ID (status INVALID_ARGUMENT for a short key), MemoryError
    when memory ran out.
    """
    id_buffer = ctypes.create_string_buffer(_ID_SIZE)
    message = ctypes.create_string_buffer(_MESSAGE_SIZE)
    if app_key is not None:
        if trace is not None:
            raise TypeError("get() takes trace or app_key, not both")
        key = _key(app_key)
        status = _library.computer_id_get_for_app(key, len(key), id_buffer, _ID_SIZE, message,
                                                  _MESSAGE_SIZE)
    elif trace is None:
        status = _library.computer_id_get(id_buffer, _ID_SIZE, message, _MESSAGE_SIZE)
    else:
        raised = []

        def write(_context, text, size):
            if raised:
                return
            try:
                trace(_text(ctypes.string_at(text, size)))
            except BaseException as error:  # the library cannot carry it; raised below
                raised.append(error)

        status = _library.computer_id_get_traced(_TraceWriter(write), None, id_buffer,
                                                  _ID_SIZE, message, _MESSAGE_SIZE)
        if raised:
            raise raised[0]
    _check(status, message)
    return _text(id_buffer.value)


def describe() -> dict[str, Any]:
    """What the ID rests on, without any of its values, as a dict: "objects" (each with
    "class" and "properties", each with "name", "state" and "placeholder"), "hypervisor",
    "hypervisor_vendor", "serial_number_backed" and "verdict" ("serial number" or
    "model only"). Raises as get() does."""
    size = 4096
    while True:
        text = ctypes.create_string_buffer(size)
        needed = ctypes.c_size_t(0)
        message = ctypes.create_string_buffer(_MESSAGE_SIZE)
        status = _library.computer_id_describe(text, size, ctypes.byref(needed), message,
                                               _MESSAGE_SIZE)
        if status != BUFFER_TOO_SMALL or needed.value <= size:
            break
        size = needed.value
    _check(status, message)
    return json.loads(_text(text.value))


def fingerprint(app_key: bytes | bytearray | memoryview) -> str:
    """This machine's fingerprint for the application of app_key (the key as get() takes it):
    a short ASCII text to store and later hand to match() with a fresh one. Raises as get()
    does."""
    key = _key(app_key)
    text = ctypes.create_string_buffer(_FINGERPRINT_SIZE)
    message = ctypes.create_string_buffer(_MESSAGE_SIZE)
    status = _library.computer_id_fingerprint(key, len(key), text, _FINGERPRINT_SIZE, None, message,
                                              _MESSAGE_SIZE)
    _check(status, message)
    return _text(text.value)


def _fingerprint_text(text, side):
    if not isinstance(text, str):
        raise TypeError(f"{side} must be a str, not {type(text).__name__}")
    # The library would read only up to a NUL and so could take a damaged text for whole.
    if "\0" in text:
        raise ComputerIDError(INVALID_ARGUMENT, f"The {side} fingerprint holds a NUL character")
    # Characters outside ASCII stay as bytes that the library refuses as malformed.
    return text.encode("utf-8")


def match(stored: str, current: str) -> tuple[str, frozenset[str]]:
    """Compares a stored fingerprint with a current one of the same key, without reading the
    hardware: returns the verdict, "same", "same machine", "different" or "undecided", and
    the frozenset of the parts that changed, among "processor", "board", "board serial",
    "bios" and "bios serial". Raises ComputerIDError with status INVALID_ARGUMENT for a text
    that is no fingerprint, KEY_MISMATCH for fingerprints of different keys."""
    stored_text = _fingerprint_text(stored, "stored")
    current_text = _fingerprint_text(current, "current")
    verdict = ctypes.c_int(0)
    changed = ctypes.c_uint(0)
    message = ctypes.create_string_buffer(_MESSAGE_SIZE)
    status = _library.computer_id_match(stored_text, current_text, ctypes.byref(verdict),
                                        ctypes.byref(changed), message, _MESSAGE_SIZE)
    _check(status, message)
    return (_VERDICTS[verdict.value],
            frozenset(part for bit, part in enumerate(_PARTS) if changed.value & 1 << bit))


def version() -> str:
    """The library's version, "major.minor.patch"."""
    return _text(_library.computer_id_version())
