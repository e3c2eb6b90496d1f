// Stores or delivers parts through the history as a separate process, so that tests can run
// many writers at once and kill one in the middle of a delivery.
//   history-writer store COUNT TAG [ROWS]   COUNT parts of ROWS rows (default 5)
//   history-writer deliver                  delivers the outbox
#include "history/History.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("doziduvov"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    settings::SettingsStore store;
    store.selectRoot();
    history::History h(history::readHistorySettings(store));
    try {
        if (args.value(0) == QLatin1String("deliver")) {
            std::printf("%d\n", h.deliverOutbox());
            return 0;
        }
        if (args.value(0) != QLatin1String("store") || args.size() < 3)
            return 2;
        const int count = args.at(1).toInt();
        const QString tag = args.at(2);
        const int rows = args.size() > 3 ? args.at(3).toInt() : 5;
        for (int k = 1; k <= count; ++k) {
            history::Part p;
            p.uuid = history::makeUuid();
            p.programName = QStringLiteral("Writers");
            p.measuredUtc = QDateTime::currentDateTimeUtc();
            p.station = tag;
            p.header = {{QStringLiteral("Writer"), tag}, {QStringLiteral("Seq"), QString::number(k)}};
            for (int r = 1; r <= rows; ++r) {
                history::StoredRow row;
                row.id = QStringLiteral("C%1").arg(r);
                row.axis = QStringLiteral("X");
                row.nominal = r;
                row.upperTol = 0.1;
                row.lowerTol = -0.1;
                row.measured = r + k * 0.001;
                p.rows.push_back(row);
            }
            const auto result = h.store(p);
            if (!result.stored && !result.queued)
                return 1;
        }
    } catch (const history::HistoryError& e) {
        std::fprintf(stderr, "history-writer: %s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
