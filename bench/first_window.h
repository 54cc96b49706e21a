// Milliseconds from starting a copy of the launcher to its window mapping; -1 where that cannot
// be measured (no display, no launcher, or a build that does not report it).
#pragma once

long long FirstWindowMs();
