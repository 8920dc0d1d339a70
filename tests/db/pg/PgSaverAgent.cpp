// One saving agent for the concurrency test: connects, says "ready", waits for a line on standard
// input, then saves COUNT sweeps into 100 ranges shared with the other agents, each agent starting a
// quarter further on, so that all four keep creating runs at the same moment. Exit 0 when all were
// saved; otherwise the failure on standard error and exit 1.
#include "db/pg/SweepStore.h"

#include <QDateTime>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: pg_saver_agent CONNINFO AGENT COUNT\n";
        return 2;
    }
    const int agent = std::stoi(argv[2]);
    const int count = std::stoi(argv[3]);
    try {
        kestrion::db::pg::Connection connection(QString::fromUtf8(argv[1]));
        std::cout << "ready" << std::endl;
        std::string go;
        std::getline(std::cin, go);
        const QDateTime start(QDate(2026, 3, 1), QTime(8, 0));
        for (int i = 0; i < count; ++i) {
            const int block = (i + 25 * agent) % 100;
            const QString prefix = QStringLiteral("10.1.%1.").arg(block);
            // The round-trip time tells this sweep's rows apart from every other agent's.
            const auto time = static_cast<uint32_t>(agent * 1000 + i);
            const std::vector<kestrion::db::ResultRow> rows = {{prefix + QStringLiteral("1"), time},
                                                               {prefix + QString::number(2 + agent), time},
                                                               {prefix + QStringLiteral("254"), time}};
            const auto outcome =
                kestrion::db::pg::storeSweep(connection, prefix + QStringLiteral("1-254"), rows,
                                             start.addSecs(60LL * i), {kestrion::db::SweptBy::Schedule, {}});
            if (outcome != kestrion::db::SaveOutcome::Saved) {
                std::cerr << "agent " << agent << ": no run number left\n";
                return 1;
            }
        }
    } catch (const kestrion::db::DbError& error) {
        std::cerr << "agent " << agent << ": " << error.text().toStdString() << '\n';
        return 1;
    }
    return 0;
}
