"""The module's numbers against the headers, read here on their own, and
the attribute types against what the library's setters accept."""
import ctypes
import os
import re
import subprocess
import sys
import tempfile
import unittest

import orbilo
from support import SOURCE, Server

HEADERS = [os.path.join(SOURCE, "sdk", "sdk.h"), os.path.join(SOURCE, "include", "orbilo", "result_codes.h")]
NAMED = re.compile(r"^#define ((?:ATTR|EVENT|CALLBACK|RC)_[A-Z0-9_]+) (\d+)", re.M)


def header_numbers():
    numbers = {}
    for path in HEADERS:
        with open(path, encoding="utf-8") as header:
            numbers.update((name, int(value)) for name, value in NAMED.findall(header.read()))
    return numbers


class ConstantsTest(unittest.TestCase):
    def test_every_number_of_the_headers_is_in_the_module(self):
        numbers = header_numbers()
        self.assertGreater(len(numbers), 350)
        for name, value in numbers.items():
            self.assertEqual(getattr(orbilo, name), value, name)
        exported = {name for name in orbilo.__all__ if name.split("_")[0] in ("ATTR", "EVENT", "CALLBACK", "RC")}
        self.assertEqual(exported, set(numbers))
        self.assertEqual((orbilo.RC_INVALID_PASSWORD, orbilo.ATTR_AVATAR_X, orbilo.EVENT_CHAT,
                          orbilo.CALLBACK_ENTER, orbilo.ORBILO_SDK_BUILD), (13, 111, 6, 1, 24))
        self.assertIsInstance(orbilo.EVENT_AVATAR_ADD, orbilo.Event)
        self.assertIsInstance(orbilo.CALLBACK_LOGIN, orbilo.Callback)

    def test_the_committed_module_is_what_the_generator_writes(self):
        source = os.path.join(SOURCE, "python")
        with tempfile.TemporaryDirectory() as scratch:
            written = os.path.join(scratch, "_constants.py")
            subprocess.run([sys.executable, os.path.join(source, "tools", "gen_constants.py"), *HEADERS,
                            written], check=True)
            with open(written) as fresh, open(os.path.join(source, "orbilo", "_constants.py")) as kept:
                self.assertEqual(kept.read(), fresh.read(), "run python/tools/gen_constants.py")

    def test_attribute_types_are_those_that_the_setters_accept(self):
        library = ctypes.CDLL(os.environ["ORBILO_SDK_LIBRARY"])
        library.api_float_set.argtypes = [ctypes.c_int, ctypes.c_float]
        server = Server()
        self.assertEqual(library.api_init(orbilo.ORBILO_SDK_BUILD), 0)
        try:
            self.assertEqual(library.api_create(b"127.0.0.1", server.port, None), 0)
            setters = {"int": lambda n: library.api_int_set(n, 0),
                       "float": lambda n: library.api_float_set(n, 0.0),
                       "string": lambda n: library.api_string_set(n, b"")}
            for number, kind in orbilo._constants.TYPES.items():
                read_only = number in orbilo._constants.READ_ONLY
                for setter_kind, setter in setters.items():
                    accepts = setter_kind == kind or (setter_kind == "int" and kind == "bool")
                    expected = 451 if read_only else 0 if accepts else 449
                    self.assertEqual(setter(number), expected, (number, kind, setter_kind))
        finally:
            library.api_term()
            server.close()


if __name__ == "__main__":
    unittest.main()
