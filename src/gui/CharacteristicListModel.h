#pragma once

#include "model/Classification.h"

#include <QAbstractListModel>
#include <QItemSelection>
#include <QStringList>

namespace gui {

// The characteristic list as a model over the state's entries; the list view shows it.
class CharacteristicListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit CharacteristicListModel(const QStringList& entries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The entries changed as a whole (a new read, a cleared list).
    void reload();

    // The selected entries as ranges of neighbouring rows, so that a view takes them in one call.
    QItemSelection ranges(const model::Selection& selection) const;

private:
    const QStringList& m_entries;
};

// Applies a selection change reported by the view to the state's flags, range by range.
void applySelectionChange(model::Selection& selection, const QItemSelection& selected,
                          const QItemSelection& deselected);

} // namespace gui
