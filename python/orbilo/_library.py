"""Finds and loads liborbilo_sdk.so.1 and declares the C calls.

The library is looked for, in this order, at the path that the environment
variable ORBILO_SDK_LIBRARY names, in the library directory beside the
installed package (PREFIX/lib for a package in
PREFIX/lib/python3/dist-packages/orbilo), and on the system's library path.
"""
import ctypes
import os

LIBRARY_NAME = "liborbilo_sdk.so.1"

EventHandler = ctypes.CFUNCTYPE(None)
CallbackHandler = ctypes.CFUNCTYPE(None, ctypes.c_int)

_c_int, _c_float, _c_char_p, _c_void_p = ctypes.c_int, ctypes.c_float, ctypes.c_char_p, ctypes.c_void_p

# Each call: its result type and its arguments' types.
_PROTOTYPES = {
    "api_init": (_c_int, [_c_int]),
    "api_term": (None, []),
    "api_create": (_c_int, [_c_char_p, _c_int, ctypes.POINTER(_c_void_p)]),
    "api_destroy": (_c_int, []),
    "api_wait": (_c_int, [_c_int]),
    "api_instance_set": (_c_int, [_c_void_p]),
    "api_instance": (_c_void_p, []),
    "api_user_data_set": (_c_int, [_c_void_p]),
    "api_user_data": (_c_void_p, []),
    "api_descriptor": (_c_int, []),
    "api_next_timeout": (_c_int, []),
    "api_int": (_c_int, [_c_int]),
    "api_int_set": (_c_int, [_c_int, _c_int]),
    "api_bool_set": (_c_int, [_c_int, _c_int]),
    "api_float": (_c_float, [_c_int]),
    "api_float_set": (_c_int, [_c_int, _c_float]),
    "api_string": (_c_char_p, [_c_int]),
    "api_string_set": (_c_int, [_c_int, _c_char_p]),
    "api_data": (_c_void_p, [_c_int, ctypes.POINTER(_c_int)]),
    "api_event_set": (_c_int, [_c_int, EventHandler]),
    "api_callback_set": (_c_int, [_c_int, CallbackHandler]),
    "api_login": (_c_int, []),
    "api_enter": (_c_int, [_c_char_p]),
    "api_exit": (_c_int, []),
    "api_state_change": (_c_int, []),
    "api_whisper": (_c_int, [_c_int, _c_char_p]),
    "api_citizen_lookup": (_c_int, [_c_int]),
    "api_result_text": (_c_char_p, [_c_int]),
}


def candidates():
    """The paths to try, in order."""
    paths = []
    chosen = os.environ.get("ORBILO_SDK_LIBRARY")
    if chosen:
        paths.append(chosen)
    package = os.path.dirname(os.path.abspath(__file__))
    # orbilo/ -> dist-packages/ -> python3/ -> lib/
    library_directory = os.path.dirname(os.path.dirname(os.path.dirname(package)))
    paths.append(os.path.join(library_directory, LIBRARY_NAME))
    paths.append(LIBRARY_NAME)  # a bare name: the dynamic loader's own search
    return paths


def load():
    """The loaded library with its calls declared; ImportError naming every
    path that was tried, and why each failed, when none loads."""
    failures = []
    for path in candidates():
        try:
            library = ctypes.CDLL(path)
            for name, (result, arguments) in _PROTOTYPES.items():
                call = getattr(library, name)
                call.restype, call.argtypes = result, arguments
            return library
        except (OSError, AttributeError) as error:
            failures.append(f"{path} ({error})")
    raise ImportError("orbilo: cannot load " + LIBRARY_NAME + "; tried: " + "; ".join(failures))


lib = load()
