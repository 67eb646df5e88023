#pragma once
// Where the screens lead back to once a student is signed in.
namespace kestrel {

class App;

// Opens the level menu of the signed-in student.
void ShowLevelMenu(App& app);

} // namespace kestrel
