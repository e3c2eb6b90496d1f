#pragma once

#include "model/MerkmalTable.h"
#include "protocol/ProtocolRows.h"

#include <QByteArray>
#include <QDateTime>
#include <QUuid>

#include <string>
#include <vector>

namespace protocol {

// One measured part as a QIF results document: the characteristics (definition, nominal and item
// of each chosen row) and one set of measurement results.
struct QifContent {
    ProgramInfo program;
    const std::vector<ChosenRow>& rows;
    const model::HeaderRows& header;
    QDateTime measuredAt;
    QUuid documentId; // null: a fresh one
};

// The document in UTF-8, with its XML declaration.
QByteArray qifResults(const QifContent& content);

// A double as xs:decimal holds it: the shortest digits that read back as the same double, never
// an exponent, a decimal point in every locale. Only for finite values.
std::string qifDecimal(double value);

} // namespace protocol
