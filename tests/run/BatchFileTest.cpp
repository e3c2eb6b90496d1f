#include "run/BatchFile.h"

#include "settings/TextCodec.h"

#include <gtest/gtest.h>

using namespace run;

TEST(BatchFile, LinesForEveryChoice) {
    struct Case {
        int mode;
        int choice;
        const char* second;
        const char* windows; // the command line after the run log's variable
        const char* posix;   // the command after exec
    };
    const Case cases[] = {
        {0, 0, "", "\"C:\\Doziduvov\\Konv.exe\" /a /C:\\Forms\\Teil 1.xlsx /C:\\Cfg\\R.cfg /ALL",
         "'/opt/dz/doziduvov' '/a' '/srv/Forms/Teil 1.xlsx' '/srv/R.cfg' '/ALL'"},
        {-1, 1, "", "\"C:\\Doziduvov\\Konv.exe\"  /C:\\Forms\\Teil 1.xlsx /C:\\Cfg\\R.cfg /OOT",
         "'/opt/dz/doziduvov' '/srv/Forms/Teil 1.xlsx' '/srv/R.cfg' '/OOT'"},
        {2, 2, "D:\\K&R.xlsx",
         "\"C:\\Doziduvov\\Konv.exe\" /o /C:\\Forms\\Teil 1.xlsx /C:\\Cfg\\R.cfg /ALO /D:\\K^&R.xlsx",
         "'/opt/dz/doziduvov' '/o' '/srv/Forms/Teil 1.xlsx' '/srv/R.cfg' '/ALO' '/srv/K'\\''R.xlsx'"},
        {1, 2, "", "\"C:\\Doziduvov\\Konv.exe\" /m /C:\\Forms\\Teil 1.xlsx /C:\\Cfg\\R.cfg /ALO /",
         "'/opt/dz/doziduvov' '/m' '/srv/Forms/Teil 1.xlsx' '/srv/R.cfg' '/ALO'"},
        {0, -1, "", "\"C:\\Doziduvov\\Konv.exe\" /a /C:\\Forms\\Teil 1.xlsx /C:\\Cfg\\R.cfg ",
         "'/opt/dz/doziduvov' '/a' '/srv/Forms/Teil 1.xlsx' '/srv/R.cfg'"},
    };
    for (const Case& c : cases) {
        BatchChoice w{c.mode,
                      c.choice,
                      QStringLiteral("C:\\Forms\\Teil 1.xlsx"),
                      QString::fromLatin1(c.second),
                      QStringLiteral("C:\\Cfg\\R.cfg"),
                      QStringLiteral("C:\\Doziduvov\\Konv.exe")};
        const BatchFile bat = makeBatchFile(w, ScriptKind::WindowsBatch);
        EXPECT_EQ(bat.path, QStringLiteral("C:\\Forms\\Teil 1.bat"));
        EXPECT_EQ(bat.content, QByteArray("@echo off\r\nsetlocal\r\nset \"DOZIDUVOV_RUN_LOG=C:\\Forms\\Teil "
                                          "1.log\"\r\n") +
                                   c.windows + "\r\n");

        QString second = QString::fromLatin1(c.second);
        if (!second.isEmpty())
            second = QStringLiteral("/srv/K'R.xlsx");
        BatchChoice p{c.mode,
                      c.choice,
                      QStringLiteral("/srv/Forms/Teil 1.xlsx"),
                      second,
                      QStringLiteral("/srv/R.cfg"),
                      QStringLiteral("/opt/dz/doziduvov")};
        const BatchFile sh = makeBatchFile(p, ScriptKind::PosixShell);
        EXPECT_EQ(sh.path, QStringLiteral("/srv/Forms/Teil 1.sh")); // not "Teil 1.xsh"
        EXPECT_EQ(sh.content,
                  QByteArray("#!/bin/sh\nDOZIDUVOV_RUN_LOG='/srv/Forms/Teil 1.log' exec ") + c.posix + "\n");
    }
    // cmd.exe's own characters in a path are escaped; % doubled.
    BatchChoice odd{0,
                    0,
                    QStringLiteral("C:\\A|B<C>^D%E.xlsx"),
                    QString(),
                    QStringLiteral("C:\\R.cfg"),
                    QStringLiteral("C:/P/K.exe")};
    EXPECT_TRUE(makeBatchFile(odd, ScriptKind::WindowsBatch).content.contains("/C:\\A^|B^<C^>^^D%%E.xlsx"));

    // The run log's name, beside the form, must reach the program unchanged: in cmd's quotes only
    // "%" acts, in the shell's only the quote.
    const struct {
        const char* form;
        const char* line; // the line that names the log
    } logs[] = {
        {"C:\\Q&A\\100% Teil ü.xlsx", "set \"DOZIDUVOV_RUN_LOG=C:\\Q&A\\100%% Teil ü.log\"\r\n"},
        {"C:\\x^y\\%PATH%.xlsx", "set \"DOZIDUVOV_RUN_LOG=C:\\x^y\\%%PATH%%.log\"\r\n"},
        {"/srv/Q&A/100% Teil 'ü'.xlsx", "DOZIDUVOV_RUN_LOG='/srv/Q&A/100% Teil '\\''ü'\\''.log' exec '"},
        {"/srv/$HOME `x` \\.xlsx", "DOZIDUVOV_RUN_LOG='/srv/$HOME `x` \\.log' exec '"},
    };
    for (const auto& l : logs) {
        const QString form = QString::fromUtf8(l.form);
        const bool windows = !form.startsWith(QLatin1Char('/'));
        BatchChoice b{0, 0, form, QString(), QStringLiteral("R.cfg"), QStringLiteral("K")};
        const ScriptKind kind = windows ? ScriptKind::WindowsBatch : ScriptKind::PosixShell;
        const QByteArray content = makeBatchFile(b, kind).content;
        const QByteArray line =
            windows ? settings::encodeAnsi(QString::fromUtf8(l.line), settings::systemCodePage())
                    : QByteArray(l.line);
        EXPECT_TRUE(content.contains(line)) << l.form << "\n" << content.toStdString();
    }
}
