#pragma once

#include "persistence/PersistentObject.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

enum TPKType { pktDB = 0x1, pktFK = 0x2 };
// A counter other writers move on (a project's next start, advanced by print
// runs on any station): an update keeps the larger of the stored and the new value.
constexpr int colNeverLower = 0x4;

struct TMapping {
    QString Table;
    QString Path; // property path, e.g. "ItemName" or "Owner.OID"
    QString Column;
    int Keys = 0; // TPKType flags
};

struct TSavePlan;
class TWriteSession;

// Reads and saves whole object trees through each class's registered columns.
class TObjectStore {
public:
    TObjectStore();
    ~TObjectStore();

    void RegisterMapping(const TClassInfo& cls, const QString& table, const QString& path,
                         const QString& column, int keys = 0);
    void RegisterCollection(const TClassInfo& listClass, const TClassInfo& elementClass);
    // Forgets mappings and collections (tests register afresh).
    void ClearRegistrations();
    const std::vector<TMapping>* MappingsOf(const TClassInfo& cls) const;

    void ReadObject(TPersistentObject& root);
    // `alongside` runs statements of the caller's in the save's transaction,
    // after its own: they and the save are committed, or refused, together.
    void SaveObject(TPersistentObject& root,
                    const std::function<void(TWriteSession&)>& alongside = {});

private:
    const TClassInfo* collectionElement(const TClassInfo& listClass) const;
    // The delete (0), update (1) or insert (2) statement of a class with its
    // parameters resolved, made once and kept until the registrations change.
    const TSavePlan& savePlan(const TClassInfo& cls, const std::vector<TMapping>& mappings, int op);

    std::vector<std::pair<const TClassInfo*, std::vector<TMapping>>> FMappings;
    std::vector<std::pair<const TClassInfo*, const TClassInfo*>> FCollections;
    std::map<std::pair<const TClassInfo*, int>, std::unique_ptr<TSavePlan>> FSavePlans;
};
