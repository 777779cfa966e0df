#pragma once

#include "model/bom/FileBom.h"
#include "persistence/PersistentObject.h"

#include <QByteArray>
#include <memory>

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
    static QString ExtractFileNameNoExt(const QString& fileString);
};
