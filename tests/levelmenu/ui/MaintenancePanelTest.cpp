// The teacher's way from the level menu into the data tools: the panel,
// the exact password, nothing started meanwhile, and the way back.
#include <gtest/gtest.h>

#include "support/AccessibleTree.h"
#include "teacher/ui/TeacherScreens.h"

using namespace kestrel;
using namespace kestrel::test;

TEST(MaintenancePanel, ThePasswordMustMatchExactly) {
    const struct Case {
        const char* password;
        const char* typed;
        bool opens;
    } cases[] = {
        {"", "", true},
        {"1234", "1234", true},
        {"Kyoushi", "Kyoushi", true},
        {"Kyoushi", "kyoushi", false},
        {"1234", " 1234", false},
        {"1234", "1234 ", false},
        {"1234", "", false},
        {"", " ", false},
    };
    for (const Case& c : cases) {
        for (int index : {0, 1}) {
            Teacher t;
            t.ctx.config.TeacherPassword = c.password;
            t.open();
            t.enterPassword(QString::fromUtf8(c.typed));
            QTest::mouseClick(t.form->Command10[static_cast<size_t>(index)], Qt::LeftButton);
            const std::string what = std::string("「") + c.typed + "」 for 「" + c.password +
                                     "」, button " + std::to_string(index);
            if (c.opens) {
                EXPECT_TRUE(t.dialogs.shown.empty()) << what;
                EXPECT_EQ(t.app.find<seisekitime1>(), nullptr) << what;
                EXPECT_EQ(t.app.find<FrmData>() != nullptr, index == 0) << what;
                EXPECT_EQ(t.app.find<FrmTimeData>() != nullptr, index == 1) << what;
            } else {
                ASSERT_EQ(t.dialogs.shown.size(), 1u) << what;
                EXPECT_EQ(t.dialogs.shown[0].text, "パスワードを入力して下さい");
                EXPECT_EQ(t.dialogs.shown[0].buttons, MessageButtons::Ok);
                EXPECT_NE(t.app.find<seisekitime1>(), nullptr) << what;
                EXPECT_FALSE(t.form->Picture7->isHidden()) << what;
                EXPECT_EQ(t.app.find<FrmData>(), nullptr);
                EXPECT_EQ(t.app.find<FrmTimeData>(), nullptr);
            }
        }
    }
}

TEST(MaintenancePanel, AHashedPasswordOpensWithThePasswordAndIsNeverShown) {
    // `echo -n 1234 | mkpasswd -m yescrypt --stdin`
    const std::string hash =
        "$y$j9T$4aREXGTuKq1f.0cqFEWa//$EbVz1n9UrRY8k6gcCp.7MwOKwcDc48cutpi1knLU9a0";
    for (const char* typed : {"1234", "12345", ""}) {
        Teacher t;
        t.ctx.config.TeacherPassword = hash;
        t.open();
        t.enterPassword(QString::fromUtf8(typed));
        // Nothing the menu shows, to the eye or to a screen reader, holds the hash.
        for (const auto& [name, element] : accessibleElements(*t.form)) {
            const QString shown =
                element->text(QAccessible::Name) + element->text(QAccessible::Value);
            EXPECT_FALSE(shown.contains(QStringLiteral("$y$"))) << name.toStdString();
        }
        EXPECT_FALSE(t.form->Text3->displayText().contains(QStringLiteral("$")));
        QTest::mouseClick(t.form->Command10[0], Qt::LeftButton);
        const bool right = std::string(typed) == "1234";
        EXPECT_EQ(t.app.find<FrmData>() != nullptr, right) << typed;
        EXPECT_EQ(t.dialogs.shown.size(), right ? 0u : 1u) << typed;
        for (const auto& shown : t.dialogs.shown)
            EXPECT_EQ(shown.text.find("$y$"), std::string::npos);
    }
}

TEST(MaintenancePanel, NothingStartsWhileItIsOpenAndItKeepsItsText) {
    Teacher t;
    t.open();
    EXPECT_TRUE(t.form->Picture7->isHidden());
    t.enterPassword(QStringLiteral("12"));
    ASSERT_FALSE(t.form->Picture7->isHidden());
    EXPECT_EQ(t.form->Text3->echoMode(), QLineEdit::Password);
    EXPECT_EQ(t.form->Text3->displayText(), QStringLiteral("**"));
    EXPECT_EQ(t.form->Label28->text(), QStringLiteral("データ変更パスワード"));

    // "1" typed on the screen, a click on a start button and on a level's name.
    t.type(QStringLiteral("1"));
    QTest::keyClick(t.form, Qt::Key_1);
    QTest::mouseClick(t.form->Command4[1], Qt::LeftButton);
    QTest::mouseClick(t.form->Label3[2], Qt::LeftButton);
    QTest::keyClick(t.form->Command4[3], Qt::Key_3, Qt::AltModifier);
    QTest::qWait(100);
    EXPECT_FALSE(t.drillStarted());

    QTest::mouseClick(t.form->Command12, Qt::LeftButton);
    EXPECT_TRUE(t.form->Picture7->isHidden());
    QTest::mouseClick(t.form->Command8, Qt::LeftButton);
    EXPECT_FALSE(t.form->Picture7->isHidden());
    EXPECT_EQ(t.form->Text3->text(), QStringLiteral("12"));
    t.save(*t.form, "seisekitime1-maintenance");
    // The panel stands in front of the columns, in its own light yellow.
    const QImage shot = t.form->grab().toImage();
    const QPoint corner = t.form->Picture7->mapTo(t.form, QPoint(6, 6));
    EXPECT_EQ(QColor(shot.pixel(corner)), QColor(255, 255, 224));
    const QPoint box = t.form->Text3->mapTo(t.form, QPoint(0, 0));
    EXPECT_EQ(t.form->childAt(box + QPoint(4, 4)), t.form->Text3);

    // Closed again, the menu starts levels as before.
    QTest::mouseClick(t.form->Command12, Qt::LeftButton);
    t.type(QStringLiteral("1"));
    EXPECT_TRUE(t.drillStarted());
}

TEST(MaintenancePanel, EachToolLeadsBackToAMenuLoadedAfresh) {
    for (int index : {0, 1}) {
        Teacher t;
        t.open();
        t.enterPassword(QStringLiteral("1234"));
        QTest::mouseClick(t.form->Command10[static_cast<size_t>(index)], Qt::LeftButton);
        t.app.deleteUnloaded();
        ASSERT_EQ(t.app.find<seisekitime1>(), nullptr);
        QPushButton* back =
            index == 0 ? t.app.find<FrmData>()->Command4 : t.app.find<FrmTimeData>()->Command4;
        QTest::mouseClick(back, Qt::LeftButton);
        t.app.deleteUnloaded();
        EXPECT_EQ(t.app.find<FrmData>(), nullptr);
        EXPECT_EQ(t.app.find<FrmTimeData>(), nullptr);
        t.form = t.app.find<seisekitime1>();
        ASSERT_NE(t.form, nullptr);
        EXPECT_EQ(t.form->MenuReady(), 1);
        EXPECT_TRUE(t.form->Picture7->isHidden());
        EXPECT_TRUE(t.form->Text3->text().isEmpty());
        EXPECT_FALSE(t.form->Command8->isHidden());
        EXPECT_TRUE(t.dialogs.shown.empty());
    }
}

TEST(MaintenancePanel, EnterInThePasswordBoxIsTheFirstButton) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
        for (const char* typed : {"1234", "123"}) {
            Teacher t;
            t.open();
            t.enterPassword(QString::fromUtf8(typed));
            QTest::keyClick(t.form->Text3, key);
            const bool right = std::string(typed) == "1234";
            EXPECT_EQ(t.dialogs.shown.size(), right ? 0u : 1u) << typed;
            EXPECT_EQ(t.app.find<FrmData>() != nullptr, right) << typed;
            EXPECT_EQ(t.app.find<FrmTimeData>(), nullptr) << typed;
            if (!right) {
                EXPECT_EQ(t.form->Text3->text(), "123") << "the typed text stays";
            }
        }
}
