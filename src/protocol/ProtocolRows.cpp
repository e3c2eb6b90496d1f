#include "protocol/ProtocolRows.h"

namespace protocol {

RowState rowState(const model::MerkmalRow& row) {
    if (row.ATol != 0.0)
        return RowState::OutOfTolerance;
    return row.Kritisch ? RowState::Warning : RowState::Ok;
}

std::vector<ChosenRow> chosenRows(const model::MerkmalTable& table, model::KommentarTable& comments,
                                  const model::Selection& selection) {
    std::vector<ChosenRow> rows;
    const int entries = static_cast<int>(selection.size());
    for (int i = 1; i <= entries && i <= table.AnzMerkmale; ++i) {
        const model::MerkmalRow& r = table.row(i);
        if (!model::takeForOutput(r, comments) || !selection[static_cast<std::size_t>(i - 1)])
            continue;
        rows.push_back({&r, comments.block(r.KommentarIndex).Zeile[1]});
    }
    return rows;
}

} // namespace protocol
