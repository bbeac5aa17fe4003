"""orbilo.serve(): the pump on a running asyncio loop, with the operations
in callback mode and the handlers on the loop's thread."""
import asyncio
import threading
import unittest

import orbilo
from support import Server


class ServeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(crowd=4, settings="crowd_tick = 50\n")

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def tearDown(self):
        orbilo.term()

    def start(self, name, on_move):
        """A Bot that logs in and enters through its callbacks, and then
        hands each avatar change to on_move."""
        steps = []
        bot = orbilo.Bot("127.0.0.1", self.server.port)

        @bot.on(orbilo.CALLBACK_LOGIN)
        def logged_in(bot, rc):
            steps.append(("login", rc))
            bot.enter("demo")

        @bot.on(orbilo.CALLBACK_ENTER)
        def entered(bot, rc):
            steps.append(("enter", rc))
            bot.state_change(x=0, z=0)

        bot.on(orbilo.EVENT_AVATAR_CHANGE, on_move)
        bot.login(name=name, citizen=1, password="demo")
        return bot, steps

    def test_serve_runs_the_handlers_on_the_loop_until_every_bot_is_gone(self):
        threads, ticks = set(), []

        def moved(bot):
            threads.add(threading.get_ident())
            if ticks:  # once the loop has run other work too
                bot.destroy()

        async def main():
            bots = [self.start(name, moved) for name in ("Aio1", "Aio2")]
            serving = asyncio.create_task(orbilo.serve())
            for _ in range(3):  # the loop goes on running other work meanwhile
                await asyncio.sleep(0.01)
                ticks.append(1)
            await asyncio.wait_for(serving, 10)
            return bots

        bots = asyncio.run(main())
        self.assertEqual([steps for _, steps in bots], [[("login", 0), ("enter", 0)]] * 2)
        self.assertTrue(all(bot.destroyed for bot, _ in bots))
        self.assertEqual(threads, {threading.get_ident()})

    def test_a_handler_that_raises_ends_serve_with_its_exception(self):
        def moved(bot):
            raise RuntimeError("in the loop")

        async def main():
            self.start("Aio3", moved)
            await asyncio.wait_for(orbilo.serve(), 10)

        with self.assertRaisesRegex(RuntimeError, "in the loop"):
            asyncio.run(main())


if __name__ == "__main__":
    unittest.main()
