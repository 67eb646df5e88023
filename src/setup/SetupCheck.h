#pragma once
// The setup check of an installation: what the program would meet on this
// PC, found before a child meets it. Every file of the installation is read
// as the program reads it, and nothing of the school's is changed: the
// results log is read under its sharing protocol through a read-only
// descriptor, and the data folder is tried with probe files of the check's
// own, which it removes.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Audio.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/MountTable.h"
#include "platform/SharedFile.h"

namespace kestrel {

enum class Verdict {
    Ok,
    Warning, // 注意: works, but probably not what the school wants
    Error,   // エラー: the program stops, or results are wrong or lost
};

// One line of the report.
struct CheckLine {
    std::string check; // which check: "path-file", "roster", ...
    Verdict verdict = Verdict::Ok;
    std::string file;    // the file or folder concerned
    std::string message; // Japanese: what was found and what to do
};

// The font families the screens are drawn with on a system, how the report
// names them, and how to install them.
struct ScreenFonts {
    std::vector<std::string> families;
    std::string names;
    std::string remedy;
    // The fixed-pitch digits' own font where the Gothic's zero is slashed
    // (none where the system's Gothic draws a plain zero), and its remedy.
    std::string digitFont;
    std::string digitRemedy;
};

// The free fonts of the Linux PCs.
ScreenFonts linuxScreenFonts();

// What the check asks of this PC beyond the installation's files.
class SetupProbes {
public:
    virtual ~SetupProbes() = default;
    // The mounts the data folder's is looked up in.
    virtual MountTable& mounts() = 0;
    // Whether the font family is installed.
    virtual bool fontInstalled(const std::string& family) = 0;
    // The fonts this system's screens need.
    virtual ScreenFonts screenFonts() { return linuxScreenFonts(); }
    // Loads a sound file as the program's player does, without playing it.
    virtual PlayResult loadSound(const std::filesystem::path& wavFile) = 0;
};

struct SetupCheckContext {
    std::filesystem::path programFile; // the program of the installation checked
    SetupProbes& probes;
    SharedFileSystem& files; // the results log and the probe files
    Clock& clock;
    EventPump& events; // the waits for a log another PC holds
    // Where this PC keeps runs the log could not take (none: not looked at).
    std::vector<std::filesystem::path> keptRunsFolders = {};
};

// Every check, in the order of the report. A path file that cannot be used
// ends the report there, since nothing else can be found without it.
std::vector<CheckLine> runSetupCheck(SetupCheckContext& context);

// Whether a line of the report is an error.
bool hasErrors(const std::vector<CheckLine>& lines);

// The report as text, one line per check line, and as one JSON object
// {"checks": [{"check", "verdict": "ok" | "warning" | "error", "file", "message"}]}.
std::string reportText(const std::vector<CheckLine>& lines);
std::string reportJson(const std::vector<CheckLine>& lines);

// The Japanese title of a check ("名簿" for "roster").
std::string checkTitle(const std::string& check);

} // namespace kestrel
