#pragma once

#include "PartProgramFile.h"
#include "SimHost.h"

#include <QJsonArray>
#include <QJsonObject>

// Builds small part programs for the in-process simulated host.
class ProgramBuilder {
public:
    ProgramBuilder& comment(const QStringList& lines, int type = 1, const QString& text = {}) {
        return add(QJsonObject{{"type", 196},
                               {"id", QStringLiteral("C%1").arg(m_commands.size())},
                               {"comment", QJsonObject{{"commentType", type},
                                                       {"text", text},
                                                       {"lines", QJsonArray::fromStringList(lines)}}}});
    }
    ProgramBuilder& assignment(const QString& name, const QString& value) {
        return add(QJsonObject{
            {"type", 191}, {"id", "A"}, {"assignment", QJsonObject{{"name", name}, {"value", value}}}});
    }
    ProgramBuilder& move() { return add(QJsonObject{{"type", 1}, {"id", "MOVE"}}); }
    ProgramBuilder& groupStart(int type, const QString& name, const QString& feature, int output = 2,
                               int units = 1) {
        return add(QJsonObject{
            {"type", type},
            {"id", name},
            {"dimension",
             QJsonObject{{"name", name}, {"feature1", feature}, {"outputMode", output}, {"units", units}}}});
    }
    ProgramBuilder& groupEnd(int type, const QString& name) {
        return add(QJsonObject{{"type", type}, {"id", name}});
    }
    // An axis of a location (or, with truePosition, of a true position) group.
    ProgramBuilder& axis(int type, const QString& name, const QString& label, QJsonObject dim = {},
                         bool truePosition = false, bool marked = true) {
        dim.insert("axisLabel", label);
        dim.insert(truePosition ? "isTruePositionAxis" : "isLocationAxis", true);
        return add(QJsonObject{{"type", type}, {"id", name}, {"marked", marked}, {"dimension", dim}});
    }
    ProgramBuilder& single(int type, const QString& name, QJsonObject dim = {}, bool marked = true) {
        dim.insert("name", name);
        return add(QJsonObject{{"type", type}, {"id", name}, {"marked", marked}, {"dimension", dim}});
    }
    ProgramBuilder& add(QJsonObject c) {
        m_commands.append(c);
        return *this;
    }
    ProgramBuilder& version(const QString& v) {
        m_version = v;
        return *this;
    }

    QJsonObject document() const {
        return QJsonObject{{"version", m_version},
                           {"partName", "Test"},
                           {"revision", "A"},
                           {"drawingNumber", "T-1"},
                           {"commands", m_commands}};
    }
    sim::SimProgram program(const QString& path = QStringLiteral("/tmp/Test.PRG")) const {
        return sim::parseProgram(document(), path);
    }
    std::shared_ptr<sim::SimHost> host() const { return sim::SimHost::create(program()); }

private:
    QJsonArray m_commands;
    QString m_version = QStringLiteral("2023.1");
};
