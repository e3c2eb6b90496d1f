#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace model {

// One evaluated axis of one dimension of the part program.
struct MerkmalRow {
    std::int32_t UniqueId1 = 0;
    std::int32_t UniqueId2 = 0;
    QString Typ;
    QString Achse;
    double Bonus = 0.0;
    QString Bezug1, Bezug2, Bezug3;
    double Abweichung = 0.0;
    QString Element1, Element2, Element3;
    QString ID;
    double Bezugslaenge = 0.0;
    double Max = 0.0;
    double Messwert = 0.0;
    double Min = 0.0;
    double UTol = 0.0; // stored negative
    double Nennwert = 0.0;
    QString Ausgabe;
    double ATol = 0.0;
    double OTol = 0.0;
    QString Zusatztext;
    QString Einheit;
    int KommentarIndex = 0;
    bool Markiert = false;
    bool Kritisch = false;
};

// Up to twenty comment lines; slot 0 exists and is never used.
struct KommentarBlock {
    static constexpr int kLines = 20;
    std::array<QString, kLines + 1> Zeile;
};

class KommentarTable {
public:
    // Blocks 0 to capacity, all empty; block 0 stays empty for rows without a comment.
    void reset(int capacity);
    // Makes sure the block with this index exists (the multi-line mode grows one at a time).
    void ensureIndex(int index);

    KommentarBlock& block(int index);
    const KommentarBlock& block(int index) const;
    int size() const { return static_cast<int>(m_blocks.size()); }

    int AnzKommentare = 0;

private:
    std::vector<KommentarBlock> m_blocks{1};
};

// The characteristic table: rows 1 to AnzMerkmale in part program order; row 0 is never filled.
class MerkmalTable {
public:
    void reset(int capacity);

    // Increments AnzMerkmale and returns the new, empty row. The table grows when a run
    // produces more rows than the capacity it was reset with.
    MerkmalRow& append();

    MerkmalRow& row(int index);
    const MerkmalRow& row(int index) const;
    int capacity() const { return static_cast<int>(m_rows.size()) - 1; }

    int AnzMerkmale = 0;
    int AnzOOT = 0;
    int AnzKritisch = 0;
    int AnzOK = 0;
    int AnzBefehle = 0;
    int Fortschritt = 0;
    QString TeileProgrammName;

private:
    std::vector<MerkmalRow> m_rows{1};
};

// State the reader keeps between commands of one read, and between events while online.
struct ReaderContext {
    static constexpr int kCommentSlots = 20;

    QString GruppeID;
    QString GruppeElement1, GruppeElement2, GruppeElement3;
    int GruppeAusgabe = 0;
    int GruppeEinheit = 0;
    int AchsPos = 0;
    int ZeilenPos = 0;
    // Comment line number -> comment block of the comment read last; slot 1 is also the
    // comment pending for the next dimension (0 = none).
    std::array<int, kCommentSlots + 1> ZeilenIndex{};
    bool MultiLine = false;
    bool HeaderAusProgramm = false; // header data values from the program's assignments
    QString AktuelleKommentarZeile;
    QString ZuweisungName;
    QString ZuweisungWert;

    void reset();
};

// One row of the header data grid: the name cell (a blank before the name) and the value cell.
struct HeaderRow {
    QString name;
    QString value;
};
using HeaderRows = std::vector<HeaderRow>;

// Re-creates both tables with the capacity and resets the counters and the reader context, as
// every read and every online start does.
void resetForRead(MerkmalTable& table, KommentarTable& comments, ReaderContext& context, int capacity);

} // namespace model
