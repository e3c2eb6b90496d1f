#pragma once

#include "XlsxChecker.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// A workbook as python3-openpyxl reads it: an independent reader of what the engine wrote.
inline QJsonObject readWithOpenpyxl(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/read_workbook.py"), path});
    p.waitForFinished(60000);
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    if (o.isEmpty())
        qWarning("openpyxl could not read %s: %s", qPrintable(path), p.readAllStandardError().constData());
    return o;
}

// The structural checker finds nothing wrong with the workbook.
inline void expectSound(const QString& path) {
    const QStringList faults = checkWorkbookStructure(path);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
}

inline QJsonObject sheetOf(const QJsonObject& book, const QString& name) {
    for (const QJsonValue& s : book.value(QStringLiteral("sheets")).toArray())
        if (s.toObject().value(QStringLiteral("name")).toString() == name)
            return s.toObject();
    return {};
}

inline QJsonObject cellOf(const QJsonObject& sheet, const QString& ref) {
    return sheet.value(QStringLiteral("cells")).toObject().value(ref).toObject();
}

inline QStringList sheetNamesOf(const QJsonObject& book) {
    QStringList n;
    for (const QJsonValue& s : book.value(QStringLiteral("sheets")).toArray())
        n << s.toObject().value(QStringLiteral("name")).toString();
    return n;
}
