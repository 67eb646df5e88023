#pragma once
// The entry procedures that use several parts of the program's state at
// once, as the screens call them. A failure they cannot get past is shown
// to the teacher and ends the program, as the start-up, the drill and the
// level menu need; a tool that reports a failure and carries on calls the
// subsystems' functions itself.
#include <optional>
#include <string>

#include "context/Context.h"
#include "results/ResultsLogIO.h"
#include "roster/RosterDisplay.h"
#include "school/EndScreen.h"

namespace kestrel {

// Shows `text` with the program's title and ends the program with status 1.
void endWithMessage(Context& ctx, const std::string& text);

// ---- Start-up -------------------------------------------------------------
// The start-up sequence of the folders: path file, shared configuration,
// folders (refused on a share whose locks stay on this PC), program
// definition, criteria table and sound table. Throws StartupError naming
// the file, or the folder and mount, and the problem.
void InitialiseFolders(Context& ctx);
// Reads the criteria file of the data folder into ctx.criteria; on failure
// the table is left as it was and FileError is thrown.
void LoadCriteriaTable(Context& ctx);
// Reads the sound table of the sound folder into ctx.sounds. Throws FileError.
void LoadSoundTable(Context& ctx);

// ---- Results --------------------------------------------------------------
// The results log of the data folder, with the context's clock and waits.
LogAccess resultsLog(Context& ctx);
// Reload the log into the summary, through the context's window of the
// most recent records (only what was appended since the last load is read);
// on failure the message is shown and the program ends (false when the
// program end returns, as in tests).
bool LoadResults(Context& ctx);
bool BuildSummary(Context& ctx);
// Reads the `lastRecords` most recent records of the log into `reader` for
// a results list or graph, from the window brought up to the log (up to
// kMaxLoadedRecords records): a missing log reads as empty, a log held by
// another PC is waited for; any other failure is shown and ends the program
// (false when the program end returns, as in tests).
bool ReadRecentResults(Context& ctx, LogReader& reader, uint64_t lastRecords);
// The record of the run just made: the signed-in student, `level`, RunTime,
// the school code and the clock's date and time.
ResultRecord currentRunRecord(Context& ctx, int level);
// Records a finished run and returns what it achieved; nothing when it
// failed (the message is shown and the program ends). An end asked for
// from outside (a log-off) waits until the record is on disk.
std::optional<RecordFlags> RecordRun(Context& ctx, const ResultRecord& run);
// The same for the current run at `level`, dated now.
std::optional<RecordFlags> RecordRun(Context& ctx, int level);
// What the child and the teacher are shown when a run's record did not go
// into the log: that it is kept on this PC and where, or why it was lost.
std::string runNotRecordedMessage(const RecordOutcome& outcome);

// The end screen's evaluation of the run just recorded (the summary rebuilt
// with it); on failure the message is shown and the program ends (false
// when the program end returns, as in tests).
bool EvaluateRun(Context& ctx, const RecordFlags& outcome, EndScreenFacts& facts);

// ---- Roster ---------------------------------------------------------------
// Reads the roster and rebuilds the name screen's lists by NameListMode and
// the filter text, after rebuilding the results summary; selects line 0.
// A failed read is tried again every 5 seconds; the sixth failure shows the
// message and ends the program.
void 名簿表示(Context& ctx, NameListState& lists);
// Starts the program menu without waiting for it and ends the program; when
// it cannot be started the system's text is shown first.
void LeaveToProgramMenu(Context& ctx);

// ---- Sounds ---------------------------------------------------------------
// The answer cues. After the fourth failure in a row of either one the
// student is told to call the teacher and the program ends.
void PlayRightCue(Context& ctx);
void PlayWrongCue(Context& ctx);
// "警告1.wav"; failures are ignored.
void PlayWarningCue(Context& ctx);
// A random file of the cue at `cuePosition` (1..10); failures are ignored.
void PlayCueSound(Context& ctx, int cuePosition);
// A file of the sound folder, named with its ".wav"; failures are ignored.
void PlayFixedSound(Context& ctx, const std::string& fileName);
// A cue or a fixed file; failures are ignored.
void PlaySound(Context& ctx, const Sound& sound);

} // namespace kestrel
