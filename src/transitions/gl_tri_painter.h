// Connects the flat transition filters to the drawer: the drawer captures the item being
// revealed and hands the filter to a painter that draws the filter's triangles through a
// triangle controller on the drawer's screen.
#pragma once

namespace zem {

// Installs the painter maker into the drawer (start-up, before any transition is drawn).
void InstallDrawerTriangles();

}  // namespace zem
