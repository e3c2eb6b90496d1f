// Fuzz target for the spreadsheet engine: open, read, copy a sheet, write a cell, save. Built as
// a libFuzzer target with clang (-DDOZIDUVOV_FUZZ=ON), and always as the replay driver below,
// which runs the corpus and mutations of it under CTest.
#include "xlsx/Spreadsheet.h"
#include "xlsx/ZipPackage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <random>

namespace {

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

void exercise(const QByteArray& bytes) {
    const QString in = scratch().filePath(QStringLiteral("in.xlsx"));
    const QString out = scratch().filePath(QStringLiteral("out.xlsx"));
    {
        QFile f(in);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        f.write(bytes);
    }
    try {
        auto book = excel::openWorkbook(in);
        const QStringList names = book->sheetNames();
        for (const QString& n : names)
            if (excel::Worksheet* ws = book->sheet(n))
                for (int r = 1; r <= 30; ++r)
                    for (int c = 1; c <= 12; ++c)
                        ws->cellText(r, c);
        if (excel::Worksheet* ws = book->sheet(names.first())) {
            ws->setText(3, 2, QStringLiteral("fuzz"));
            ws->clearComment(1, 1);
        }
        book->copySheetAfter(names.first(), names.first(), QStringLiteral("Kopie"))->setNumber(2, 2, 1.5);
        book->saveAs(out);
        excel::openWorkbook(out); // what we wrote opens again
    } catch (const excel::SpreadsheetError&) {
        // Refusing a damaged file is the expected outcome.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    exercise(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}

#ifndef DOZIDUVOV_LIBFUZZER
// The replay driver: every corpus file as it is, with bytes flipped and cut short, and with the
// XML parts inside the package mutated (the zip's checksums would stop most raw mutations early).
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 40;
    std::mt19937 rng(20261207);
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    int runs = 0;
    for (const QString& name : corpus.entryList(QDir::Files)) {
        QFile f(corpus.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray original = f.readAll();
        exercise(original);
        ++runs;
        for (int i = 0; i < mutations; ++i) {
            QByteArray m = original;
            if (i % 3 == 0) {
                m.truncate(static_cast<qsizetype>(rng() % static_cast<unsigned>(m.size() + 1)));
            } else {
                for (int k = 0; k < 1 + i % 5; ++k)
                    m[static_cast<qsizetype>(rng() % static_cast<unsigned>(m.size()))] =
                        static_cast<char>(rng());
            }
            exercise(m);
            ++runs;
        }
        // Mutate the XML inside an intact package.
        excel::xlsx::ZipPackage pkg;
        const QString src = scratch().filePath(QStringLiteral("src.xlsx"));
        QFile::remove(src);
        QFile::copy(corpus.filePath(name), src);
        try {
            pkg.open(src);
        } catch (const excel::SpreadsheetError&) {
            continue;
        }
        const QStringList parts = pkg.parts();
        static const char* injections[] = {"<",
                                           "&",
                                           "\"",
                                           "<row r=\"0\"/>",
                                           "<c r=\"ZZZZ9\"/>",
                                           "r:id=\"rId99\"",
                                           "<sheet name=\"x\" sheetId=\"1\" r:id=\"rId1\"/>",
                                           "</",
                                           "\x00"};
        for (int i = 0; i < mutations; ++i) {
            const QString part = parts[static_cast<qsizetype>(rng() % static_cast<unsigned>(parts.size()))];
            QByteArray xml = pkg.read(part);
            const qsizetype at =
                xml.isEmpty() ? 0 : static_cast<qsizetype>(rng() % static_cast<unsigned>(xml.size()));
            if (i % 2 == 0)
                xml.insert(at, injections[rng() % (sizeof injections / sizeof *injections)]);
            else
                xml.remove(at, static_cast<qsizetype>(rng() % 40));
            excel::xlsx::ZipPackage copy;
            copy.open(src);
            copy.write(part, xml);
            const QString mutated = scratch().filePath(QStringLiteral("mutated.xlsx"));
            try {
                copy.save(mutated);
            } catch (const excel::SpreadsheetError&) {
                continue;
            }
            QFile mf(mutated);
            mf.open(QIODevice::ReadOnly);
            exercise(mf.readAll());
            ++runs;
        }
    }
    std::printf("%d inputs, no crash\n", runs);
    return runs > 0 ? 0 : 1;
}
#endif
