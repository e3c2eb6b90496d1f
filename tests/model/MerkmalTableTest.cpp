#include "model/MerkmalTable.h"

#include <gtest/gtest.h>

using namespace model;

TEST(MerkmalTable, ResetAppendAndGrowBeyondCapacity) {
    MerkmalTable t;
    t.AnzOOT = 4;
    t.reset(2);
    EXPECT_EQ(t.capacity(), 2);
    EXPECT_EQ(t.AnzMerkmale, 0);
    EXPECT_EQ(t.AnzOOT, 0);
    EXPECT_THROW(t.row(0), std::out_of_range); // row 0 is never a valid row
    EXPECT_THROW(t.row(1), std::out_of_range);

    for (int i = 1; i <= 5; ++i) // more rows than the capacity: nothing is lost
        t.append().ID = QStringLiteral("M%1").arg(i);
    EXPECT_EQ(t.AnzMerkmale, 5);
    EXPECT_EQ(t.row(5).ID, QStringLiteral("M5"));
    EXPECT_EQ(t.row(1).ID, QStringLiteral("M1"));

    t.reset(1);
    EXPECT_EQ(t.AnzMerkmale, 0);
    EXPECT_EQ(t.append().ID, QString()); // a re-created table holds empty rows
}

TEST(KommentarTable, BlockZeroIsEmptyAndBlocksKeepTheirLinesWhenTheTableGrows) {
    KommentarTable k;
    k.reset(3);
    EXPECT_EQ(k.size(), 4);
    for (const QString& line : k.block(0).Zeile)
        EXPECT_EQ(line, QString());
    k.block(1).Zeile[1] = QStringLiteral("Gut");
    k.ensureIndex(10);
    EXPECT_EQ(k.size(), 11);
    EXPECT_EQ(k.block(1).Zeile[1], QStringLiteral("Gut"));
    EXPECT_THROW(k.block(11), std::out_of_range);
}

TEST(ReaderContext, ResetForReadClearsEverything) {
    MerkmalTable t;
    KommentarTable k;
    ReaderContext c;
    c.GruppeID = QStringLiteral("LOC1");
    c.ZeilenIndex[1] = 3;
    c.AchsPos = 2;
    t.append();
    resetForRead(t, k, c, 7);
    EXPECT_EQ(c.GruppeID, QString());
    EXPECT_EQ(c.ZeilenIndex[1], 0);
    EXPECT_EQ(c.AchsPos, 0);
    EXPECT_EQ(t.AnzBefehle, 7);
    EXPECT_EQ(t.AnzMerkmale, 0);
    EXPECT_EQ(k.size(), 8);
}
