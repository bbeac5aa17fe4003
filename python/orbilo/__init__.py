"""Bots in Python over the Orbilo world client library (liborbilo_sdk.so.1).

    import orbilo

    bot = orbilo.Bot(host="127.0.0.1", port=5670)
    bot.login(name="Py", citizen=1, password="demo")
    bot.enter("demo")

    @bot.on(orbilo.EVENT_CHAT)
    def chat(bot):
        bot.whisper(bot.attr(orbilo.ATTR_CHAT_SESSION), "hello")

    orbilo.wait(1000)

Every ATTR_, EVENT_, CALLBACK_ and RC_ number of the library's header is
here under its name. A failed call raises orbilo.Error.
"""
from . import _runtime
from ._constants import *  # noqa: F401,F403 - the header's names
from ._constants import __all__ as _header_names
from ._kinds import Callback, Event
from ._library import lib as _lib
from .aio import serve
from .bot import Bot
from .errors import Error, result_text
from .pump import wait


def term():
    """Destroys every Bot and stops the library (api_term); the next Bot
    starts it again."""
    _runtime.term()


def descriptor():
    """The library's descriptor (api_descriptor), for a loop of the program's
    own: watch it for reading, then call orbilo.wait(0). -1 before the first Bot."""
    return _lib.api_descriptor()


def next_timeout():
    """Milliseconds until the pump next has timed work (api_next_timeout);
    -1 for none."""
    return _lib.api_next_timeout()


__all__ = ["Bot", "Callback", "Error", "Event", "descriptor", "next_timeout", "result_text",
           "serve", "term", "wait"] + list(_header_names)
