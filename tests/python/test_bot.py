"""Bots against orbilo-server: login, refusals, entry, avatars, whispers,
several Bots in one process, handlers that raise, and bad use."""
import threading
import unittest

import orbilo
from support import Server, bot_in_world, until


class BotTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(crowd=4, settings="crowd_tick = 50\ncrowd_chat = 0\n")
        cls.port = cls.server.port

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def tearDown(self):
        orbilo.term()

    def test_login_and_entry_fill_the_attributes(self):
        bot = orbilo.Bot("127.0.0.1", self.port)
        bot.login(name="Py", citizen=1, password="demo")
        self.assertEqual(bot.attr(orbilo.ATTR_LOGIN_REPLY_NAME), "[Py]")
        self.assertEqual(bot.attr(orbilo.ATTR_LOGIN_OWNER), 1)
        bot.citizen_lookup(1)
        self.assertEqual(bot.attr(orbilo.ATTR_CITIZEN_NAME), "Demo")
        bot.enter("DEMO")
        self.assertEqual(bot.attr(orbilo.ATTR_WORLD_NAME), "demo")
        self.assertEqual(bot.attr(orbilo.ATTR_WORLD_BUILD), 39)
        self.assertIs(bot.attr(orbilo.ATTR_WORLD_SETTING_31), True)
        self.assertAlmostEqual(bot.attr(orbilo.ATTR_WORLD_SETTING_41), -0.8, places=6)
        self.assertEqual(bot.attr(orbilo.ATTR_WORLD_DATA), b"")
        self.server.wait_for(r"login: \[Py\] for citizen 1")

    def test_refusals_raise_the_library_code_and_text(self):
        bot = orbilo.Bot("127.0.0.1", self.port)
        with self.assertRaises(orbilo.Error) as refused:
            bot.login(name="Py", citizen=1, password="wrong")
        self.assertEqual(refused.exception.code, orbilo.RC_INVALID_PASSWORD)
        self.assertEqual(refused.exception.text, "invalid password")
        self.assertEqual(str(refused.exception), "invalid password (13)")
        with self.assertRaises(orbilo.Error) as again:  # the link is closed for good
            bot.login()
        self.assertEqual(again.exception.code, orbilo.RC_NO_CONNECTION)
        other = bot_in_world(self.port, "Py2")
        for call, code in ((lambda: other.whisper(1, "x" * 256), orbilo.RC_STRING_TOO_LONG),
                           (lambda: other.enter("toolongname"), orbilo.RC_INVALID_WORLD_NAME),
                           (lambda: other.state_change(), orbilo.RC_NO_CONNECTION)):
            with self.assertRaises(orbilo.Error) as failed:
                call()
            self.assertEqual(failed.exception.code, code)

    def test_two_bots_see_the_crowd_and_whisper_each_with_its_own_handlers(self):
        sessions, moves, heard = {}, [], []

        def arrived(bot):
            sessions.setdefault(bot.attr(orbilo.ATTR_AVATAR_NAME), bot.attr(orbilo.ATTR_AVATAR_SESSION))

        def moved(bot):
            moves.append((bot, bot.attr(orbilo.ATTR_AVATAR_NAME), bot.attr(orbilo.ATTR_AVATAR_X)))

        def chat(bot):
            heard.append((bot, bot.attr(orbilo.ATTR_AVATAR_NAME), bot.attr(orbilo.ATTR_CHAT_MESSAGE),
                          bot.attr(orbilo.ATTR_CHAT_TYPE)))

        a = bot_in_world(self.port, "A", {orbilo.EVENT_AVATAR_ADD: arrived,
                                          orbilo.EVENT_AVATAR_CHANGE: moved})
        b = bot_in_world(self.port, "B", {orbilo.EVENT_CHAT: chat})
        self.assertTrue(until(lambda: "[B]" in sessions and "Ada" in sessions and moves))
        self.assertTrue(all(bot is a for bot, _, _ in moves))
        a.whisper(sessions["[B]"], "hello B, \u00e4")
        a.whisper(sessions["Ada"], "hello Ada")
        self.assertTrue(until(lambda: heard))
        self.assertEqual(heard, [(b, "[A]", "hello B, \u00e4", 2)])
        self.server.wait_for(r"whisper in demo from \[A\] to Ada: hello Ada")

    def test_a_handler_that_raises_ends_the_wait_after_its_pass(self):
        bot = bot_in_world(self.port, "Raiser")
        calls = []

        @bot.on(orbilo.EVENT_AVATAR_CHANGE)
        def moved(bot):
            calls.append(1)
            if len(calls) == 1:
                raise ValueError("from the handler")

        with self.assertRaisesRegex(ValueError, "from the handler"):
            orbilo.wait(5000)
        self.assertTrue(until(lambda: len(calls) > 1))  # the Bot goes on

    def test_blocking_calls_from_a_universe_callback_are_refused(self):
        bot = orbilo.Bot("127.0.0.1", self.port)
        answers = []

        @bot.on(orbilo.CALLBACK_LOGIN)
        def logged_in(bot, rc):
            answers.append(rc)
            with self.assertRaises(orbilo.Error) as refused:
                bot.enter("demo")
            answers.append(refused.exception.code)
            bot.on(orbilo.CALLBACK_ENTER, lambda bot, rc: answers.append(("entered", rc)))
            bot.enter("demo")

        bot.login(name="Cb", citizen=1, password="demo")  # returns at once
        self.assertEqual(answers, [])
        self.assertTrue(until(lambda: len(answers) == 3))
        self.assertEqual(answers, [0, orbilo.RC_QUERY_IN_PROGRESS, ("entered", 0)])

    def test_bad_use(self):
        bot = bot_in_world(self.port, "Bad")
        for number, value, error in ((orbilo.ATTR_MY_X, "1", TypeError),
                                     (orbilo.ATTR_MY_X, 1.5, TypeError),
                                     (orbilo.ATTR_MY_X, 2**31, OverflowError),
                                     (orbilo.ATTR_LOGIN_NAME, 5, TypeError),
                                     (orbilo.ATTR_LOGIN_NAME, "a\0b", ValueError),
                                     (orbilo.ATTR_LOGIN_NAME, "\u20ac", ValueError),
                                     (orbilo.ATTR_WORLD_SETTING_41, "x", TypeError),
                                     (orbilo.ATTR_WORLD_DATA, b"", TypeError),
                                     (orbilo.ATTR_AVATAR_X, "1", TypeError)):
            with self.assertRaises(error, msg=(number, value)):
                bot.set(number, value)
        for number, value, code in ((orbilo.ATTR_AVATAR_X, 1, orbilo.RC_READ_ONLY),
                                    (orbilo.ATTR_LOGIN_NAME, "x" * 256, orbilo.RC_STRING_TOO_LONG),
                                    (1, 0, orbilo.RC_INVALID_ATTRIBUTE)):
            with self.assertRaises(orbilo.Error) as refused:
                bot.set(number, value)
            self.assertEqual(refused.exception.code, code)
        bot.set(orbilo.ATTR_LOGIN_NAME, "Zoë")
        self.assertEqual(bot.attr(orbilo.ATTR_LOGIN_NAME), "Zoë")
        with self.assertRaises(TypeError):
            bot.on(6, print)  # a bare number: event or callback?

        failures = []

        def elsewhere():
            for call in (lambda: bot.attr(orbilo.ATTR_MY_X), bot.state_change,
                         lambda: orbilo.wait(10), lambda: orbilo.Bot("127.0.0.1", self.port)):
                try:
                    call()
                    failures.append(None)
                except orbilo.Error as error:
                    failures.append(error.code)

        thread = threading.Thread(target=elsewhere)
        thread.start()
        thread.join()
        self.assertEqual(failures, [orbilo.RC_NOT_INITIALIZED] * 4)

        bot.destroy()
        for call in (lambda: bot.attr(orbilo.ATTR_MY_X), bot.state_change, bot.destroy,
                     lambda: bot.on(orbilo.EVENT_CHAT, print), lambda: bot.whisper(1, "x")):
            with self.assertRaises(orbilo.Error) as gone:
                call()
            self.assertEqual(gone.exception.code, orbilo.RC_NO_INSTANCE)


if __name__ == "__main__":
    unittest.main()
