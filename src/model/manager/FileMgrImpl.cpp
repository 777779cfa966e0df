#include "model/manager/FileMgrImpl.h"

#include "model/bom/SettingBom.h"
#include "persistence/PersistenceManager.h"

#include <functional>

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

// The project's data: its link in P_DATA and the file in P_FILE, which names the
// project as its owner.

std::optional<TProjectData> TFileMgr::GetProjectData(const QString& projectOid) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral(
        "select d.file_id, d.delimiter, d.header_row, f.file_name, f.file_type, f.body "
        "from P_DATA d join P_FILE f on f.oid = d.file_id where d.project_id = :project"));
    query->ParamAsString(QStringLiteral("project"), projectOid);
    query->Open();
    if (query->Eof())
        return std::nullopt;
    TProjectData data;
    data.FileId = query->FieldAsString(QStringLiteral("file_id"));
    const QString delimiter = query->FieldAsString(QStringLiteral("delimiter"));
    data.Format.Delimiter = delimiter.isEmpty() ? QChar() : delimiter[0];
    data.Format.HeaderRow = query->FieldAsString(QStringLiteral("header_row")) != kFalse;
    data.FileName = query->FieldAsString(QStringLiteral("file_name")) +
                    query->FieldAsString(QStringLiteral("file_type"));
    data.Body = query->AssignFieldAsStream(QStringLiteral("body"));
    query->Close();
    return data;
}

std::unique_ptr<TDataTable> TFileMgr::ReadProjectTable(const QString& projectOid) {
    const std::optional<TProjectData> data = GetProjectData(projectOid);
    if (!data)
        return nullptr;
    return std::make_unique<TDataTable>(ParseDataFile(data->Body, data->Format));
}

void TFileMgr::SaveProjectData(const QString& projectOid, TProjectData& data) {
    const std::optional<TProjectData> before = GetProjectData(projectOid);
    TCFile file;
    file.Owner = projectOid;
    const qsizetype dot = data.FileName.lastIndexOf(u'.');
    file.FileName = dot < 0 ? data.FileName : data.FileName.left(dot);
    file.FileType = dot < 0 ? QString() : data.FileName.mid(dot);
    file.SetBody(data.Body);
    TDatabaseLock conn;
    conn->StartTransaction();
    const auto run = [&](const QString& sql, const std::function<void(TQuery&)>& bind) {
        auto query = conn->CreateQuery();
        query->SetSQL(sql);
        bind(*query);
        query->ExecSQL();
        query->Close();
    };
    run(QStringLiteral(
            "insert into P_FILE values(:oid,:owner,:filename,:filetype,:filesize,:body)"),
        [&](TQuery& q) {
            q.ParamAsString(QStringLiteral("oid"), file.Oid);
            q.ParamAsString(QStringLiteral("owner"), file.Owner);
            q.ParamAsString(QStringLiteral("filename"), file.FileName);
            q.ParamAsString(QStringLiteral("filetype"), file.FileType);
            q.ParamAsInteger(QStringLiteral("filesize"), file.FileSize);
            q.ParamFromStream(QStringLiteral("body"), file.Body);
        });
    run(QStringLiteral("delete from P_DATA where project_id = :project"),
        [&](TQuery& q) { q.ParamAsString(QStringLiteral("project"), projectOid); });
    run(QStringLiteral("insert into P_DATA (project_id, file_id, delimiter, header_row) "
                       "values (:project, :file, :delimiter, :header)"),
        [&](TQuery& q) {
            q.ParamAsString(QStringLiteral("project"), projectOid);
            q.ParamAsString(QStringLiteral("file"), file.Oid);
            q.ParamAsString(QStringLiteral("delimiter"), data.Format.Delimiter.isNull()
                                                             ? QString()
                                                             : QString(data.Format.Delimiter));
            q.ParamAsString(QStringLiteral("header"), FlagText(data.Format.HeaderRow));
        });
    if (before)
        run(QStringLiteral("delete from P_FILE where oid = :oid"),
            [&](TQuery& q) { q.ParamAsString(QStringLiteral("oid"), before->FileId); });
    conn->Commit();
    data.FileId = file.Oid;
}

void TFileMgr::DeleteProjectData(const QString& projectOid) {
    const std::optional<TProjectData> before = GetProjectData(projectOid);
    if (!before)
        return;
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("delete from P_DATA where project_id = :project"));
    query->ParamAsString(QStringLiteral("project"), projectOid);
    query->ExecSQL();
    query->Close();
    auto file = conn->CreateQuery();
    file->SetSQL(QStringLiteral("delete from P_FILE where oid = :oid"));
    file->ParamAsString(QStringLiteral("oid"), before->FileId);
    file->ExecSQL();
    file->Close();
    conn->Commit();
}
