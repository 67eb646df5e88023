#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "platform/ui/Accessibility.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "support/AccessibleTree.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

QStringList items(QAccessibleInterface* list) {
    QStringList out;
    for (int i = 0; i < list->childCount(); ++i)
        out.push_back(list->child(i)->text(QAccessible::Name));
    return out;
}

} // namespace

TEST(Accessibility, EveryTextOnAFormReachesAScreenReaderAlsoAfterAnUpdate) {
    installAccessibility();

    QWidget form;
    form.setObjectName(QStringLiteral("form"));
    form.resize(400, 300);
    auto* title =
        new VbLabel(&form, QStringLiteral("Label1"), QStringLiteral("なまえを えらんでね"));
    title->setGeometry(0, 0, 200, 20);
    auto* twoLines =
        new VbLabel(&form, QStringLiteral("Label2"), QStringLiteral("１行目\r\n２行目"));
    twoLines->setGeometry(0, 20, 200, 40);
    auto* ok = new QPushButton(QStringLiteral("O.K."), &form);
    ok->setObjectName(QStringLiteral("Command1"));
    auto* grade = new QRadioButton(QStringLiteral("小３"), &form);
    grade->setObjectName(QStringLiteral("Option1"));
    auto* combo = new QComboBox(&form);
    combo->setObjectName(QStringLiteral("Combo1"));
    combo->addItems({QStringLiteral("全員"), QStringLiteral("小３")});
    auto* list = new VbListBox(&form, QStringLiteral("List1"));
    list->setGeometry(200, 0, 200, 300);
    list->setLines({QStringLiteral("山田　花子"), QStringLiteral("佐藤")});
    form.show();

    auto all = accessibleElements(form);
    EXPECT_EQ(accessibleName(all, "Label1"), QStringLiteral("なまえを えらんでね"));
    EXPECT_EQ(accessibleName(all, "Label2"), QStringLiteral("１行目\n２行目"));
    EXPECT_EQ(accessibleName(all, "Command1"), QStringLiteral("O.K."));
    EXPECT_EQ(accessibleName(all, "Option1"), QStringLiteral("小３"));
    EXPECT_EQ(accessibleName(all, "Combo1"), QStringLiteral("全員"));
    ASSERT_TRUE(all.count("Label1"));
    EXPECT_EQ(all["Label1"]->role(), QAccessible::StaticText);

    ASSERT_TRUE(all.count("List1"));
    QAccessibleInterface* lines = all["List1"];
    EXPECT_EQ(lines->role(), QAccessible::List);
    EXPECT_EQ(items(lines), list->lines());

    // An updated text is read at once. (The change is also announced, but
    // only to a listening screen reader, which the offscreen platform lacks.)
    title->setText(QStringLiteral("さくら台小学校"));
    combo->setCurrentIndex(1);
    list->AddItem(QStringLiteral("中村"));
    all = accessibleElements(form);
    EXPECT_EQ(accessibleName(all, "Label1"), QStringLiteral("さくら台小学校"));
    EXPECT_EQ(accessibleName(all, "Combo1"), QStringLiteral("小３"));
    EXPECT_EQ(items(all["List1"]), list->lines());
}
