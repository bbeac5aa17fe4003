"""Where the package finds liborbilo_sdk.so.1: ORBILO_SDK_LIBRARY, then the
library directory beside the installed package, then the system's path; an
import error that names every path it tried."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import orbilo

LIBRARY = os.environ["ORBILO_SDK_LIBRARY"]
PACKAGE = os.path.dirname(orbilo.__file__)
REPORT = "import orbilo; print(orbilo._lib._name)"


class LoadingTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        # The installed layout: PREFIX/lib/python3/dist-packages/orbilo.
        self.lib = os.path.join(scratch.name, "lib")
        self.path = os.path.join(self.lib, "python3", "dist-packages")
        shutil.copytree(PACKAGE, os.path.join(self.path, "orbilo"),
                        ignore=shutil.ignore_patterns("__pycache__"))

    def run_python(self, chosen):
        environment = {key: value for key, value in os.environ.items()
                       if key not in ("ORBILO_SDK_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH")}
        environment["PYTHONPATH"] = self.path
        if chosen is not None:
            environment["ORBILO_SDK_LIBRARY"] = chosen
        return subprocess.run([sys.executable, "-c", REPORT], env=environment, capture_output=True,
                              text=True, cwd=self.lib)

    def test_the_order_of_the_places_tried(self):
        beside = os.path.join(self.lib, "liborbilo_sdk.so.1")
        missing = os.path.join(self.lib, "missing.so")
        for put_beside, chosen, loaded in ((False, LIBRARY, LIBRARY), (True, missing, beside),
                                           (True, None, beside)):
            if put_beside and not os.path.exists(beside):
                shutil.copy(LIBRARY, beside)
            result = self.run_python(chosen)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout.strip(), loaded)

    def test_the_import_error_names_every_path_tried(self):
        missing = os.path.join(self.lib, "missing.so")
        result = self.run_python(missing)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("ImportError: orbilo: cannot load liborbilo_sdk.so.1; tried: " + missing, result.stderr)
        self.assertIn(os.path.join(self.lib, "liborbilo_sdk.so.1"), result.stderr)
        self.assertIn("; liborbilo_sdk.so.1 (", result.stderr)


if __name__ == "__main__":
    unittest.main()
