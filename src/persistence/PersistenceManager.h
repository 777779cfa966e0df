#pragma once

#include "persistence/ConnectionPool.h"
#include "persistence/ObjectStore.h"

#include <QPair>
#include <functional>

using TStatementParams = QList<QPair<QString, QVariant>>;
// Sees every statement the layer runs, with its parameters in binding order.
using TStatementObserver = std::function<void(const QString& sql, const TStatementParams& params)>;

// The process's persistence: its connections, the classes' mappings, and
// whoever watches the statements.
class TPersistenceManager : public TConnectionPool, public TObjectStore {
public:
    TPersistenceManager() = default;
    TPersistenceManager(const TPersistenceManager&) = delete;
    TPersistenceManager& operator=(const TPersistenceManager&) = delete;

    void SetStatementObserver(TStatementObserver observer) { FObserver = std::move(observer); }
    void NotifyStatement(const QString& sql, const TStatementParams& params) const {
        if (FObserver)
            FObserver(sql, params);
    }
    // The same, with the parameters' names and values in binding order.
    void NotifyStatement(const QString& sql, const QStringList& names,
                         const QList<QVariant>& values) const {
        if (!FObserver)
            return;
        TStatementParams bound;
        bound.reserve(names.size());
        for (qsizetype i = 0; i < names.size(); ++i)
            bound.append({names.at(i), values.value(i)});
        FObserver(sql, bound);
    }

private:
    TStatementObserver FObserver;
};

// The process's persistence manager.
inline TPersistenceManager& PersistenceManager() {
    static TPersistenceManager manager;
    return manager;
}
