"""asyncio: orbilo.serve() runs the pump on the running event loop."""
import asyncio

from . import _constants as c
from . import _runtime as runtime
from ._library import lib
from .errors import check

# The longest the loop sleeps between passes: a call made meanwhile from a
# coroutine (a new handler, a send that waits) may bring timed work nearer,
# and a pass may have left messages read but not handled, which the
# descriptor does not announce.
_LONGEST_SLEEP_S = 0.1
_POLL_SLEEP_S = 0.005


async def serve():
    """Runs the pump on the running loop until every Bot is destroyed: a pass
    whenever the library's descriptor is readable, and when its next timed
    work falls due. Handlers run on the loop's thread; an exception that one
    raises ends serve() with it once its pass is over."""
    loop = asyncio.get_running_loop()
    if runtime.owner is None or not runtime.on_owner_thread():
        check(lib.api_wait(0))  # the library's own refusal
    if not runtime.bots:
        return
    finished = loop.create_future()
    timer = None
    descriptor = lib.api_descriptor()
    # Without a descriptor (a library that has no readiness set) the timer
    # alone drives the pump.
    longest = _LONGEST_SLEEP_S if descriptor >= 0 else _POLL_SLEEP_S

    def run_pass():
        nonlocal timer
        if finished.done():
            return
        before = runtime.dispatched
        try:
            rc = lib.api_wait(1)  # ends on time even while messages keep coming
            runtime.current = None
            runtime.raise_kept()
            if not runtime.bots or rc == c.RC_NO_INSTANCE:
                finished.set_result(None)
                return
            check(rc)
        except BaseException as error:
            finished.set_exception(error)
            return
        if timer is not None:
            timer.cancel()
        due = lib.api_next_timeout()
        sleep = longest if due < 0 else min(due / 1000, longest)
        if runtime.dispatched != before:  # busy: more may wait behind what it handled
            sleep = 0
        timer = loop.call_later(sleep, run_pass)

    if descriptor >= 0:
        loop.add_reader(descriptor, run_pass)
    try:
        run_pass()
        await finished
    finally:
        if descriptor >= 0:
            loop.remove_reader(descriptor)
        if timer is not None:
            timer.cancel()
