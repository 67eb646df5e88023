#pragma once
// The hand-overs of the start-up sequence and of sign-in: from the splash to
// the first screen, from sign-in to the level menu, and into a drill run.
namespace kestrel {

class App;

// After the splash: sets up the folders, the configuration and the tables,
// then opens the first screen. A start-up failure is shown to the teacher
// (title "起動エラー") and ends the program with status 1.
void AfterSplash(App& app);
// After sign-in: fills the level table and opens the level menu.
void DefineLevels(App& app);
// Resets the run state and opens the drill for CurrentLevel.
void StartDrill(App& app);

} // namespace kestrel
