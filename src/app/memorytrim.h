#pragma once
// Hands memory that the heap no longer uses back to the system, after a
// window has loaded and after each link-list fill.

namespace zandorel::app {

void TrimWorkingSet();

} // namespace zandorel::app
