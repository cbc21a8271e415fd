#pragma once

// Five stored skins: a full palette per skin for the whole application, and a style sheet
// for what a palette cannot reach (toolbar, status bar, menus, group titles, scroll bars).
namespace skins {

inline constexpr int kCount = 5;

// Applies store item index at once to every window; an index outside 0..4 is ignored.
void apply(int index);
// -1 while the built-in look is shown.
int current();
// The menu command: apply, then remember.
void choose(int index);
// At show: the remembered skin, or the built-in look when there is none.
void restore();

} // namespace skins
