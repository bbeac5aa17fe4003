"""The binding's one copy of the library's state: whether it is started and
on which thread, which instance is current, the live Bots, the C handlers
that dispatch every event and callback to the Bot it concerns, and the
exceptions that handlers raised.

The library's handlers are the library's, not an instance's: one C handler
per event and per callback serves every Bot. It finds its Bot through the
instance's user data (a key into `bots`) and calls that Bot's own handler.
An event's C handler is installed while some Bot handles it, since the
installed events tell the worlds what to send. The callbacks that complete
api_login, api_enter and api_citizen_lookup stay installed from api_init
on: whether each of those calls blocks is then the binding's choice, per
Bot (bot.py waits for the outcome itself when the Bot has no handler).
"""
import threading

from . import _constants as c
from ._library import CallbackHandler, EventHandler, lib
from .errors import Error, check

# The thread that started the library, or None.
owner = None
# The handle that the binding last made or saw current; None when unknown.
current = None
# The live Bots by the key that their instance carries as user data.
bots = {}
# Exceptions raised by handlers, re-raised when the pass that ran them ends.
kept = []
# Handlers called so far: a pass that called one may have left more to do.
dispatched = 0

COMPLETIONS = (c.CALLBACK_LOGIN, c.CALLBACK_ENTER, c.CALLBACK_CITIZEN_LOOKUP)

# The reports that the library makes while it reads a universe message. A
# blocking operation of that Bot could never read its answer behind it.
_UNIVERSE_EVENTS = {getattr(c, name) for name in c.__all__ if name.startswith("EVENT_UNIVERSE_")}
_UNIVERSE_EVENTS.add(c.EVENT_WORLD_LIST)
_UNIVERSE_CALLBACKS = {getattr(c, name) for name in c.__all__ if name.startswith("CALLBACK_UNIVERSE_")}
_UNIVERSE_CALLBACKS.update({c.CALLBACK_LOGIN, c.CALLBACK_CITIZEN_LOOKUP, c.CALLBACK_WORLD_LIST})

_users = {}  # (kind, number) -> how many Bots handle it
_NO_EVENT, _NO_CALLBACK = EventHandler(), CallbackHandler()  # NULL: removes the handler


def on_owner_thread():
    return threading.get_ident() == owner


def start():
    """api_init, once; Error with the library's code when it refuses (from
    another thread than the one that started it, or for another build)."""
    global owner
    if owner is not None:
        if not on_owner_thread():
            check(lib.api_init(c.ORBILO_SDK_BUILD))  # the library's refusal
        return
    check(lib.api_init(c.ORBILO_SDK_BUILD))
    owner = threading.get_ident()
    for number in COMPLETIONS:
        check(lib.api_callback_set(number, _callback_handlers[number]))


def term():
    """Destroys every Bot and stops the library (api_term)."""
    global owner, current
    if owner is None or not on_owner_thread():
        return
    for (is_event, number), users in _users.items():
        if users > 0 and not (not is_event and number in COMPLETIONS):
            install(is_event, number, False)
    _users.clear()
    lib.api_term()
    owner = current = None
    for bot in list(bots.values()):
        bot._forget()


def use(number, delta):
    """Counts a Bot's handler in or out; the C handler is installed while
    one Bot has one."""
    if owner is None:  # stopped: api_term left nothing to count
        return
    is_event = isinstance(number, c.Event)
    key = (is_event, int(number))
    before = _users.get(key, 0)
    after = before + delta
    _users[key] = after
    if not is_event and number in COMPLETIONS:
        return
    if before == 0 and after > 0:
        install(is_event, number, True)
    elif before > 0 and after == 0:
        install(is_event, number, False)


def install(is_event, number, on):
    if is_event:
        check(lib.api_event_set(number, _event_handlers[number] if on else _NO_EVENT))
    else:
        check(lib.api_callback_set(number, _callback_handlers[number] if on else _NO_CALLBACK))


def raise_kept():
    """Re-raises the first exception that a handler raised; any others are
    noted on it."""
    if not kept:
        return
    first, *others = kept
    kept.clear()
    for other in others:
        if hasattr(first, "add_note"):  # Python 3.11 on
            first.add_note(f"another handler raised too: {other!r}")
    raise first


def _reporting_bot():
    """The Bot of the instance that the library made current for a report,
    or None for an instance that no Bot has."""
    global current, dispatched
    dispatched += 1
    bot = bots.get(lib.api_user_data())
    if bot is not None:
        current = bot._handle
    return bot


def _run(handler, bot, universe, *arguments):
    if not universe:
        handler(bot, *arguments)
        return
    bot._universe_depth += 1
    try:
        handler(bot, *arguments)
    finally:
        bot._universe_depth -= 1


def _event_handler(number):
    universe = number in _UNIVERSE_EVENTS

    def fire():
        try:
            bot = _reporting_bot()
            handler = bot and bot._events.get(number)
            if handler:
                _run(handler, bot, universe)
        except BaseException as error:  # never into C
            kept.append(error)

    return EventHandler(fire)


def _callback_handler(number):
    universe = number in _UNIVERSE_CALLBACKS

    def fire(rc):
        try:
            bot = _reporting_bot()
            if bot is None:
                return
            bot._outcome(number, rc)
            handler = bot._callbacks.get(number)
            # A refused entry may be the universe's answer: counted as one.
            if handler:
                _run(handler, bot, universe or (number == c.CALLBACK_ENTER and rc != 0), rc)
        except BaseException as error:
            kept.append(error)

    return CallbackHandler(fire)


# Made once, and kept for as long as the library may call them.
_event_handlers = [_event_handler(c.Event(n)) for n in range(c.EVENT_COUNT)]
_callback_handlers = [_callback_handler(c.Callback(n)) for n in range(c.CALLBACK_COUNT)]


def valid(number):
    """TypeError unless number is an EVENT_ or CALLBACK_ constant; Error
    RC_INVALID_ATTRIBUTE, as the library answers, for one out of range."""
    if isinstance(number, c.Event):
        count = c.EVENT_COUNT
    elif isinstance(number, c.Callback):
        count = c.CALLBACK_COUNT
    else:
        raise TypeError(f"{number!r} is neither an orbilo.EVENT_ nor an orbilo.CALLBACK_ number")
    if not 0 <= number < count:
        raise Error(c.RC_INVALID_ATTRIBUTE)
