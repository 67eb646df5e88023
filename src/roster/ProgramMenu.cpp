#include "roster/ProgramMenu.h"

#include "startup/Context.h"
#include "startup/Folders.h"

namespace kestrel {

std::string ProgramMenuCommand::commandLine() const {
    std::string line = program;
    for (const std::string& a : arguments)
        line += " " + a;
    return line;
}

ProgramMenuCommand programMenuCommand(const AppFolders& folders) {
    std::string folder = folders.ProgramFolder;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    const std::string written = folder + "\\..\\" + kProgramMenuFolder + "\\" + kProgramMenuFile;
    return {mapWrittenPath(written, folders.ProgramFolder), {kProgramMenuArgument}};
}

void LeaveToProgramMenu(Context& ctx) {
    const ProgramMenuCommand command = programMenuCommand(ctx.folders);
    std::string error;
    if (!ctx.services.processes.startDetached(command.program, command.arguments, error)) {
        ctx.services.dialogs.message("プログラムメニュー「" + command.program +
                                         "」を起動できません。\r\n" + error,
                                     ctx.program.ProgramTitle, MessageButtons::Ok);
        ctx.services.exit.endProgram(1);
        return;
    }
    ctx.services.exit.endProgram(0);
}

} // namespace kestrel
