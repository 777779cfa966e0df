#pragma once

#include "persistence/PersistenceManager.h"

// The Firebird layer, registered as "FBAPI": the embedded engine through libfbclient,
// SQL dialect 3, character set UTF8.
class TFbApiLayer : public TPersistenceLayer {
public:
    QString Name() const override { return QStringLiteral("FBAPI"); }
    QSqlDatabase Open(const TConnectionParams& params, const QString& connectionName) override;
};

void RegisterFirebirdLayer();

// Points the embedded engine at the program's own configuration (SuperClassic, so
// several copies can share one database file) and at the lock folder every copy
// shares. Must run before the first connection opens.
void SetupFirebirdEnvironment(const QString& programDir);
