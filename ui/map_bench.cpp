// The map page's repaint with 1000 avatars in view: the whole of paintEvent
// on the page at its size in the window, grid, kicks, marks and names.
#include "ui/map_bench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/dialog_units.h"
#include "ui/map_page.h"

void map_paint_bench() {
  WorldMap map;
  map.SetBall({0, 0}, 0);
  // A crowd spread over the page as it first shows (about 4000 units across),
  // each facing its own way.
  for (int k = 0; k < 1000; ++k) {
    int x = (k * 7919) % 4000 - 2000, z = (k * 104729) % 2000 - 1000;
    map.AvatarSeen(k + 1, {"Avatar" + std::to_string(k), {x, z}, 0, (k * 37) % 3600});
  }
  const auto now = WorldMap::Clock::now();
  for (int kick = 0; kick < 100; ++kick) {
    map.Kick({kick * 13, kick * 7}, {kick * 13 + 650, kick * 7}, now);
  }
  COrbMap page(&map);
  page.resize(dialog_rect(&page, 0, 0, 220, 111).size());
  page.show();
  QApplication::processEvents();
  std::vector<double> times;
  for (int sample = 0; sample < 300; ++sample) {
    QElapsedTimer timer;
    timer.start();
    page.repaint();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  std::sort(times.begin(), times.end());
  std::printf("map_paint_ms_1000_avatars: %.3f\n", times[times.size() / 2]);
  std::printf("map_paint_ms_1000_avatars_p99: %.3f\n", times[times.size() * 99 / 100]);
  std::fflush(stdout);
}
