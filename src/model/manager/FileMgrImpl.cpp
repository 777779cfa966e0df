#include "model/manager/FileMgrImpl.h"

#include "persistence/PersistenceManager.h"

// Reads never commit: giving the connection back rolls their transaction back.
// The oid is always bound as a parameter, never pasted into the statement.

bool TFileMgr::checkFile(const TCFile& file) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("SELECT body from P_FILE where oid = :oid"));
    query->ParamAsString(QStringLiteral("oid"), file.Oid);
    query->Open();
    const bool none = query->Eof();
    query->Close();
    return none;
}

bool TFileMgr::SaveFile(TCFile& file) {
    if (checkFile(file))
        SaveFileToDb(file);
    else
        UpdateFile(file);
    return true;
}

TCFile& TFileMgr::SaveFileToDb(TCFile& file) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral(
        "insert into P_FILE values(:oid,:owner,:filename,:filetype,:filesize,:body)"));
    query->ParamAsString(QStringLiteral("oid"), file.Oid);
    query->ParamAsString(QStringLiteral("owner"), file.Owner);
    query->ParamAsString(QStringLiteral("filename"), file.FileName);
    query->ParamAsString(QStringLiteral("filetype"), file.FileType);
    query->ParamAsInteger(QStringLiteral("filesize"), int(file.Body.size()));
    query->ParamFromStream(QStringLiteral("body"), file.Body);
    query->ExecSQL();
    conn->Commit();
    query->Close();
    return file;
}

bool TFileMgr::UpdateFile(const TCFile& file) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("update P_FILE set owner = :owner,file_name =:filename,file_type = "
                                 ":filetype,body = :body,file_size = :filesize where oid = :oid"));
    query->ParamAsString(QStringLiteral("owner"), file.Owner);
    query->ParamAsString(QStringLiteral("filename"), file.FileName);
    query->ParamAsString(QStringLiteral("filetype"), file.FileType);
    query->ParamFromStream(QStringLiteral("body"), file.Body);
    query->ParamAsInteger(QStringLiteral("filesize"), file.FileSize);
    query->ParamAsString(QStringLiteral("oid"), file.Oid);
    query->ExecSQL();
    conn->Commit();
    query->Close();
    return true;
}

std::unique_ptr<TCFile> TFileMgr::GetFileFromDb(const QString& oid) {
    auto file = std::make_unique<TCFile>();
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("SELECT * from P_FILE where oid = :oid"));
    query->ParamAsString(QStringLiteral("oid"), oid);
    query->Open();
    while (!query->Eof()) {
        file->Oid = query->FieldAsString(QStringLiteral("oid"));
        file->Owner = query->FieldAsString(QStringLiteral("owner"));
        file->FileName = query->FieldAsString(QStringLiteral("file_name"));
        file->FileType = query->FieldAsString(QStringLiteral("file_type"));
        file->Body = query->AssignFieldAsStream(QStringLiteral("body"));
        query->Next();
    }
    query->Close();
    return file;
}

QByteArray TFileMgr::getFileData(const QString& fid) {
    QByteArray data;
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("SELECT body from P_FILE where oid = :oid"));
    query->ParamAsString(QStringLiteral("oid"), fid);
    query->Open();
    while (!query->Eof()) {
        data = query->AssignFieldAsStream(QStringLiteral("body"));
        query->Next();
    }
    query->Close();
    return data;
}

void TFileMgr::DeleteFileFromDB(const QString& oid) {
    if (oid.isEmpty())
        return;
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("delete from P_FILE where oid = :oid"));
    query->ParamAsString(QStringLiteral("oid"), oid);
    query->ExecSQL();
    conn->Commit();
    query->Close();
}

QString TFileMgr::ExtractFileNameNoExt(const QString& fileString) {
    const qsizetype sep = std::max(fileString.lastIndexOf(QLatin1Char('/')),
                                   fileString.lastIndexOf(QLatin1Char('\\')));
    QString name = fileString.mid(sep + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}
