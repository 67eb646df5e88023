#pragma once
// The one way between screens. Every hand-over (show a screen, unload
// another) goes through here, so that a screen includes this header and
// never another screen's. The registry (App) creates and deletes the
// screens; a screen unloaded while one of its handlers runs is hidden at
// once and deleted later from the main loop.
namespace kestrel {

class App;
struct RecordFlags;
class TwipsForm;

enum class Screen {
    Firstfrm,     // splash
    BASEFRM,      // "Just a moment, please." between two screens
    namesel,      // name selection and sign-in
    seisekitime1, // level menu
    MainFrm,      // the drill
    FrmSyuuryou,  // end of the drill
    frmver,       // version information
    FrmTimeData,  // criteria editor
    FrmData,      // results manager
};

// Loads the screen when needed, shows it and runs its activation.
void Show(App& app, Screen screen);
// Unloads the screen when it is loaded.
void Unload(App& app, Screen screen);
bool IsLoaded(const App& app, Screen screen);

// After the splash: sets up the folders, the configuration and the tables,
// then opens the name screen. A start-up failure is shown to the teacher
// (title "起動エラー") and ends the program with status 1.
void AfterSplash(App& app);
// After sign-in: fills the level table and opens the level menu.
void DefineLevels(App& app);
// Resets the run state and opens the drill for CurrentLevel.
void StartDrill(App& app);
// Replaces the drill by the end screen, which shows what the run achieved.
void ShowEndScreen(App& app, const RecordFlags& outcome);
// The version window, modal and centred over `owner` at its scale; returns
// once it is closed.
void ShowVersionWindow(App& app, TwipsForm& owner);

} // namespace kestrel
