#include "gui/CharacteristicListModel.h"

namespace gui {

CharacteristicListModel::CharacteristicListModel(const QStringList& entries, QObject* parent)
    : QAbstractListModel(parent), m_entries(entries) {}

int CharacteristicListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant CharacteristicListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_entries.at(index.row());
    return {};
}

void CharacteristicListModel::reload() {
    beginResetModel();
    endResetModel();
}

QItemSelection CharacteristicListModel::ranges(const model::Selection& selection) const {
    QItemSelection result;
    const int n = std::min(static_cast<int>(selection.size()), rowCount());
    for (int k = 0; k < n;) {
        if (!selection[static_cast<std::size_t>(k)]) {
            ++k;
            continue;
        }
        const int first = k;
        while (k < n && selection[static_cast<std::size_t>(k)])
            ++k;
        result.append(QItemSelectionRange(index(first), index(k - 1)));
    }
    return result;
}

void applySelectionChange(model::Selection& selection, const QItemSelection& selected,
                          const QItemSelection& deselected) {
    auto set = [&](const QItemSelection& ranges, bool value) {
        for (const QItemSelectionRange& r : ranges)
            for (int k = r.top(); k <= r.bottom(); ++k)
                if (k >= 0 && k < static_cast<int>(selection.size()))
                    selection[static_cast<std::size_t>(k)] = value;
    };
    set(deselected, false);
    set(selected, true);
}

} // namespace gui
