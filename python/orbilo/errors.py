"""orbilo.Error: a call of the library that failed, with its result code."""
from ._library import lib


def result_text(code):
    """The library's text for a result code (its decimal form when it has none)."""
    return lib.api_result_text(code).decode("latin-1")


class Error(Exception):
    """A failed call: .code is its result code, .text the library's text for it.

    str(error) reads like "invalid password (13)"."""

    def __init__(self, code):
        self.code = code
        self.text = result_text(code)
        super().__init__(code, self.text)

    def __str__(self):
        return f"{self.text} ({self.code})"


def check(code):
    """Raises Error for a failure code; returns nothing for 0."""
    if code != 0:
        raise Error(code)


Error.__module__ = "orbilo"  # shown as orbilo.Error in tracebacks
