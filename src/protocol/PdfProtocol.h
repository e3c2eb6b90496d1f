#pragma once

#include "model/MerkmalTable.h"
#include "protocol/ProtocolRows.h"
#include "settings/LanguageTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>

#include <functional>
#include <vector>

class QPainter;

namespace protocol {

// The language file's section with the protocols' texts, and its lines.
inline QString protocolSection() {
    return QStringLiteral("Protocols");
}
namespace line {
enum : int {
    AqdefSwitch = 2,
    PdfSwitch,
    MappingFrame,
    MappingK0006,
    MappingK0008,
    MappingNone,
    PdfMenu,
    Title,
    PartProgram,
    DrawingNumber,
    Revision,
    DateTime,
    Id,
    Axis,
    Nominal,
    UpperTol,
    LowerTol,
    Measured,
    Deviation,
    OutOfTol,
    Bar,
    Summary,
    PageOf,
    Date,
    Signature,
    AqdefWritten,
    PdfWritten,
    AqdefFailed,
    PdfFailed,
    HeaderData,
    OperatorNotNumber,
    QifSwitch,
    QifWritten,
    QifFailed,
    Unit,
    Designation,
    PartWithin,
    PartOut,
    PartIncomplete,
    AqdefTextsCut,
    QifMenu,
};
}

// The measurement protocol of one part: A4 pages with the part program, the header data, a line
// per characteristic with a deviation bar in its tolerance band, the counts and a signature field.
struct PdfContent {
    ProgramInfo program;
    const std::vector<ChosenRow>& rows;
    const model::HeaderRows& header;
    QDateTime measuredAt;
    QLocale locale;
    double warningPercent = 90.0;
    const settings::LanguageTable& texts;
};

// The PDF file's bytes. Text needs fonts: a QGuiApplication must exist.
QByteArray renderPdfProtocol(const PdfContent& content);

// An A4 portrait document without margins, drawn by draw at the given dots per inch; empty when
// it cannot be drawn.
QByteArray renderA4Pdf(const QString& title, int resolution, const std::function<void(QPainter&)>& draw);

// Where a value lies on a bar of the given width: the tolerance band fills the middle, values
// beyond it run out to the ends and stop there.
struct BarScale {
    double lower = 0.0; // tolerance limits
    double upper = 0.0;
    double width = 0.0;
    double margin = 0.0; // room either side of the band
    double x(double value) const;
};

} // namespace protocol
