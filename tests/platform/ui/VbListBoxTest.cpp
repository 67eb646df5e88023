#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "platform/ui/VbListBox.h"

using namespace kestrel;

namespace {

QStringList texts(const VbListBox& list) {
    return list.lines();
}

void pressOn(VbListBox& list, int row) {
    const QPointF at = list.visualItemRect(list.item(row)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &release);
}

} // namespace

TEST(VbListBox, SortedListsPlaceEveryLineAndStayInStepAfterRemovals) {
    VbListBox sorted(nullptr, QStringLiteral("L"), VbListBox::Order::Sorted);
    EXPECT_EQ(sorted.AddItem(QStringLiteral("b")), 0);
    EXPECT_EQ(sorted.AddItem(QStringLiteral("A")), 0);
    EXPECT_EQ(sorted.AddItem(QStringLiteral("a")), 1); // after the equal "A"
    EXPECT_EQ(sorted.AddItem(QStringLiteral("-- x")), 0);
    EXPECT_EQ(texts(sorted), (QStringList{"-- x", "A", "a", "b"}));
    sorted.RemoveItem(1);
    EXPECT_EQ(sorted.AddItem(QStringLiteral("a2")), 2);
    EXPECT_EQ(texts(sorted), (QStringList{"-- x", "a", "a2", "b"}));

    VbListBox plain(nullptr, QStringLiteral("P"));
    plain.AddItem(QStringLiteral("z"));
    plain.AddItem(QStringLiteral("a"));
    EXPECT_EQ(plain.AddItem(QStringLiteral("m"), 1), 1);
    EXPECT_EQ(texts(plain), (QStringList{"z", "m", "a"}));
    EXPECT_EQ(plain.List(7), QString());
    plain.Clear();
    EXPECT_EQ(plain.ListCount(), 0);
    EXPECT_EQ(plain.ListIndex(), -1);
}

TEST(VbListBox, ClickComesWithEveryNewSelectionAndARepeatedClickButNotWithNewLines) {
    VbListBox list(nullptr, QStringLiteral("L"));
    list.resize(200, 200);
    list.show();
    int clicks = 0;
    QObject::connect(&list, &VbListBox::Click, [&] { ++clicks; });
    list.setLines({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")});
    EXPECT_EQ(clicks, 0);
    list.setListIndex(0);
    EXPECT_EQ(clicks, 1);
    list.setListIndex(0);
    EXPECT_EQ(clicks, 1);
    pressOn(list, 2);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(list.ListIndex(), 2);
    pressOn(list, 2);
    EXPECT_EQ(clicks, 3);
    list.setListIndex(9);
    EXPECT_EQ(list.ListIndex(), 2);
}
