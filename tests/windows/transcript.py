"""Reads the standard output of computer_id (computer_id.exe, or the Linux program with
line_end="\n") and checks it line by line against the trace that a successful run must
write, whatever objects and values WMI returned."""

import hashlib
import re
from dataclasses import dataclass, field


def _query(wmi_class, properties):
    return (wmi_class, f"SELECT {', '.join(properties)} FROM {wmi_class}", properties)


# Each query as (class, WQL text, properties in the order they are read).
QUERIES = [
    _query("Win32_Processor", ["DeviceID", "Manufacturer", "Name", "Description", "ProcessorID"]),
    _query("Win32_BaseBoard",
           ["SerialNumber", "Manufacturer", "Product", "Model", "OtherIdentifyingInfo"]),
    _query("Win32_BIOS", ["Manufacturer", "SerialNumber"]),
]

VT_BSTR = 8
WBEM_S_FALSE = 1

# The lines of a successful run, in order. A line with fields in braces is a form: writing
# fills the fields in, reading matches each against its pattern below.
START = ("Calling InitializeCOM", "Done InitializeCOM", "Calling GetComputerID",
         "In GetComputerID", "InitializeCOM", "Done InitializeCOM",
         "In CreateComputerID(), flags = 0x7", "Call CoCreateInstance")
LOCATOR_CREATED = "Done CoCreateInstance, hr = {hr}"
LOCATOR = "pLoc = {pLoc}"
CONNECT = "Call pLoc->ConnectServer"
CONNECTED = "Done ConnectServer, hr = {hr}, pSvc = {pSvc}"
PROXY_BLANKET = ("Call CoSetProxyBlanket", "Done CoSetProxyBlanket")
QUERY = "Call GetInfo( {query} )"
QUERY_DONE = "Done GetInfo(), hr = {hr}, pEnumerator = {pEnumerator}"
NEXT = "Do pEnumerator->Next() # {pass_number}"
NEXT_DONE = "hr= {hr}, pclsObj = {pclsObj}, uReturn = {uReturn}"
GET = "pclsObj->Get( {name} )"
GET_DONE = "hr = {hr}, vtProp.vt = {vt}"
CLEAR = ("Call VariantClear()", "Done VariantClear()")
OBJECT_RELEASED = ("Call pclsObj->Release()", "Done pclsObj->Release()")
ENUMERATOR_RELEASED = ("Call pEnumerator->Release()", "Done pEnumerator->Release()")
RELEASED = ("Call pSvc->Release()", "Done pSvc->Release()", "Call pLoc->Release()",
            "Done pLoc->Release()", "Done GetComputerID")
ID = "comp id = {comp_id}"
PROMPT = "Press any key.."

# Integers on the traced stream: lowercase hex, no prefix, no leading zero.
_HEX32 = r"(?:0|[1-9a-f][0-9a-f]{0,7})"
_HEX16 = r"(?:0|[1-9a-f][0-9a-f]{0,3})"
_POINTER = r"[0-9A-F]{16}"
_POINTERS = ("pLoc", "pSvc", "pEnumerator", "pclsObj")
_FIELDS = {"hr": _HEX32, "uReturn": _HEX32, "pass_number": _HEX32, "vt": _HEX16,
           "comp_id": r"[0-9a-f]{33,64}", **{name: _POINTER for name in _POINTERS}}


def _field_text(name, value):
    if isinstance(value, str):
        return value
    return f"{value:016X}" if name in _POINTERS else f"{value:x}"


def line(form, **values):
    """A line of the trace with its fields filled in, numbers written as the trace writes
    them."""
    return form.format(**{name: _field_text(name, value) for name, value in values.items()})


def _pattern(form, known):
    parts = re.split(r"\{(\w+)\}", form)
    pattern = ""
    for index, part in enumerate(parts):
        if index % 2 == 0:
            pattern += re.escape(part)
        elif part in known:
            pattern += re.escape(_field_text(part, known[part]))
        else:
            pattern += f"(?P<{part}>{_FIELDS[part]})"
    return pattern


def _field_value(name, text):
    return text if name == "comp_id" else int(text, 16)


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

    def take(self, form, what, **known):
        """The fields of the next line, which must have the form with the known fields."""
        match = re.fullmatch(_pattern(form, known), self._next(what))
        if match is None:
            self.fail(f"expected {what}")
        return {name: _field_value(name, text) for name, text in match.groupdict().items()}

    def expect_all(self, texts):
        for text in texts:
            self.expect(text)

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


def _non_null(cursor, value, name):
    if value == 0:
        cursor.fail(f"{name} is null although the call succeeded")


def _query(cursor, wmi_class, query, properties, pLoc, pSvc, objects_required):
    run = QueryRun(wmi_class)
    cursor.expect(line(QUERY, query=query))
    pEnumerator = cursor.take(QUERY_DONE, "a successful query", hr=0)["pEnumerator"]
    _non_null(cursor, pEnumerator, "pEnumerator")
    if pEnumerator in (pLoc, pSvc):
        cursor.fail("pEnumerator equals another live interface pointer")

    passes = 0
    while True:
        cursor.expect(line(NEXT, pass_number=passes))
        passes += 1
        step = cursor.take(NEXT_DONE, "an enumeration step")
        hr, pclsObj, uReturn = step["hr"], step["pclsObj"], step["uReturn"]
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
            cursor.expect(line(GET, name=name))
            status = cursor.take(GET_DONE, "a property status")
            read = PropertyRead(name, status["hr"], status["vt"])
            if read.hr == 0:
                cursor.expect_all(CLEAR)
            elif not is_failure(read.hr):
                cursor.fail("a property read reports 0 or a failure code, nothing else")
            reads.append(read)
        run.objects.append(reads)
        cursor.expect_all(OBJECT_RELEASED)

    if objects_required and not run.objects:
        cursor.fail(f"WMI returned no {wmi_class} object")
    cursor.expect_all(ENUMERATOR_RELEASED)
    return run


def parse(data, line_end="\r\n", objects_required=True):
    """Checks a whole successful run and returns what it traced; raises TranscriptError at
    the first line that does not belong there, or, with objects_required, at a query that
    returned no object."""
    lines = split_lines(data, line_end)
    cursor = _Cursor(lines)
    cursor.expect_all(START)
    cursor.expect(line(LOCATOR_CREATED, hr=0))
    pLoc = cursor.take(LOCATOR, "pLoc")["pLoc"]
    _non_null(cursor, pLoc, "pLoc")
    cursor.expect(CONNECT)
    pSvc = cursor.take(CONNECTED, "a successful connection", hr=0)["pSvc"]
    _non_null(cursor, pSvc, "pSvc")
    if pSvc == pLoc:
        cursor.fail("pSvc equals pLoc")
    cursor.expect_all(PROXY_BLANKET)

    queries = [_query(cursor, wmi_class, query, properties, pLoc, pSvc, objects_required)
               for wmi_class, query, properties in QUERIES]

    cursor.expect_all(RELEASED)
    comp_id = cursor.take(ID, "the ID line")["comp_id"]
    cursor.expect(PROMPT)
    cursor.end()
    return Transcript(lines, queries, comp_id)


def successful_run(pLoc, pSvc, pEnumerator, objects, comp_id):
    """The lines that parse accepts: objects holds, for each query, its objects as
    (pclsObj, [(hr, vt) for each property])."""
    lines = [*START, line(LOCATOR_CREATED, hr=0), line(LOCATOR, pLoc=pLoc), CONNECT,
             line(CONNECTED, hr=0, pSvc=pSvc), *PROXY_BLANKET]
    for (_, query, properties), query_objects in zip(QUERIES, objects):
        lines += [line(QUERY, query=query), line(QUERY_DONE, hr=0, pEnumerator=pEnumerator)]
        for number, (pclsObj, reads) in enumerate(query_objects):
            lines += [line(NEXT, pass_number=number),
                      line(NEXT_DONE, hr=0, pclsObj=pclsObj, uReturn=1)]
            for name, (hr, vt) in zip(properties, reads):
                lines += [line(GET, name=name), line(GET_DONE, hr=hr, vt=vt)]
                if hr == 0:
                    lines += CLEAR
            lines += OBJECT_RELEASED
        lines += [line(NEXT, pass_number=len(query_objects)),
                  line(NEXT_DONE, hr=WBEM_S_FALSE, pclsObj=0, uReturn=0), *ENUMERATOR_RELEASED]
    return lines + [*RELEASED, line(ID, comp_id=comp_id), PROMPT]


def computer_id(platform_info):
    """The ID of a platform information text: SHA-256, first byte as two digits, every later
    byte without its leading zero."""
    digest = hashlib.sha256(platform_info).digest()
    return f"{digest[0]:02x}" + "".join(f"{byte:x}" for byte in digest[1:])


def narrow(units):
    """A text of UTF-16 code units as the program narrows it: the low byte of each unit."""
    return bytes(ord(unit) & 0xFF for unit in units)
