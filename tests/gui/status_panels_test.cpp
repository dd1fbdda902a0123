// The status line's panels: one row where the width allows, more rows where it does
// not, every panel showing its whole text; only a name longer than a row is shortened,
// and then shown whole in its tool tip.
#include <gtest/gtest.h>

#include <QLabel>

#include <memory>

#include "gui/status_panels.h"
#include "gui_fixture.h"

namespace tessaly::test {
namespace {

class StatusPanels : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        Panels = std::make_unique<gui::TStatusPanels>(8);
        Panels->show();   // a hidden widget is laid out only when it shows
        const char *texts[] = {"Frame 123456 + 12  01:23:45.678", "Shift -1234.500", "DShift -3", "Tracks A D",
                               "Double 100 %", "Chapter 12", "Changed", "a-project.tsp"};
        for (int i = 0; i < Panels->Count(); ++i)
            Panels->SetText(i, QString::fromLatin1(texts[i]));
    }
    // Lays the panels out at `width` and checks each one: inside the widget, apart from
    // the others, its whole text shown (or shortened with the whole text in the tip).
    void CheckAt(int width)
    {
        Panels->resize(width, Panels->heightForWidth(width));
        for (int i = 0; i < Panels->Count(); ++i) {
            QLabel &label = *Panels->Panel(i);
            EXPECT_TRUE(Panels->rect().contains(label.geometry())) << "panel " << i << " at " << width;
            for (int j = 0; j < i; ++j)
                EXPECT_FALSE(label.geometry().intersects(Panels->Panel(j)->geometry())) << i << "/" << j;
            if (label.text() == Panels->Text(i))
                EXPECT_GE(label.width(), label.sizeHint().width()) << "panel " << i << " at " << width;
            else
                EXPECT_EQ(label.toolTip(), Panels->Text(i)) << "panel " << i << " at " << width;
        }
    }

    std::unique_ptr<gui::TStatusPanels> Panels;
};

TEST_F(StatusPanels, ShowEveryTextWholeInOneRowOrSeveral)
{
    const int oneRow = Panels->sizeHint().width();
    EXPECT_EQ(Panels->RowsFor(oneRow), 1);
    EXPECT_EQ(Panels->RowsFor(oneRow * 2), 1);
    EXPECT_GE(Panels->RowsFor(oneRow / 2), 2);
    EXPECT_GT(Panels->heightForWidth(oneRow / 2), Panels->heightForWidth(oneRow));
    for (int width : {oneRow * 2, oneRow, oneRow - 1, oneRow * 2 / 3, oneRow / 2, Panels->minimumSizeHint().width()})
        CheckAt(width);
    // Every panel but the name keeps its text whole, even at the least width.
    for (int i = 0; i + 1 < Panels->Count(); ++i)
        EXPECT_EQ(Panels->Panel(i)->text(), Panels->Text(i)) << i;
}

TEST_F(StatusPanels, ALongNameIsShortenedWithItsWholeTextInTheTip)
{
    const QString name = QStringLiteral("a very long project name that no status line row can hold whole.tsp");
    Panels->SetText(7, name);
    CheckAt(300);
    QLabel &label = *Panels->Panel(7);
    EXPECT_NE(label.text(), name);
    EXPECT_TRUE(label.text().endsWith(QStringLiteral(".tsp"))) << label.text().toStdString();
    EXPECT_EQ(label.toolTip(), name);
    // Where it fits again it is whole, without a tip.
    Panels->SetText(7, QStringLiteral("short.tsp"));
    CheckAt(300);
    EXPECT_EQ(label.text(), QStringLiteral("short.tsp"));
    EXPECT_TRUE(label.toolTip().isEmpty());
}

} // namespace
} // namespace tessaly::test
