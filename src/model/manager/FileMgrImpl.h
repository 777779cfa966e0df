#pragma once

#include "model/DataFile.h"
#include "model/bom/FileBom.h"
#include "persistence/PersistentObject.h"

#include <QByteArray>
#include <memory>
#include <optional>

// A project's stored data file (P_DATA ties it to the project, P_FILE holds it).
struct TProjectData {
    QString FileId;
    QString FileName; // as chosen, with its extension
    TDataFormat Format;
    QByteArray Body;
};

// The picture store: rows of P_FILE written, read and deleted with hand-written SQL.
class TFileMgr : public TPersistentObject {
public:
    // True when no row has the file's oid.
    bool checkFile(const TCFile& file);
    // Inserts a new row or updates the existing one; always true.
    bool SaveFile(TCFile& file);
    TCFile& SaveFileToDb(TCFile& file);
    bool UpdateFile(const TCFile& file);
    // The stored file, or a fresh file object (new Oid, empty body) when there is none.
    std::unique_ptr<TCFile> GetFileFromDb(const QString& oid);
    // The stored bytes; empty when there is no such row.
    QByteArray getFileData(const QString& fid);
    void DeleteFileFromDB(const QString& oid);

    // The project's data file; none when it has none.
    std::optional<TProjectData> GetProjectData(const QString& projectOid);
    // The project's data parsed as stored; null when it has none.
    std::unique_ptr<TDataTable> ReadProjectTable(const QString& projectOid);
    // Stores `data` as the project's data file in one transaction, the file it
    // had before removed with it; its FileId is set to the new row's.
    void SaveProjectData(const QString& projectOid, TProjectData& data);
    // Removes the project's data file; nothing when it has none.
    void DeleteProjectData(const QString& projectOid);

    static QString ExtractFileNameNoExt(const QString& fileString);
};
