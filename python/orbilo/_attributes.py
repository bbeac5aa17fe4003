"""Reading and writing the current instance's attributes by their type.

Strings cross as single bytes, Latin-1 both ways. A value of the wrong
Python type is refused with TypeError before anything reaches the library;
the library itself refuses read-only attributes (RC_READ_ONLY) and texts
above 255 characters (RC_STRING_TOO_LONG).
"""
import ctypes

from . import _constants as c
from ._library import lib
from .errors import Error, check

INT, BOOL, FLOAT, STRING, DATA = range(5)
_CODES = {"int": INT, "bool": BOOL, "float": FLOAT, "string": STRING, "data": DATA}
KINDS = {number: _CODES[name] for number, name in c.TYPES.items()}

_INT_MIN, _INT_MAX = -(2**31), 2**31 - 1
_api_int, _api_float, _api_string = lib.api_int, lib.api_float, lib.api_string


def read(number):
    """The attribute's value: int, bool, float, str or bytes by its type."""
    kind = KINDS.get(number)
    if kind == INT:
        return _api_int(number)
    if kind == STRING:
        text = _api_string(number)
        if text is None:
            raise Error(c.RC_NO_INSTANCE)
        return text.decode("latin-1")
    if kind == BOOL:
        return _api_int(number) != 0
    if kind == FLOAT:
        return _api_float(number)
    if kind == DATA:
        length = ctypes.c_int(0)
        bytes_at = lib.api_data(number, ctypes.byref(length))
        return ctypes.string_at(bytes_at, length.value) if bytes_at else b""
    if not isinstance(number, int):
        raise TypeError(f"an attribute number is an int, not {type(number).__name__}")
    raise Error(c.RC_INVALID_ATTRIBUTE)


def text_argument(value, what="a text"):
    """A str as the library's bytes: TypeError for another type, ValueError
    for a character outside Latin-1 or a NUL, which would cut it short."""
    if not isinstance(value, str):
        raise TypeError(f"{what} is a str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{what} holds a NUL character")
    return value.encode("latin-1")


def whole(what, value):
    """A 32-bit int for the library: TypeError or OverflowError otherwise."""
    if not isinstance(value, int):
        raise TypeError(f"{what} is an int, not {type(value).__name__}")
    if not _INT_MIN <= value <= _INT_MAX:
        raise OverflowError(f"{what} is a 32-bit value, not {value}")
    return int(value)


def write(number, value):
    """Sets the attribute; Error with the library's code when it refuses."""
    kind = KINDS.get(number)
    if kind == INT:
        check(lib.api_int_set(number, whole(f"attribute {number}", value)))
    elif kind == BOOL:
        check(lib.api_bool_set(number, whole(f"attribute {number}", value)))
    elif kind == FLOAT:
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise TypeError(f"attribute {number} takes a float, not {type(value).__name__}")
        check(lib.api_float_set(number, float(value)))
    elif kind == STRING:
        check(lib.api_string_set(number, text_argument(value, f"attribute {number}")))
    elif kind == DATA:
        raise TypeError(f"attribute {number} holds data, which has no setter")
    elif not isinstance(number, int):
        raise TypeError(f"an attribute number is an int, not {type(number).__name__}")
    else:
        raise Error(c.RC_INVALID_ATTRIBUTE)
