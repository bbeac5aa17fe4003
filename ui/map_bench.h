// The map page's paint figure, for orbilo-ui-bench.
#pragma once

// Paints the map page with 1000 avatars in view, their names, the ball, its
// home and a trail of kicks, and prints "map_paint_ms_1000_avatars: X" (the
// median repaint) and "map_paint_ms_1000_avatars_p99: X".
void map_paint_bench();
