"""Reads the standard output of computer_id (computer_id.exe, or the Linux program with
line_end="\n") and checks it line by line against the trace that a successful run must
write, whatever objects and values WMI returned."""

import hashlib
import re
from dataclasses import dataclass, field

QUERIES = [
    (
        "Win32_Processor",
        "SELECT DeviceID, Manufacturer, Name, Description, ProcessorID FROM Win32_Processor",
        ["DeviceID", "Manufacturer", "Name", "Description", "ProcessorID"],
    ),
    (
        "Win32_BaseBoard",
        "SELECT SerialNumber, Manufacturer, Product, Model, OtherIdentifyingInfo "
        "FROM Win32_BaseBoard",
        ["SerialNumber", "Manufacturer", "Product", "Model", "OtherIdentifyingInfo"],
    ),
    (
        "Win32_BIOS",
        "SELECT Manufacturer, SerialNumber FROM Win32_BIOS",
        ["Manufacturer", "SerialNumber"],
    ),
]

VT_BSTR = 8
WBEM_S_FALSE = 1

# Integers on the traced stream: lowercase hex, no prefix, no leading zero.
_HEX32 = r"(0|[1-9a-f][0-9a-f]{0,7})"
_HEX16 = r"(0|[1-9a-f][0-9a-f]{0,3})"
_POINTER = r"([0-9A-F]{16})"
_COMP_ID = r"([0-9a-f]{33,64})"


class TranscriptError(Exception):
    pass


@dataclass
class PropertyRead:
    name: str
    hr: int
    vt: int

    @property
    def adds_text(self):
        return self.hr == 0 and self.vt == VT_BSTR


@dataclass
class QueryRun:
    wmi_class: str
    objects: list = field(default_factory=list)  # one list of PropertyRead per object


@dataclass
class Transcript:
    lines: list
    queries: list
    comp_id: str


def is_failure(hr):
    return hr >= 0x80000000


class _Cursor:
    def __init__(self, lines):
        self.lines = lines
        self.index = 0

    def _next(self, wanted):
        if self.index == len(self.lines):
            raise TranscriptError(f"transcript ends where {wanted} should follow")
        line = self.lines[self.index]
        self.index += 1
        return line

    def fail(self, reason):
        raise TranscriptError(f"line {self.index}: {reason}: {self.lines[self.index - 1]!r}")

    def expect(self, text):
        if self._next(repr(text)) != text:
            self.fail(f"expected {text!r}")

    def match(self, pattern, what):
        match = re.fullmatch(pattern, self._next(what))
        if match is None:
            self.fail(f"expected {what}")
        return match.groups()

    def end(self):
        if self.index != len(self.lines):
            self.index += 1
            self.fail("nothing may follow the key prompt")


def split_lines(data, line_end="\r\n"):
    """Every line of the program's standard output ends in CR LF on Windows, where std::cout
    is in text mode and turns each "\\n" into CR LF, and in LF elsewhere. Any other CR or LF
    is a fault."""
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError as error:
        raise TranscriptError(f"non-ASCII byte at offset {error.start}") from None
    if not text.endswith(line_end):
        raise TranscriptError(f"output does not end in {line_end!r}")
    lines = text[: -len(line_end)].split(line_end)
    for number, line in enumerate(lines, 1):
        if "\r" in line or "\n" in line:
            raise TranscriptError(f"line {number}: bare CR or LF inside: {line!r}")
    return lines


def _pointer(text):
    return int(text, 16)


def _non_null(cursor, value, name):
    if value == 0:
        cursor.fail(f"{name} is null although the call succeeded")


def _query(cursor, wmi_class, query, properties, pLoc, pSvc, objects_required):
    run = QueryRun(wmi_class)
    cursor.expect(f"Call GetInfo( {query} )")
    (enumerator,) = cursor.match(rf"Done GetInfo\(\), hr = 0, pEnumerator = {_POINTER}",
                                 "a successful query")
    pEnumerator = _pointer(enumerator)
    _non_null(cursor, pEnumerator, "pEnumerator")
    if pEnumerator in (pLoc, pSvc):
        cursor.fail("pEnumerator equals another live interface pointer")

    passes = 0
    while True:
        cursor.expect(f"Do pEnumerator->Next() # {passes:x}")
        passes += 1
        hr, obj, returned = cursor.match(
            rf"hr= {_HEX32}, pclsObj = {_POINTER}, uReturn = {_HEX32}", "an enumeration step")
        hr, pclsObj, uReturn = int(hr, 16), _pointer(obj), int(returned, 16)
        if uReturn == 0:
            if hr != WBEM_S_FALSE:
                cursor.fail("the step past the last object must report WBEM_S_FALSE (1)")
            if pclsObj != 0:
                cursor.fail("no object returned, yet pclsObj is set")
            break
        if uReturn != 1:
            cursor.fail("one object is asked for at a time")
        if hr != 0:
            cursor.fail("a step that returned an object must report 0")
        _non_null(cursor, pclsObj, "pclsObj")
        if pclsObj in (pLoc, pSvc, pEnumerator):
            cursor.fail("pclsObj equals another live interface pointer")

        reads = []
        for name in properties:
            cursor.expect(f"pclsObj->Get( {name} )")
            hr, vt = cursor.match(rf"hr = {_HEX32}, vtProp.vt = {_HEX16}", "a property status")
            read = PropertyRead(name, int(hr, 16), int(vt, 16))
            if read.hr == 0:
                cursor.expect("Call VariantClear()")
                cursor.expect("Done VariantClear()")
            elif not is_failure(read.hr):
                cursor.fail("a property read reports 0 or a failure code, nothing else")
            reads.append(read)
        run.objects.append(reads)
        cursor.expect("Call pclsObj->Release()")
        cursor.expect("Done pclsObj->Release()")

    if objects_required and not run.objects:
        cursor.fail(f"WMI returned no {wmi_class} object")
    cursor.expect("Call pEnumerator->Release()")
    cursor.expect("Done pEnumerator->Release()")
    return run


def parse(data, line_end="\r\n", objects_required=True):
    """Checks a whole successful run and returns what it traced; raises TranscriptError at
    the first line that does not belong there, or, with objects_required, at a query that
    returned no object."""
    lines = split_lines(data, line_end)
    cursor = _Cursor(lines)
    for text in ("Calling InitializeCOM", "Done InitializeCOM", "Calling GetComputerID",
                 "In GetComputerID", "InitializeCOM", "Done InitializeCOM",
                 "In CreateComputerID(), flags = 0x7", "Call CoCreateInstance",
                 "Done CoCreateInstance, hr = 0"):
        cursor.expect(text)
    (loc,) = cursor.match(rf"pLoc = {_POINTER}", "pLoc")
    pLoc = _pointer(loc)
    _non_null(cursor, pLoc, "pLoc")
    cursor.expect("Call pLoc->ConnectServer")
    (svc,) = cursor.match(rf"Done ConnectServer, hr = 0, pSvc = {_POINTER}",
                          "a successful connection")
    pSvc = _pointer(svc)
    _non_null(cursor, pSvc, "pSvc")
    if pSvc == pLoc:
        cursor.fail("pSvc equals pLoc")
    cursor.expect("Call CoSetProxyBlanket")
    cursor.expect("Done CoSetProxyBlanket")

    queries = [_query(cursor, wmi_class, query, properties, pLoc, pSvc, objects_required)
               for wmi_class, query, properties in QUERIES]

    for text in ("Call pSvc->Release()", "Done pSvc->Release()", "Call pLoc->Release()",
                 "Done pLoc->Release()", "Done GetComputerID"):
        cursor.expect(text)
    (comp_id,) = cursor.match(rf"comp id = {_COMP_ID}", "the ID line")
    cursor.expect("Press any key..")
    cursor.end()
    return Transcript(lines, queries, comp_id)


def computer_id(platform_info):
    """The ID of a platform information text: SHA-256, first byte as two digits, every later
    byte without its leading zero."""
    digest = hashlib.sha256(platform_info).digest()
    return f"{digest[0]:02x}" + "".join(f"{byte:x}" for byte in digest[1:])


def narrow(units):
    """A text of UTF-16 code units as the program narrows it: the low byte of each unit."""
    return bytes(ord(unit) & 0xFF for unit in units)
