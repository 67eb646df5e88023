#include "startup/ui/Startup.h"

#include <cmath>
#include <filesystem>
#include <string>

#include "drill/ui/MainFrm.h"
#include "startup/Context.h"
#include "startup/Cp932.h"
#include "startup/Folders.h"
#include "startup/ItemReader.h"
#include "startup/LeadingNumber.h"
#include "startup/ProgramDefinition.h"
#include "startup/SharedState.h"
#include "startup/ui/App.h"

namespace kestrel {
namespace {

const char* const kStartupErrorTitle = "起動エラー";
const char* const kRosterFileName = "新名簿.txt";
constexpr int kRosterFields = 8;
constexpr size_t kNameLength = 20;

struct RosterStudent {
    int number = 0;
    std::string name; // 20 characters, space-padded, as the roster keeps it
};

// Cut or padded with spaces to `length` characters of UTF-8 text.
std::string fixedLength(const std::string& text, size_t length) {
    size_t i = 0, count = 0;
    while (i < text.size() && count < length) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        ++count;
    }
    return text.substr(0, i) + std::string(length - count, ' ');
}

// The first listed student of the roster (eight fields an entry: number,
// birth year, two numbers, name, status, two texts; status 0 is listed).
RosterStudent firstListedStudent(const std::filesystem::path& file) {
    ItemReader reader(readCp932File(file));
    for (;;) {
        std::string fields[kRosterFields];
        int got = 0;
        while (got < kRosterFields) {
            std::optional<std::string> item = reader.next();
            if (!item) break;
            fields[got++] = std::move(*item);
        }
        if (got < kRosterFields) break;
        const double number = leadingNumber(fields[0]);
        if (leadingNumber(fields[5]) == 0 && number >= 1 && number <= kMaxStudent)
            return {static_cast<int>(number), fixedLength(fields[4], kNameLength)};
    }
    throw StartupError("名簿「" + displayPath(file) + "」に表示できる生徒がいません。");
}

} // namespace

void AfterSplash(App& app) {
    Context& ctx = app.ctx();
    try {
        InitialiseFolders(ctx);
        // Stand-in for sign-in until the name screen lands: the first listed
        // student of the roster signs in and starts level 1.
        const RosterStudent student =
            firstListedStudent(std::filesystem::path(ctx.folders.SharedFolder) / kRosterFileName);
        ctx.state.CurrentStudentNumber = static_cast<int16_t>(student.number);
        ctx.state.CurrentStudentName = student.name;
        ctx.state.SessionStartSeconds =
            static_cast<int32_t>(std::lround(ctx.services.clock.secondsSinceMidnight()));
    } catch (const ProgramEnded&) {
        throw;
    } catch (const std::exception& e) {
        ctx.services.dialogs.message(e.what(), kStartupErrorTitle, MessageButtons::Ok);
        ctx.services.exit.endProgram(1);
        return;
    }
    ctx.state.CurrentLevel = 1;
    DefineLevelTable(ctx.program);
    StartDrill(app);
}

void DefineLevels(App& app) {
    DefineLevelTable(app.ctx().program);
    // The level menu opens here once it exists; until then sign-in goes
    // straight to the drill (see AfterSplash).
}

void StartDrill(App& app) {
    resetRunState(app.ctx().state);
    app.ctx().services.events.processEvents();
    app.show<MainFrm>();
}

} // namespace kestrel
