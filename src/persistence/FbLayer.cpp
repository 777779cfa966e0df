#include "persistence/FbLayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>

QSqlDatabase TFbApiLayer::Open(const TConnectionParams& params, const QString& connectionName) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE")))
        throw Exception(QStringLiteral("Unable to load the Firebird client library libfbclient.so.2"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), connectionName);
    db.setDatabaseName(params.DatabaseName);
    db.setUserName(params.UserName);
    db.setPassword(params.Password);
    // The driver always connects with character set UTF8 and SQL dialect 3.
    if (!db.open()) {
        const QSqlError error = db.lastError();
        QString text = error.databaseText();
        if (text.isEmpty())
            text = error.text();
        const int code = error.nativeErrorCode().toInt();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw EDatabaseError(text, code);
    }
    return db;
}

void RegisterFirebirdLayer() { PersistenceManager().RegisterLayer(std::make_unique<TFbApiLayer>()); }

void SetupFirebirdEnvironment(const QString& programDir) {
    const QString confDir = QDir(programDir).absoluteFilePath(QStringLiteral("firebird"));
    if (QFileInfo::exists(confDir + QStringLiteral("/firebird.conf")))
        qputenv("FIREBIRD", QFile::encodeName(confDir));
    if (qEnvironmentVariableIsEmpty("FIREBIRD_LOCK"))
        qputenv("FIREBIRD_LOCK", QByteArrayLiteral("/tmp/kova-firebird"));
    const QString lockDir = qEnvironmentVariable("FIREBIRD_LOCK");
    if (!QFileInfo::exists(lockDir) && QDir().mkpath(lockDir)) {
        // Every user's copy of the program must be able to use the same lock folder.
        QFile::setPermissions(lockDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                           QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                           QFileDevice::ReadOther | QFileDevice::WriteOther |
                                           QFileDevice::ExeOther);
    }
}
