#include "model/MerkmalTable.h"

#include <algorithm>
#include <stdexcept>

namespace model {

void KommentarTable::reset(int capacity) {
    m_blocks.assign(static_cast<std::size_t>(std::max(capacity, 0)) + 1, KommentarBlock{});
    AnzKommentare = 0;
}

void KommentarTable::ensureIndex(int index) {
    if (index >= size())
        m_blocks.resize(static_cast<std::size_t>(index) + 1);
}

KommentarBlock& KommentarTable::block(int index) {
    if (index < 0 || index >= size())
        throw std::out_of_range("comment block index out of range");
    return m_blocks[static_cast<std::size_t>(index)];
}

const KommentarBlock& KommentarTable::block(int index) const {
    if (index < 0 || index >= size())
        throw std::out_of_range("comment block index out of range");
    return m_blocks[static_cast<std::size_t>(index)];
}

void MerkmalTable::reset(int capacity) {
    m_rows.assign(static_cast<std::size_t>(std::max(capacity, 0)) + 1, MerkmalRow{});
    AnzMerkmale = AnzOOT = AnzKritisch = AnzOK = AnzBefehle = Fortschritt = 0;
}

MerkmalRow& MerkmalTable::append() {
    ++AnzMerkmale;
    if (AnzMerkmale >= static_cast<int>(m_rows.size()))
        m_rows.resize(static_cast<std::size_t>(AnzMerkmale) + 1);
    return m_rows[static_cast<std::size_t>(AnzMerkmale)];
}

MerkmalRow& MerkmalTable::row(int index) {
    if (index < 1 || index > AnzMerkmale)
        throw std::out_of_range("characteristic row index out of range");
    return m_rows[static_cast<std::size_t>(index)];
}

const MerkmalRow& MerkmalTable::row(int index) const {
    if (index < 1 || index > AnzMerkmale)
        throw std::out_of_range("characteristic row index out of range");
    return m_rows[static_cast<std::size_t>(index)];
}

void ReaderContext::reset() {
    GruppeID.clear();
    GruppeElement1.clear();
    GruppeElement2.clear();
    GruppeElement3.clear();
    GruppeAusgabe = GruppeEinheit = AchsPos = ZeilenPos = 0;
    ZeilenIndex.fill(0);
    AktuelleKommentarZeile.clear();
    ZuweisungName.clear();
    ZuweisungWert.clear();
}

void resetForRead(MerkmalTable& table, KommentarTable& comments, ReaderContext& context, int capacity) {
    context.reset();
    table.reset(capacity);
    table.AnzBefehle = capacity;
    comments.reset(capacity);
}

} // namespace model
