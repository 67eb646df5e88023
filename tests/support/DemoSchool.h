#pragma once
// The demo installation, laid out by the demo tool in a temporary folder as
// a school installs the program: the path file, the program folder
// Kestrel/, the program menu in 起動/ and the shared folder 共有データ/ with
// a few months of runs. Tests break one thing of it at a time.
#include <filesystem>
#include <string>

#include "support/Fakes.h"
#include "support/Processes.h"

namespace kestrel::test {

class DemoSchool {
public:
    DemoSchool() {
        const int made = waitForExit(spawnProgram(
            KESTREL_BINARY_DIR "/tools/make_demo",
            {std::string(KESTREL_DEMO_SOURCE_DIR) + "/install", m_root.path().string()},
            m_root / "make_demo.out"));
        ok = made == 0;
        std::filesystem::remove(m_root / "make_demo.out");
        std::filesystem::create_directories(programFolder());
        std::filesystem::create_directories(m_root / "起動");
        std::filesystem::copy_file(KESTREL_BINARY_DIR "/programmenu/プログラムメニューc.exe",
                                   m_root / "起動" / "プログラムメニューc.exe");
    }

    bool ok = false; // the demo tool made it
    std::filesystem::path root() const { return m_root.path(); }
    std::filesystem::path programFolder() const { return m_root / "Kestrel"; }
    std::filesystem::path programFile() const { return programFolder() / "kestrel"; }
    std::filesystem::path shared() const { return m_root / "共有データ"; }
    std::filesystem::path data() const { return shared() / "Kestrel"; }
    std::filesystem::path operator/(const std::string& relative) const { return m_root / relative; }

private:
    TempDir m_root;
};

} // namespace kestrel::test
