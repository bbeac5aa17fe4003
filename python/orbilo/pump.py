"""The event pump from Python: orbilo.wait(), and the loop in which the
binding's blocking calls wait for their outcome.

The loop watches the library's descriptor for as long as api_next_timeout()
allows, then runs the pump for about a millisecond (api_wait(1)). Unlike
api_wait(0), a pass of api_wait(1) ends on time even while messages keep
arriving, so that the loop sees its deadline, its outcome and the
exceptions of its handlers, which it re-raises after each pass.
"""
import math
import time

from . import _constants as c
from . import _runtime as runtime
from ._library import lib
from .errors import Error, check


def _pass():
    rc = lib.api_wait(1)
    runtime.current = None  # handlers and reconnects may have changed it
    runtime.raise_kept()
    return rc


def run(done, deadline=None):
    """Runs pump passes until done() is true, the monotonic deadline has
    passed or no instance is left."""
    while not done():
        timeout = lib.api_next_timeout()
        if deadline is not None:
            left = math.ceil((deadline - time.monotonic()) * 1000)
            if left <= 0:
                return
            timeout = left if timeout < 0 else min(timeout, left)
        runtime.poller.poll(timeout)
        if _pass() != 0:
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
        run(lambda: not runtime.bots)
    else:
        run(lambda: False, time.monotonic() + milliseconds / 1000)
