"""The Python examples against orbilo-server: the ball kicked by the crowd
and answering its questions, and many Bots in one process."""
import os
import re
import sys
import unittest

from support import SOURCE, TIMEOUT_S, Child, Server

EXAMPLES = os.path.join(SOURCE, "examples", "python")


def example(name, *arguments):
    return Child([sys.executable, os.path.join(EXAMPLES, name), *arguments])


class ExamplesTest(unittest.TestCase):
    def test_the_ball_is_kicked_by_the_crowd_and_answers_its_questions(self):
        with Server(crowd=8, settings="crowd_tick = 40\ncrowd_chat = 60\n") as server:
            with example("ball.py", "127.0.0.1", str(server.port), "1", "demo", "Ball") as ball:
                ball.wait_for(r"^Ball is now running in demo\.$")
                kick = ball.wait_for(r"^kicked by (\w+) to (-?\d+) (-?\d+)$")
                server.wait_for(rf"kick in demo: {kick.group(1)} kicks at ")
                asked = server.wait_for(r"chat in demo from (\w+): Ball (owner|version)")
                who, what = asked.groups()
                reply = {"owner": r"I'm owned by Demo \(citizen # 1\)\.",
                         "version": r"I am Simple Orbilo Build 4 \(Copyright \(C\) 2026 The Orbilo Authors\)\."}
                server.wait_for(rf"whisper in demo from \[Ball\] to {who}: {reply[what]}")
                self.assertEqual(ball.finish(), 0)

    def test_many_bots_each_count_what_they_see(self):
        with Server(crowd=3, settings="crowd_tick = 40\n") as server:
            with example("many.py", "127.0.0.1", str(server.port), "1", "demo", "demo", "20", "1") as many:
                self.assertEqual(many.finish(TIMEOUT_S * 3, stop=False), 0, "\n".join(many.lines))
            tallies = re.findall(r"^Many(\d+) saw: arrived (\d+), moved (\d+)", "\n".join(many.lines), re.M)
        self.assertEqual([int(k) for k, _, _ in tallies], list(range(1, 21)))
        for _, arrived, moved in tallies:
            self.assertGreaterEqual(int(arrived), 3)  # the crowd at least
            self.assertGreater(int(moved), 0)


if __name__ == "__main__":
    unittest.main()
