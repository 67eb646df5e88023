#pragma once
// A teacher signed in on the level menu over a temporary shared folder
// that holds a roster, a criteria file and a results log, for the screen
// tests of the teacher's tools.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "levelmenu/ui/MenuScreen.h"
#include "platform/ui/Shots.h"
#include "results/ResultsTestSupport.h"
#include "support/Screenshots.h"
#include "teacher/ui/FrmData.h"
#include "teacher/ui/FrmTimeData.h"

namespace kestrel::test {

inline constexpr int kTeacherNumber = 99;

struct Teacher : Menu {
    Teacher() {
        addStudent(1, "あおき　たろう", 3);
        addStudent(2, "いとう", 4);
        addStudent(3, "うえだ", 5);
        addStudent(kTeacherNumber, "山田先生", 6);
        signIn(kTeacherNumber);
        ctx.config.TeacherPassword = "1234";
        ctx.config.SchoolCode = "12345";
        ctx.config.SchoolName = "みなみ小学校";
        writeBytes(criteriaFile(), readBytes(testDataDir() / "startup" / "criteria_editor.txt"));
        LoadCriteriaTable(ctx);
    }
    std::filesystem::path criteriaFile() const { return criteriaFilePath(ctx.folders); }
    std::filesystem::path log() const { return resultsLogPath(ctx.folders); }

    // A run of this school (or of `code`), dated `daysAgo` days back.
    void schoolRun(int student, int level, int32_t seconds, const char* code = "12345") {
        run(student, level, seconds);
        records.back().schoolCode = resultText(code);
    }

    template <class T> T& tool() {
        writeFiles();
        T& form = app.show<T>();
        QApplication::setActiveWindow(&form);
        return form;
    }
    FrmTimeData& editor() { return tool<FrmTimeData>(); }
    FrmData& manager() { return tool<FrmData>(); }

    // The menu's way in: the panel, the password, the tool's button.
    void enterPassword(const QString& password) {
        QTest::mouseClick(form->Command8, Qt::LeftButton);
        form->Text3->clear();
        QTest::keyClicks(form->Text3, password);
    }
    // The picture of `w` as "<name>.png" (see shot), for the test to look at.
    QImage save(QWidget& w, const char* name) {
        return shot(w, (std::string(name) + ".png").c_str());
    }
};

// A home folder of the test's own, where the teacher's documents go: HOME
// and XDG_CONFIG_HOME are given back as they were however the test ends,
// so that a failed assertion leaves no later test writing there.
class TemporaryHome {
public:
    TemporaryHome() : m_home(saved("HOME")), m_config(saved("XDG_CONFIG_HOME")) {
        qputenv("HOME", QByteArray::fromStdString(m_dir.path().string()));
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~TemporaryHome() {
        restore("HOME", m_home);
        restore("XDG_CONFIG_HOME", m_config);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;
    std::filesystem::path path() const { return m_dir.path(); }

private:
    static std::optional<QByteArray> saved(const char* name) {
        if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
        return qgetenv(name);
    }
    static void restore(const char* name, const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    TempDir m_dir;
    std::optional<QByteArray> m_home, m_config;
};

// The same teacher in the results manager, opened on `runs` runs of the school.
struct ResultsManager : Teacher {
    FrmData* m = nullptr;
    void openWith(int runs) {
        for (int i = 0; i < runs; ++i)
            schoolRun(1 + i % 3, 1 + i % 5, 40 + i);
        m = &manager();
    }
    QStringList lines() { return m->List1->lines(); }
    void doubleClick(int line) {
        QListWidgetItem* item = m->List1->item(line);
        ASSERT_NE(item, nullptr);
        const QPoint at = m->List1->visualItemRect(item).center();
        QTest::mouseClick(m->List1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(m->List1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    std::vector<ResultRecord> onDisk() { return decodeLog(readBytes(log())); }
};

} // namespace kestrel::test
