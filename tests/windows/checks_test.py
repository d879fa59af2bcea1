"""The checks that the Wine run relies on must reject every fault they are there to find."""

import unittest

import program_test
import transcript
import wine_run

LOC = "0000000000A10010"
SVC = "0000000000A10070"
ENUMERATOR = "0000000000A20000"
NULL = "0" * 16


def object_pointer(number):
    return f"{0xB10000 + number * 0x40:016X}"


def trace(objects_per_query=(1, 1, 1), failed=("OtherIdentifyingInfo",), comp_id="a" * 64):
    """The lines of a successful run; each object reads every property, those in failed
    with WBEM_E_NOT_FOUND."""
    objects = [[(object_pointer(number),
                 [(0x80041002, 0) if name in failed else (0, transcript.VT_BSTR)
                  for name in properties])
                for number in range(count)]
               for (_, _, properties), count in zip(transcript.QUERIES, objects_per_query)]
    return transcript.successful_run(LOC, SVC, ENUMERATOR, objects, comp_id)


def output(lines):
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def replaced(lines, old, new):
    index = lines.index(old)
    return lines[:index] + [new] + lines[index + 1:]


class TranscriptAcceptsTest(unittest.TestCase):
    def test_a_run_with_one_object_per_query(self):
        result = transcript.parse(output(trace()))
        self.assertEqual(result.comp_id, "a" * 64)
        self.assertEqual([run.wmi_class for run in result.queries],
                         ["Win32_Processor", "Win32_BaseBoard", "Win32_BIOS"])
        self.assertEqual([len(run.objects) for run in result.queries], [1, 1, 1])
        board = result.queries[1].objects[0]
        self.assertEqual([(read.name, read.hr, read.vt) for read in board],
                         [("SerialNumber", 0, 8), ("Manufacturer", 0, 8), ("Product", 0, 8),
                          ("Model", 0, 8), ("OtherIdentifyingInfo", 0x80041002, 0)])
        self.assertEqual([read.adds_text for read in board], [True, True, True, True, False])

    def test_eleven_processors_count_their_passes_in_hex(self):
        lines = trace(objects_per_query=(11, 1, 1))
        self.assertIn("Do pEnumerator->Next() # a", lines)
        self.assertEqual(len(transcript.parse(output(lines)).queries[0].objects), 11)

    def test_a_null_value_is_cleared_but_adds_no_text(self):
        lines = trace(failed=())
        lines[lines.index("pclsObj->Get( Model )") + 1] = "hr = 0, vtProp.vt = 1"
        board = transcript.parse(output(lines)).queries[1].objects[0]
        self.assertEqual([read.adds_text for read in board], [True, True, True, False, True])

    def test_ids_of_thirty_three_digits(self):
        self.assertEqual(transcript.parse(output(trace(comp_id="b" * 33))).comp_id, "b" * 33)


class TranscriptRejectsTest(unittest.TestCase):
    def assertRejected(self, data):
        with self.assertRaises(transcript.TranscriptError):
            transcript.parse(data)

    def test_any_line_missing(self):
        lines = trace()
        for index in range(len(lines)):
            with self.subTest(line=lines[index]):
                self.assertRejected(output(lines[:index] + lines[index + 1:]))

    def test_any_line_twice(self):
        lines = trace()
        for index in range(len(lines)):
            with self.subTest(line=lines[index]):
                self.assertRejected(output(lines[:index + 1] + lines[index:]))

    def test_any_two_neighbours_swapped(self):
        lines = trace()
        for index in range(len(lines) - 1):
            if lines[index] == lines[index + 1]:
                continue
            swapped = list(lines)
            swapped[index], swapped[index + 1] = swapped[index + 1], swapped[index]
            with self.subTest(line=lines[index]):
                self.assertRejected(output(swapped))

    def test_line_ends_other_than_crlf(self):
        lines = trace()
        self.assertRejected("".join(line + "\n" for line in lines).encode())
        self.assertRejected(output(lines)[:-2])
        self.assertRejected(output(lines) + b"\r\n")
        self.assertRejected(output(replaced(lines, "Done InitializeCOM", "Done\rInitializeCOM")))

    def test_non_ascii_byte(self):
        self.assertRejected(output(trace()).replace(b"Press", b"Pr\xe9ss"))

    def test_text_after_the_prompt(self):
        self.assertRejected(output(trace() + ["Press any key.."]))

    def test_pointers_not_in_sixteen_uppercase_digits(self):
        for bad in ("0000000000a10010", "000000000A10010", "0x00000000A10010",
                    "00000000000A10010"):
            with self.subTest(pointer=bad):
                self.assertRejected(output(replaced(trace(), f"pLoc = {LOC}", f"pLoc = {bad}")))

    def test_null_pointers_after_success(self):
        lines = trace()
        self.assertRejected(output(replaced(lines, f"pLoc = {LOC}", f"pLoc = {NULL}")))
        self.assertRejected(output(replaced(
            lines, f"Done ConnectServer, hr = 0, pSvc = {SVC}",
            f"Done ConnectServer, hr = 0, pSvc = {NULL}")))
        self.assertRejected(output([line.replace(ENUMERATOR, NULL) for line in lines]))
        self.assertRejected(output([line.replace(object_pointer(0), NULL) for line in lines]))

    def test_the_same_pointer_for_two_live_interfaces(self):
        lines = trace()
        self.assertRejected(output([line.replace(SVC, LOC) for line in lines]))
        self.assertRejected(output([line.replace(ENUMERATOR, SVC) for line in lines]))
        self.assertRejected(output([line.replace(object_pointer(0), ENUMERATOR)
                                    for line in lines]))

    def test_failed_or_unexpected_statuses(self):
        lines = trace()
        for old, new in (
            ("Done CoCreateInstance, hr = 0", "Done CoCreateInstance, hr = 1"),
            (f"Done ConnectServer, hr = 0, pSvc = {SVC}",
             f"Done ConnectServer, hr = 80041003, pSvc = {SVC}"),
            (f"Done GetInfo(), hr = 0, pEnumerator = {ENUMERATOR}",
             f"Done GetInfo(), hr = 80041017, pEnumerator = {ENUMERATOR}"),
            (f"hr= 0, pclsObj = {object_pointer(0)}, uReturn = 1",
             f"hr= 1, pclsObj = {object_pointer(0)}, uReturn = 1"),
            (f"hr= 0, pclsObj = {object_pointer(0)}, uReturn = 1",
             f"hr= 0, pclsObj = {object_pointer(0)}, uReturn = 2"),
            (f"hr= 1, pclsObj = {NULL}, uReturn = 0", f"hr= 0, pclsObj = {NULL}, uReturn = 0"),
            (f"hr= 1, pclsObj = {NULL}, uReturn = 0",
             f"hr= 1, pclsObj = {object_pointer(0)}, uReturn = 0"),
            ("hr = 80041002, vtProp.vt = 0", "hr = 1, vtProp.vt = 0"),
        ):
            with self.subTest(line=new):
                self.assertRejected(output(replaced(lines, old, new)))

    def test_numbers_not_in_plain_lowercase_hex(self):
        lines = trace()
        for old, new in (
            ("hr = 80041002, vtProp.vt = 0", "hr = 8004100E, vtProp.vt = 0"),
            ("hr = 80041002, vtProp.vt = 0", "hr = 0x80041002, vtProp.vt = 0"),
            ("hr = 80041002, vtProp.vt = 0", "hr = -2147217406, vtProp.vt = 0"),
            ("hr = 80041002, vtProp.vt = 0", "hr = ffffffff80041002, vtProp.vt = 0"),
            ("hr = 80041002, vtProp.vt = 0", "hr = 80041002, vtProp.vt = 00"),
            ("Done CoCreateInstance, hr = 0", "Done CoCreateInstance, hr = 00"),
            ("In CreateComputerID(), flags = 0x7", "In CreateComputerID(), flags = 0x07"),
        ):
            with self.subTest(line=new):
                self.assertRejected(output(replaced(lines, old, new)))

    def test_pass_numbers_in_decimal(self):
        lines = trace(objects_per_query=(11, 1, 1))
        self.assertRejected(output(replaced(lines, "Do pEnumerator->Next() # a",
                                            "Do pEnumerator->Next() # 10")))

    def test_clear_lines_after_a_failed_read(self):
        lines = trace()
        index = lines.index("hr = 80041002, vtProp.vt = 0") + 1
        self.assertRejected(output(lines[:index] + ["Call VariantClear()", "Done VariantClear()"]
                                   + lines[index:]))

    def test_no_clear_lines_after_a_successful_read(self):
        lines = trace()
        index = lines.index("pclsObj->Get( Model )") + 2
        self.assertRejected(output(lines[:index] + lines[index + 2:]))

    def test_properties_in_another_order(self):
        lines = trace()
        lines = [line.replace("( Name )", "( X )").replace("( Description )", "( Name )")
                 .replace("( X )", "( Description )") for line in lines]
        self.assertRejected(output(lines))

    def test_a_query_without_objects(self):
        self.assertRejected(output(trace(objects_per_query=(1, 0, 1))))

    def test_a_second_release_of_the_object(self):
        lines = trace()
        index = lines.index("Done pEnumerator->Release()") + 1
        self.assertRejected(output(lines[:index] + ["Call again pclsObj->Release()",
                                                    "Done call again pclsObj->Release()"]
                                   + lines[index:]))

    def test_ids_of_the_wrong_shape(self):
        for bad in ("a" * 32, "a" * 65, "A" * 64, "g" * 64, " " + "a" * 64):
            with self.subTest(comp_id=bad):
                self.assertRejected(output(trace(comp_id=bad)))

    def test_a_failure_report_instead_of_the_id(self):
        lines = replaced(trace(), f"comp id = {'a' * 64}", "Failed to generate comp_id")
        self.assertRejected(output(lines))


class IdTest(unittest.TestCase):
    def test_abc(self):
        self.assertEqual(transcript.computer_id(b"abc"),
                         "ba7816bf8f1cfea414140de5dae2223b0361a396177a9cb410ff61f2015ad")

    def test_first_byte_keeps_its_leading_zero(self):
        # SHA-256 of "\n" starts with byte 0x01.
        self.assertEqual(transcript.computer_id(b"\n")[:2], "01")

    def test_narrowing_keeps_the_low_byte_of_each_code_unit(self):
        self.assertEqual(transcript.narrow("A\u00e9\u20ac\ud83d\ude00"), b"A\xe9\xac\x3d\x00")


def wmic_output(text):
    return b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")


class WmicColumnTest(unittest.TestCase):
    def test_one_value_keeps_its_own_trailing_spaces(self):
        self.assertEqual(program_test.wmic_column(wmic_output("Name      \r\nAMD EPYC   \r\n")),
                         ["AMD EPYC "])

    def test_an_empty_value(self):
        self.assertEqual(program_test.wmic_column(wmic_output("SerialNumber\r\n  \r\n")), [""])

    def test_several_values_in_order(self):
        self.assertEqual(program_test.wmic_column(
            wmic_output("DeviceId\r\nCPU0   \r\nCPU10  \r\n")),
            ["CPU0", "CPU10"])

    def test_code_units_pass_unchanged(self):
        self.assertEqual(program_test.wmic_column(wmic_output("Name\r\n\u20ac\ud83d\ude00  \r\n")),
                         ["\u20ac\ud83d\ude00"])

    def test_other_shapes_are_refused(self):
        for bad in (b"Name\r\nx  \r\n",
                    wmic_output("Name\r\nx  "),
                    wmic_output("Name\r\n"),
                    wmic_output("Name\r\nx\r\n"),
                    wmic_output("Name\r\nab  \r\nc  \r\n")):
            with self.subTest(output=bad):
                with self.assertRaises(ValueError):
                    program_test.wmic_column(bad)


class WineStartTest(unittest.TestCase):
    SHARED_DATA = (b"err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data:"
                   b" c0000018\n")
    START_EXE = (b"Application could not be started, or no application associated with the "
                 b"specified file.\nShellExecuteEx failed: Internal error.\r\n\n")

    def test_wines_report_alone_is_a_failed_start(self):
        self.assertTrue(wine_run.failed_to_start(1, b"", self.SHARED_DATA))
        self.assertTrue(wine_run.failed_to_start(1, self.START_EXE, self.SHARED_DATA))
        self.assertTrue(wine_run.failed_to_start(1, self.SHARED_DATA.replace(b"\n", b"\r\n")))

    def test_a_program_that_ran_and_failed_is_not(self):
        self.assertFalse(wine_run.failed_to_start(1, b"", b""))
        self.assertFalse(wine_run.failed_to_start(1, b"x\r\n", self.SHARED_DATA))
        self.assertFalse(wine_run.failed_to_start(1, b"", b"status 1: no ID\n"))
        self.assertFalse(wine_run.failed_to_start(2, self.START_EXE, self.SHARED_DATA))


if __name__ == "__main__":
    unittest.main()
