// The application's build: shown on the About page, sent in the version
// query and quoted in the version reply.
#pragma once

inline constexpr int kApplicationBuild = 4;
