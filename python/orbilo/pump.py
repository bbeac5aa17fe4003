"""The event pump from Python: orbilo.wait(), and the loop in which the
binding's blocking calls wait for their outcome.

The loop calls api_wait with short slices, back to back, and re-raises the
exceptions of the handlers after each slice. Slices keep it on time even
while messages keep arriving, which api_wait(0) would go on reading; and
they follow each other without a wait on the library's descriptor, since a
slice that ends in the middle of a burst leaves messages read but not yet
handled, which the descriptor does not announce: the next slice handles
them first.
"""
import math
import time

from . import _constants as c
from . import _runtime as runtime
from ._library import lib
from .errors import Error, check

# A blocking call sees its outcome within a slice; orbilo.wait() raises a
# handler's exception within one.
BLOCKING_SLICE_MS = 1
WAIT_SLICE_MS = 10


def run(done, deadline=None, slice_ms=BLOCKING_SLICE_MS):
    """Runs pump slices until done() is true, the monotonic deadline has
    passed or no instance is left."""
    while not done():
        budget = slice_ms
        if deadline is not None:
            left = math.ceil((deadline - time.monotonic()) * 1000)
            if left <= 0:
                return
            budget = min(budget, left)
        rc = lib.api_wait(budget)
        runtime.current = None  # handlers and reconnects may have changed it
        runtime.raise_kept()
        if rc != 0:
            return


def wait(milliseconds):
    """Runs the pump (api_wait): with 0 once over what has arrived, with a
    positive time for about that many milliseconds, with a negative one until
    no Bot is left. Handlers run inside it; an exception that one raised is
    raised from here once its pass is over."""
    if not isinstance(milliseconds, int):
        raise TypeError("wait() takes whole milliseconds")
    if runtime.owner is None or not runtime.on_owner_thread():
        check(lib.api_wait(0))  # the library's own refusal
    if milliseconds == 0:
        rc = lib.api_wait(0)
        runtime.current = None
        runtime.raise_kept()
        check(rc)
        return
    if not runtime.bots:
        raise Error(c.RC_NO_INSTANCE)
    if milliseconds < 0:
        run(lambda: not runtime.bots, slice_ms=WAIT_SLICE_MS)
    else:
        run(lambda: False, time.monotonic() + milliseconds / 1000, WAIT_SLICE_MS)
