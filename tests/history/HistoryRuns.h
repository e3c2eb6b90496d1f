#pragma once

#include "common/ConverterRun.h"
#include "history/History.h"

#include <QStringDecoder>

#include <map>
#include <memory>
#include <set>

// Whole-program runs whose ASCII file holds every value the history keeps, so that the history
// can be checked against the file; and the helper process that stores parts on its own.
class HistoryRun : public ConverterRun {
protected:
    void SetUp() override {
        ConverterRun::SetUp();
        const QString ascii = QStringLiteral("ASCIISettings");
        // Column positions: ID;Achse, nominal, upper, lower, measured, deviation, out of tolerance,
        // min, max, unit, output mode, marked, type.
        const QList<QPair<int, int>> columns = {{0, 1}, {1, 2}, {2, 3},   {3, 4},   {5, 5},   {6, 6},  {7, 7},
                                                {8, 8}, {9, 9}, {10, 10}, {11, 11}, {12, 12}, {20, 13}};
        for (int c = 0; c < 22; ++c)
            store.Write(ascii, QStringLiteral("Label1_%1").arg(c), QString());
        for (const auto& [field, position] : columns)
            store.Write(ascii, QStringLiteral("Label1_%1").arg(field), QString::number(position));
    }

    // One characteristic row of the result file, or of the database read back as text.
    using Row = QStringList; // ID, axis, nominal, upper, lower, measured, deviation, out, min, max, unit,
                             // mode, marked, type

    struct AsciiFile {
        std::vector<std::pair<QString, QString>> header;
        std::vector<Row> rows;
    };

    AsciiFile asciiFile(const QString& name) {
        AsciiFile f;
        const QString text = QStringDecoder("windows-1252").decode(result(name));
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(QLatin1Char(';'));
            if (fields.size() == 2)
                f.header.emplace_back(fields[0], fields[1]);
            else if (fields.size() == 14 && fields[0] != QLatin1String("ID"))
                f.rows.push_back(fields);
        }
        return f;
    }

    // Output of a process that must succeed.
    QString output(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    std::unique_ptr<QProcess> startWriter(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(DOZIDUVOV_BIN_DIR "/history-writer"), args);
        return p;
    }

    // Eight writer processes storing 50 parts each at the same time, all ended.
    void storeFromEightWritersAtOnce(int timeoutMs) {
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int w = 0; w < 8; ++w)
            writers.push_back(
                startWriter({QStringLiteral("store"), QStringLiteral("50"), QStringLiteral("w%1").arg(w)}));
        for (auto& p : writers) {
            ASSERT_TRUE(p->waitForFinished(timeoutMs));
            EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        }
    }

    // The query every reader runs on the documented schema; tab-separated lines "R", uuid, row
    // fields in the file's order, and "H", uuid, name, value.
    static QString rowsQuery() {
        return QStringLiteral(
            "SELECT 'R', p.part_uuid, m.characteristic_id, m.axis, m.nominal, m.upper_tol, m.lower_tol, "
            "m.measured, m.deviation, m.out_tol, m.min_value, m.max_value, m.unit, m.output_mode, m.marked, "
            "m.type FROM part p JOIN measurement m ON m.part_id = p.part_id ORDER BY p.part_id, m.position");
    }
    static QString headerQuery() {
        return QStringLiteral("SELECT 'H', p.part_uuid, h.name, h.value FROM part p JOIN header_value h ON "
                              "h.part_id = p.part_id ORDER BY p.part_id, h.position");
    }

    // Every row of each result file is the row of its part in the database, value for value.
    void expectEqualToAsciiFiles(const QString& readerOutput, const QStringList& files) {
        std::vector<QString> parts;
        std::map<QString, std::vector<Row>> rows;
        std::map<QString, std::vector<std::pair<QString, QString>>> header;
        for (const QString& line : readerOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QStringList f = line.split(QLatin1Char('\t'));
            const QString kind = f.takeFirst();
            const QString uuid = f.takeFirst();
            if (std::find(parts.begin(), parts.end(), uuid) == parts.end())
                parts.push_back(uuid);
            if (kind == QLatin1String("R"))
                rows[uuid].push_back(f);
            else if (f.size() == 2)
                header[uuid].emplace_back(f[0], f[1]);
        }
        ASSERT_EQ(parts.size(), static_cast<std::size_t>(files.size())) << readerOutput.toStdString();
        const QLocale german(QLocale::German);
        for (int k = 0; k < files.size(); ++k) {
            const AsciiFile file = asciiFile(files[k]);
            ASSERT_FALSE(file.rows.empty()) << files[k].toStdString();
            const std::vector<Row>& stored = rows[parts[static_cast<std::size_t>(k)]];
            EXPECT_EQ(header[parts[static_cast<std::size_t>(k)]], file.header);
            // The file holds the reported rows; the history holds every row of the list.
            std::size_t s = 0;
            for (const Row& a : file.rows) {
                while (s < stored.size() && (stored[s][0] != a[0] || stored[s][1] != a[1]))
                    ++s;
                ASSERT_LT(s, stored.size()) << a.join(QLatin1Char(';')).toStdString() << " is not stored";
                const Row& d = stored[s++];
                for (int c = 2; c <= 9; ++c) {
                    bool ok = false;
                    const double fromFile = german.toDouble(a[c], &ok);
                    ASSERT_TRUE(ok) << a[c].toStdString();
                    EXPECT_NEAR(d[c].toDouble(), fromFile, 1e-9) << a.join(QLatin1Char(';')).toStdString();
                }
                EXPECT_EQ(d[10], a[10]);
                EXPECT_EQ(d[11], a[11]);
                EXPECT_EQ(d[12] == QLatin1String("1"), a[12] == QLatin1String("Wahr")) << a[12].toStdString();
                EXPECT_EQ(d[13], a[13]);
            }
        }
    }
};
