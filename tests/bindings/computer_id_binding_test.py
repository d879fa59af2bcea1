"""The Python binding against the library it loads: the ID the console program printed
(COMPUTER_ID_EXPECTED_ID) with the application ID, verdict and fingerprint that print_id gave
for a key (COMPUTER_ID_APP_KEY, COMPUTER_ID_EXPECTED_APP_ID, COMPUTER_ID_EXPECTED_VERDICT,
COMPUTER_ID_EXPECTED_FINGERPRINT), its fingerprint for another key (COMPUTER_ID_OTHER_KEY,
COMPUTER_ID_OTHER_FINGERPRINT) and its match of the first with a changed copy
(COMPUTER_ID_CHANGED_FINGERPRINT, COMPUTER_ID_EXPECTED_MATCH: print_id's two lines), or the
failure of a library scripted to fail (COMPUTER_ID_EXPECTED_STATUS and
COMPUTER_ID_EXPECTED_MESSAGE)."""
import os
import unittest

import computer_id

EXPECTED_ID = os.environ.get("COMPUTER_ID_EXPECTED_ID")
EXPECTED_MESSAGE = os.environ.get("COMPUTER_ID_EXPECTED_MESSAGE")


@unittest.skipUnless(EXPECTED_ID, "no expected ID given")
class IdTest(unittest.TestCase):
    def test_gives_the_console_programs_id(self):
        self.assertEqual(computer_id.get(), EXPECTED_ID)

    def test_hands_over_each_trace_line(self):
        lines = []
        self.assertEqual(computer_id.get(trace=lines.append), EXPECTED_ID)
        self.assertEqual(lines[0], "In GetComputerID\n")
        self.assertTrue(all(line.endswith("\n") and line.count("\n") == 1 for line in lines))

    def test_raises_what_the_trace_function_raised(self):
        def fail(_line):
            raise KeyError("trace")

        with self.assertRaises(KeyError):
            computer_id.get(trace=fail)


    def test_gives_print_ids_application_id_and_verdict(self):
        key = bytes.fromhex(os.environ["COMPUTER_ID_APP_KEY"])
        self.assertEqual(computer_id.get(app_key=key), os.environ["COMPUTER_ID_EXPECTED_APP_ID"])
        with self.assertRaises(computer_id.ComputerIDError) as raised:
            computer_id.get(app_key=key[:15])
        self.assertEqual(raised.exception.status, computer_id.INVALID_ARGUMENT)
        for same_key in bytearray(key), memoryview(key):
            self.assertEqual(computer_id.get(app_key=same_key),
                             os.environ["COMPUTER_ID_EXPECTED_APP_ID"])
        for not_bytes in 16, key.hex()[:16], list(key), range(16):
            with self.subTest(key=not_bytes), self.assertRaises(TypeError) as raised:
                computer_id.get(app_key=not_bytes)
            self.assertEqual(str(raised.exception), "app_key must be bytes-like (bytes, bytearray "
                             f"or memoryview) with at least 16 bytes, not {type(not_bytes).__name__}")
        description = computer_id.describe()
        self.assertEqual(description["verdict"], os.environ["COMPUTER_ID_EXPECTED_VERDICT"])
        self.assertEqual([o["class"] for o in description["objects"]][:1], ["Win32_Processor"])

    def test_gives_print_ids_fingerprints_and_match(self):
        stored, other = (computer_id.fingerprint(bytes.fromhex(os.environ[name]))
                         for name in ("COMPUTER_ID_APP_KEY", "COMPUTER_ID_OTHER_KEY"))
        self.assertEqual((stored, other), (os.environ["COMPUTER_ID_EXPECTED_FINGERPRINT"],
                                           os.environ["COMPUTER_ID_OTHER_FINGERPRINT"]))
        self.assertEqual(computer_id.match(stored, stored), ("same", frozenset()))
        printed = dict(line.split(": ")
                       for line in os.environ["COMPUTER_ID_EXPECTED_MATCH"].split("\n"))
        self.assertEqual(computer_id.match(stored, os.environ["COMPUTER_ID_CHANGED_FINGERPRINT"]),
                         (printed["verdict"], frozenset(printed["changed"].split(", ")) - {"none"}))
        invalid = computer_id.INVALID_ARGUMENT
        for status, call in ((computer_id.KEY_MISMATCH, lambda: computer_id.match(stored, other)),
                             (invalid, lambda: computer_id.match(stored, stored[:40])),
                             (invalid, lambda: computer_id.match(f"{stored}\0{stored}", stored)),
                             (invalid, lambda: computer_id.fingerprint(bytes(15)))):
            with self.assertRaises(computer_id.ComputerIDError) as raised:
                call()
            self.assertEqual(raised.exception.status, status)


@unittest.skipUnless(EXPECTED_MESSAGE, "no expected failure given")
class FailureTest(unittest.TestCase):
    def test_raises_the_status_and_message(self):
        with self.assertRaises(computer_id.ComputerIDError) as raised:
            computer_id.get()
        self.assertEqual(raised.exception.status, int(os.environ["COMPUTER_ID_EXPECTED_STATUS"]))
        self.assertEqual(raised.exception.message, EXPECTED_MESSAGE)
        self.assertEqual(str(raised.exception), EXPECTED_MESSAGE)


if __name__ == "__main__":
    unittest.main()
