"""This machine's computer ID, from the C interface of the computer_id library.

    import computer_id
    print(computer_id.get())

Standard library only: the module loads libcomputer_id.so.0 on Linux and computer_id.dll
(the one beside this file, else the one Windows finds) on Windows.
"""
import ctypes
import os
import sys

__all__ = ["ComputerIDError", "get", "version"]

# The C interface's status codes and sizes (computer_id/c_interface.h).
OK = 0
NO_ID = 1
OUT_OF_MEMORY = 2
BUFFER_TOO_SMALL = 3
INVALID_ARGUMENT = 4
INTERNAL_ERROR = 5
_ID_SIZE = 65
_MESSAGE_SIZE = 1024


class ComputerIDError(Exception):
    """The library gave no ID: .status is its status code, .message (also str()) why."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


def _load_library():
    if sys.platform == "win32":
        beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "computer_id.dll")
        return ctypes.CDLL(beside if os.path.exists(beside) else "computer_id.dll")
    return ctypes.CDLL("libcomputer_id.so.0")


_library = _load_library()
_TraceWriter = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(ctypes.c_char),
                                ctypes.c_size_t)
_buffers = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t]
_library.computer_id_get.argtypes = _buffers
_library.computer_id_get.restype = ctypes.c_int
_library.computer_id_get_traced.argtypes = [_TraceWriter, ctypes.c_void_p] + _buffers
_library.computer_id_get_traced.restype = ctypes.c_int
_library.computer_id_version.argtypes = []
_library.computer_id_version.restype = ctypes.c_char_p


def _text(data):
    # The library's texts are bytes; the trace carries each character of a hardware string
    # as one byte, which Latin-1 maps back without fail.
    return data.decode("latin-1")


def get(trace=None):
    """Returns the ID as the console program prints it after "comp id = ".

    trace, when given, is called with each trace line (a str ending in a newline) as the
    library makes it; what it raises is raised once the library returns. Raises
    ComputerIDError when there is no ID, MemoryError when memory ran out.
    """
    id_buffer = ctypes.create_string_buffer(_ID_SIZE)
    message = ctypes.create_string_buffer(_MESSAGE_SIZE)
    if trace is None:
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
    if status == OUT_OF_MEMORY:
        raise MemoryError(_text(message.value))
    if status != OK:
        raise ComputerIDError(status, _text(message.value))
    return _text(id_buffer.value)


def version():
    """The library's version, "major.minor.patch"."""
    return _text(_library.computer_id_version())
